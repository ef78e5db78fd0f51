#include "journaltexts.h"

#include "journal.h"
#include "language.h"

#include <iterator>

namespace {

// What the table and the exports call each placement and read-back, in the
// enums' order; none where the stored word is shown as it is.
const char *const placementTexts[] = {
    nullptr,
    QT_TRANSLATE_NOOP("JournalTexts", "на месте"),
    QT_TRANSLATE_NOOP("JournalTexts", "на новом месте"),
    QT_TRANSLATE_NOOP("JournalTexts", "не проверить"),
    nullptr,
};
static_assert(std::size(placementTexts) == std::size_t(PlacementWord::Unknown) + 1, "a text for every placement");

const char *const verificationTexts[] = {
    nullptr,
    QT_TRANSLATE_NOOP("JournalTexts", "в обход кэша"),
    QT_TRANSLATE_NOOP("JournalTexts", "возможно, из кэша"),
    QT_TRANSLATE_NOOP("JournalTexts", "не с чем сравнить"),
    QT_TRANSLATE_NOOP("JournalTexts", "не совпало"),
    QT_TRANSLATE_NOOP("JournalTexts", "не выполнена"),
    nullptr,
};
static_assert(std::size(verificationTexts) == std::size_t(VerificationWord::Unknown) + 1,
              "a text for every read-back");

QString textIn(Language language, const char *context, const char *source)
{
    return translatedIn(language, context, source, -1);
}

// The act's own texts are its file's; the rest are shared with the CSV and the window.
void fillActTexts(JournalTexts &t)
{
    const auto act = [&t](const char *source) { return textIn(t.language, "JournalAct", source); };
    t.actFileTitle = act(QT_TRANSLATE_NOOP("JournalAct", "Акт уничтожения ключевой информации"));
    t.certificate = act(QT_TRANSLATE_NOOP("JournalAct", "сертификат:"));
    t.noCertificate = act(QT_TRANSLATE_NOOP("JournalAct", "сертификат не выдается: удаление контейнера не подтверждено"));
    t.actCertificateOf = act(QT_TRANSLATE_NOOP("JournalAct", "Сертификат к строке %1 (поля как в файле JSON), отпечаток SHA-256 %2"));
    t.actTitle = act(QT_TRANSLATE_NOOP("JournalAct", "АКТ<br>уничтожения ключевой информации"));
    t.actComposed = act(QT_TRANSLATE_NOOP("JournalAct", "Составлен %1"));
    t.actCommission = act(QT_TRANSLATE_NOOP(
        "JournalAct",
        "Комиссия в составе: председатель ______________________________, члены комиссии "
        "______________________________, ______________________________ составила настоящий акт о том, "
        "что перечисленные ниже ключевые контейнеры уничтожены программой %1. Сведения взяты из журнала "
        "уничтожения программы."));
    t.actNumber = act(QT_TRANSLATE_NOOP("JournalAct", "№"));
    t.actJournal = act(QT_TRANSLATE_NOOP("JournalAct", "Журнал: %1. %2"));
    t.actPeriod = act(QT_TRANSLATE_NOOP("JournalAct", "Период: с %1 по %2."));
    t.actSignatures = QStringList{act(QT_TRANSLATE_NOOP("JournalAct", "Председатель комиссии")),
                                  act(QT_TRANSLATE_NOOP("JournalAct", "Члены комиссии")), QString()};
    t.actSignatureHint = act(QT_TRANSLATE_NOOP("JournalAct", "(подпись)&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;(Ф.И.О.)"));
}

JournalTexts textsIn(Language language)
{
    JournalTexts t;
    t.language = language;
    const auto text = [language](const char *source) { return textIn(language, "JournalTexts", source); };
    t.columns = QStringList{
        text(QT_TRANSLATE_NOOP("JournalTexts", "Номер записи")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Дата и время")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Пользователь")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Объект уничтожения")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Алгоритм")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Проходов записано")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Результат")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Пояснение")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Итог")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Версия")),
        text(QT_TRANSLATE_NOOP("JournalTexts", "Хеш записи журнала (SHA-256)")),
    };
    t.unknown = text(QT_TRANSLATE_NOOP("JournalTexts", "неизвестно"));
    t.passes = text(QT_TRANSLATE_NOOP("JournalTexts", "%1 из %2"));
    t.fileTarget = text(QT_TRANSLATE_NOOP("JournalTexts", "файл %1, %2"));
    t.tokenTarget = text(QT_TRANSLATE_NOOP("JournalTexts", "носитель «%1» (модель %2, серийный номер %3), контейнер «%4», %5"));
    t.fileMedium = text(QT_TRANSLATE_NOOP("JournalTexts", "; файловая система %1, устройство %2; проходы: %3; проверка чтением: %4"));
    t.volume = text(QT_TRANSLATE_NOOP("JournalTexts", "; том %1 прочитан (%2), найдено блоков ключа: %3"));
    t.volumeFill = text(QT_TRANSLATE_NOOP("JournalTexts", "; свободное место заполнено (%1): %2"));
    t.interrupted = text(QT_TRANSLATE_NOOP("JournalTexts", "Не завершено: прервано"));
    t.notEnded = text(QT_TRANSLATE_NOOP("JournalTexts", "Не завершено: идет или прервано"));
    t.notEndedHint = text(QT_TRANSLATE_NOOP("JournalTexts", "Завершающей записи нет; номер — запись начала удаления."));
    t.notVouched = text(QT_TRANSLATE_NOOP("JournalTexts", "ВНИМАНИЕ: журнал не прошел проверку. %1 Записи ниже им не подтверждены."));
    fillActTexts(t);
    return t;
}

} // namespace

const JournalTexts &journalTexts(Language language)
{
    static const JournalTexts russian = textsIn(Language::Russian);
    static const JournalTexts english = textsIn(Language::English);
    return language == Language::English ? english : russian;
}

QString JournalTexts::sizeText(qint64 size) const
{
    // The word's plural forms are the catalogues' (one source for both instances).
    return size < 0 ? unknown
                    : translatedIn(language, "JournalTexts", QT_TRANSLATE_N_NOOP("JournalTexts", "%1 байт"),
                                   pluralKey(size))
                          .arg(localeOf(language).toString(size));
}

QString JournalTexts::targetText(const JournalEntry &e) const
{
    const auto known = [this](const QString &value) { return value.isEmpty() ? unknown : value; };
    if (e.targetKind == JournalEntry::TargetKind::File) {
        QString text = fileTarget.arg(known(e.filePath), sizeText(e.size));
        if (e.placement != PlacementWord::None) {
            const auto word = [&](const char *source, const QString &stored) {
                return source ? textIn(language, "JournalTexts", source) : known(stored);
            };
            text += fileMedium.arg(known(e.fileSystem), known(e.device),
                                   word(placementTexts[std::size_t(e.placement)], toWord(e.placement)),
                                   word(verificationTexts[std::size_t(e.verification)], toWord(e.verification)));
        }
        if (e.fill != FillWord::None)
            text += volumeFill.arg(sizeText(e.fillBytes), toWord(e.fill));
        if (e.survivors >= 0)
            text += volume.arg(known(e.volumeDevice), sizeText(e.volumeBytesRead)).arg(e.survivors);
        return text;
    }
    return tokenTarget.arg(known(e.tokenLabel), known(e.tokenModel), known(e.tokenSerial), known(e.containerLabel),
                           sizeText(e.size));
}

QString JournalTexts::timeText(const JournalRecord &record) const
{
    // The wall-clock time where and when it was written, not converted.
    const QDateTime local = QDateTime::fromString(record.localTimeText, Qt::ISODate);
    return local.isValid() ? local.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : unknown;
}

QStringList JournalTexts::row(const JournalRecord &record) const
{
    const JournalEntry &e = record.entry;
    const bool ended = e.phase == JournalEntry::Phase::Ended;
    QStringList values;
    values << QString::number(record.sequence) << timeText(record) << e.user + QLatin1Char('@') + e.host
           << targetText(e) << (e.algorithmName.isEmpty() ? unknown : e.algorithmName)
           << passes.arg(e.passesDone).arg(e.passesPlanned)
           << (ended ? e.resultText : e.endState == EndState::Interrupted ? interrupted : notEnded)
           << (ended ? e.resultInformative : notEndedHint) << toWord(e.endState) << e.version << record.hash;
    return values;
}
