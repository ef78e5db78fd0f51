#include "journaltexts.h"

#include "journal.h"
#include "language.h"

const JournalTexts &russianJournalTexts()
{
    static const JournalTexts texts = [] {
        JournalTexts t;
        t.columns = QStringList{
            QStringLiteral("Дата и время"),  QStringLiteral("Пользователь"), QStringLiteral("Объект уничтожения"),
            QStringLiteral("Алгоритм"),      QStringLiteral("Проходов записано"), QStringLiteral("Результат"),
            QStringLiteral("Пояснение"),     QStringLiteral("Итог"),          QStringLiteral("Версия"), QStringLiteral("Хеш записи журнала (SHA-256)"),
        };
        t.language = Language::Russian;
        t.unknown = QStringLiteral("неизвестно");
        t.passes = QStringLiteral("%1 из %2");
        t.fileTarget = QStringLiteral("файл %1, %2");
        t.tokenTarget = QStringLiteral("носитель «%1» (модель %2, серийный номер %3), контейнер «%4», %5");
        t.fileMedium = QStringLiteral("; файловая система %1, устройство %2; проходы: %3; проверка чтением: %4");
        t.placements = QStringList{QStringLiteral("на месте"), QStringLiteral("на новом месте"),
                                   QStringLiteral("не проверить")};
        t.volume = QStringLiteral("; том %1 прочитан (%2), найдено блоков ключа: %3");
        t.volumeFill = QStringLiteral("; свободное место заполнено (%1): %2");
        t.verifications = QStringList{QStringLiteral("в обход кэша"), QStringLiteral("возможно, из кэша"),
                                      QStringLiteral("не с чем сравнить"), QStringLiteral("не совпало"),
                                      QStringLiteral("не выполнена")};
        t.window = QStringLiteral("окно программы");
        t.commandLine = QStringLiteral("командная строка");
        t.actFileTitle = QStringLiteral("Акт уничтожения ключевой информации");
        t.certificate = QStringLiteral("сертификат:");
        t.noCertificate = QStringLiteral("сертификат не выдается: удаление контейнера не подтверждено");
        t.actCertificateOf = QStringLiteral("Сертификат к строке %1 (поля как в файле JSON), отпечаток SHA-256 %2");
        t.actTitle = QStringLiteral("АКТ<br>уничтожения ключевой информации");
        t.actComposed = QStringLiteral("Составлен %1");
        t.actCommission = QStringLiteral(
            "Комиссия в составе: председатель ______________________________, члены комиссии "
            "______________________________, ______________________________ составила настоящий акт о том, "
            "что перечисленные ниже ключевые контейнеры уничтожены программой %1. Сведения взяты из журнала "
            "уничтожения программы.");
        t.actNumber = QStringLiteral("№");
        t.actJournal = QStringLiteral("Журнал: %1. %2");
        t.notVouched = QStringLiteral("ВНИМАНИЕ: журнал не прошел проверку. %1 Записи ниже им не подтверждены.");
        t.actPeriod = QStringLiteral("Период: с %1 по %2.");
        t.actSignatures = QStringList{QStringLiteral("Председатель комиссии"), QStringLiteral("Члены комиссии"),
                                      QString()};
        t.actSignatureHint = QStringLiteral("(подпись)&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;(Ф.И.О.)");
        return t;
    }();
    return texts;
}

const JournalTexts &englishJournalTexts()
{
    static const JournalTexts texts = [] {
        JournalTexts t;
        t.columns = QStringList{
            QStringLiteral("Date and time"), QStringLiteral("User"),     QStringLiteral("Destroyed object"),
            QStringLiteral("Algorithm"),     QStringLiteral("Passes written"), QStringLiteral("Result"),
            QStringLiteral("Details"),       QStringLiteral("End state"), QStringLiteral("Version"),
            QStringLiteral("Journal entry hash (SHA-256)"),
        };
        t.language = Language::English;
        t.unknown = QStringLiteral("unknown");
        t.passes = QStringLiteral("%1 of %2");
        t.fileTarget = QStringLiteral("file %1, %2");
        t.tokenTarget = QStringLiteral("token \u201c%1\u201d (model %2, serial number %3), container \u201c%4\u201d, %5");
        t.fileMedium = QStringLiteral("; file system %1, device %2; passes: %3; read back: %4");
        t.placements = QStringList{QStringLiteral("in place"), QStringLiteral("relocated"),
                                   QStringLiteral("not provable")};
        t.volume = QStringLiteral("; volume %1 read (%2), blocks of the key found: %3");
        t.volumeFill = QStringLiteral("; free space filled (%1): %2");
        t.verifications = QStringList{QStringLiteral("past the cache"), QStringLiteral("possibly from a cache"),
                                      QStringLiteral("nothing to compare with"), QStringLiteral("mismatch"),
                                      QStringLiteral("not done")};
        t.window = QStringLiteral("program window");
        t.commandLine = QStringLiteral("command line");
        t.actFileTitle = QStringLiteral("Act of destruction of key information");
        t.certificate = QStringLiteral("certificate:");
        t.noCertificate = QStringLiteral("no certificate: removal of the container is not established");
        t.actCertificateOf = QStringLiteral("Certificate for row %1 (fields as in the JSON file), SHA-256 fingerprint %2");
        t.actTitle = QStringLiteral("ACT<br>of destruction of key information");
        t.actComposed = QStringLiteral("Drawn up on %1");
        t.actCommission = QStringLiteral(
            "The commission consisting of: chair ______________________________, members "
            "______________________________, ______________________________ has drawn up this act stating "
            "that the key containers listed below were destroyed with the program %1. The details are taken "
            "from the program's destruction journal.");
        t.actNumber = QStringLiteral("No.");
        t.actJournal = QStringLiteral("Journal: %1. %2");
        t.notVouched = QStringLiteral("WARNING: the journal did not pass verification. %1 It does not vouch for the entries below.");
        t.actPeriod = QStringLiteral("Period: from %1 to %2.");
        t.actSignatures = QStringList{QStringLiteral("Chair of the commission"),
                                      QStringLiteral("Members of the commission"), QString()};
        t.actSignatureHint = QStringLiteral("(signature)&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;(full name)");
        return t;
    }();
    return texts;
}

const JournalTexts &journalTexts()
{
    return programLanguage() == Language::English ? englishJournalTexts() : russianJournalTexts();
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
            // The word lists follow the enums' order, after None.
            const auto word = [&](const QStringList &words, int index, const QString &stored) {
                return index >= 1 && index <= words.size() ? words.at(index - 1) : known(stored);
            };
            text += fileMedium.arg(known(e.fileSystem), known(e.device),
                                   word(placements, int(e.placement), toWord(e.placement)),
                                   word(verifications, int(e.verification), toWord(e.verification)));
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
    QStringList values;
    values << timeText(record) << e.user + QLatin1Char('@') + e.host << targetText(e)
           << (e.algorithmName.isEmpty() ? unknown : e.algorithmName) << passes.arg(e.passesDone).arg(e.passesPlanned)
           << e.resultText << e.resultInformative << toWord(e.endState) << e.version << record.hash;
    return values;
}
