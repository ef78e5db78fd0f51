#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <limits>
#include <memory>

// Outside any namespace: Q_INIT_RESOURCE declares the registration function.
static void initTranslationResources()
{
    // Lives in a static library, where nothing else would pull it in.
    Q_INIT_RESOURCE(kcc_translations);
}

namespace {

const char englishCatalogue[] = ":/kcc/translations/kestrik-kcc_en.qm";
const char russianCatalogue[] = ":/kcc/translations/kestrik-kcc_ru.qm";

std::unique_ptr<QTranslator> embeddedCatalogue(Language language)
{
    initTranslationResources();
    auto translator = std::make_unique<QTranslator>();
    const char *path = language == Language::English ? englishCatalogue : russianCatalogue;
    return translator->load(QString::fromLatin1(path)) ? std::move(translator) : nullptr;
}

} // namespace

std::vector<std::unique_ptr<QTranslator>> programTranslators(Language language)
{
    std::vector<std::unique_ptr<QTranslator>> translators;
    if (auto own = embeddedCatalogue(language))
        translators.push_back(std::move(own));
    if (language == Language::Russian) {
        // Qt's own texts: the program never shows them in English beside Russian ones.
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            translators.push_back(std::move(qt));
    }
    return translators;
}

Language programLanguage()
{
    const QByteArray forced = qgetenv("KCC_LANGUAGE").trimmed().toLower();
    if (forced == "ru")
        return Language::Russian;
    if (forced == "en")
        return Language::English;
    return QLocale::system().language() == QLocale::Russian ? Language::Russian : Language::English;
}

QLocale localeOf(Language language)
{
    return language == Language::Russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                         : QLocale(QLocale::English, QLocale::UnitedStates);
}

QLocale programLocale()
{
    return localeOf(programLanguage());
}

bool installProgramTranslations(QCoreApplication &application)
{
    const Language language = programLanguage();
    std::vector<std::unique_ptr<QTranslator>> translators = programTranslators(language);
    bool all = translators.size() == (language == Language::Russian ? 2u : 1u);
    for (std::unique_ptr<QTranslator> &translator : translators) {
        translator->setParent(&application);
        all = QCoreApplication::installTranslator(translator.release()) && all;
    }
    return all;
}

int pluralKey(qint64 n)
{
    if (n >= 0 && n <= std::numeric_limits<int>::max())
        return int(n);
    return n < 0 ? -1 : 100 + int(n % 100);
}

QString translatedIn(Language language, const char *context, const char *sourceText, int n)
{
    static const std::unique_ptr<QTranslator> english = embeddedCatalogue(Language::English);
    static const std::unique_ptr<QTranslator> russian = embeddedCatalogue(Language::Russian);
    const std::unique_ptr<QTranslator> &catalogue = language == Language::English ? english : russian;
    QString text = catalogue ? catalogue->translate(context, sourceText, nullptr, n) : QString();
    if (text.isEmpty())
        text = QString::fromUtf8(sourceText);
    return text;
}

QString translateEarly(const char *context, const char *sourceText)
{
    if (QCoreApplication::instance())
        return QCoreApplication::translate(context, sourceText);
    // Russian texts are the sources.
    return translatedIn(programLanguage(), context, sourceText, -1);
}
