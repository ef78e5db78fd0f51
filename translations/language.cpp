#include "language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

// Outside any namespace: Q_INIT_RESOURCE declares the registration function.
static void initTranslationResources()
{
    // Lives in a static library, where nothing else would pull it in.
    Q_INIT_RESOURCE(kcc_translations);
}

namespace {

const char englishCatalogue[] = ":/kcc/translations/kestrik-kcc_en.qm";

} // namespace

std::unique_ptr<QTranslator> programTranslator(Language language)
{
    const bool english = language == Language::English;
    initTranslationResources();
    auto translator = std::make_unique<QTranslator>();
    const bool ok = english
        ? translator->load(QString::fromLatin1(englishCatalogue))
        // Qt's own texts: the program never shows them in English beside Russian ones.
        : translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    return ok ? std::move(translator) : nullptr;
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

QLocale programLocale()
{
    return programLanguage() == Language::Russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                                  : QLocale(QLocale::English, QLocale::UnitedStates);
}

bool installProgramTranslations(QCoreApplication &application)
{
    std::unique_ptr<QTranslator> translator = programTranslator(programLanguage());
    if (!translator)
        return false;
    translator->setParent(&application);
    return QCoreApplication::installTranslator(translator.release());
}

QString translateEarly(const char *context, const char *sourceText)
{
    if (QCoreApplication::instance())
        return QCoreApplication::translate(context, sourceText);
    if (programLanguage() == Language::English) {
        static const std::unique_ptr<QTranslator> english = programTranslator(Language::English);
        if (english) {
            const QString text = english->translate(context, sourceText);
            if (!text.isEmpty())
                return text;
        }
    }
    return QString::fromUtf8(sourceText);
}
