#include "journal.h"
#include "signing.h"

#include <QCoreApplication>
#include <QDir>

namespace {

// Each attempt with no ending entry, by its begun entry's number: a wipe cut
// off after some passes is what an auditor must not miss.
QString openAttemptsText(const QVector<JournalRecord> &open)
{
    if (open.isEmpty())
        return QString();
    QString text = QCoreApplication::translate("VerifyResult", " Не завершено удалений (нет завершающей записи): %n.", nullptr,
                                               open.size());
    for (const JournalRecord &record : open) {
        const JournalEntry &e = record.entry;
        QString state;
        switch (Journal::openState(e)) {
        case Journal::OpenState::Running: state = QCoreApplication::translate("VerifyResult", "идет сейчас"); break;
        case Journal::OpenState::Interrupted: state = QCoreApplication::translate("VerifyResult", "прервано"); break;
        case Journal::OpenState::Elsewhere:
            state = QCoreApplication::translate("VerifyResult", "идет или прервано на другом компьютере (%1)").arg(e.host);
            break;
        }
        const QString target = e.targetKind == JournalEntry::TargetKind::File
            ? QDir::toNativeSeparators(e.filePath)
            : QStringLiteral("%1 (S/N %2)").arg(e.tokenLabel, e.tokenSerial);
        text += QCoreApplication::translate("VerifyResult", " Запись %1: %2, начато %3, проходов на носителе %4 из %5, %6.")
                    .arg(record.sequence)
                    .arg(target, e.time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))
                    .arg(e.passesDone)
                    .arg(e.passesPlanned)
                    .arg(state);
    }
    return text;
}

} // namespace

QString VerifyResult::describe() const
{
    QString text;
    switch (state) {
    case State::Intact:
        text = noFile ? QCoreApplication::translate("VerifyResult", "Журнала еще нет: ни одного удаления не записано.")
                      : QCoreApplication::translate("VerifyResult", "Журнал проверен: записей %n, цепочка хешей не нарушена.",
                                                    nullptr, entries);
        break;
    case State::TornLast:
        text = QCoreApplication::translate("VerifyResult", "Последняя строка журнала (строка %1) оборвана: запись прервалась. "
                              "Записи до нее (%2) проверены, цепочка не нарушена.").arg(line).arg(entries);
        break;
    case State::Broken: {
        QString why;
        switch (kind) {
        case Break::Changed: why = QCoreApplication::translate("VerifyResult", "запись изменена после записи следующей"); break;
        case Break::Missing: why = QCoreApplication::translate("VerifyResult", "перед записью удалены записи"); break;
        case Break::Reordered: why = QCoreApplication::translate("VerifyResult", "записи переставлены"); break;
        case Break::Unsigned: why = QCoreApplication::translate("VerifyResult", "запись не подписана, и не доказано, что она сделана до появления ключа"); break;
        case Break::Damaged: why = QCoreApplication::translate("VerifyResult", "строка повреждена, а следующая запись этого не отметила"); break;
        case Break::Malformed:
        case Break::None: why = QCoreApplication::translate("VerifyResult", "строка не является записью журнала"); break;
        case Break::Cut:
            return QCoreApplication::translate("VerifyResult", "Конец журнала отрезан или изменен: журнал кончается записью %1, а его "
                                               "подписанная голова называет запись %2.").arg(lastSequence).arg(headSequence);
        case Break::Emptied:
            return QCoreApplication::translate("VerifyResult", "Журнал опустошен: записей в нем нет, а его подписанная голова "
                                               "называет запись %1.").arg(headSequence);
        case Break::HeadInvalid:
            return QCoreApplication::translate("VerifyResult", "Подпись головы журнала не верна: голова подменена.");
        case Break::KeyCut:
            return QCoreApplication::translate("VerifyResult", "Конец журнала отрезан или изменен: %1.").arg(error);
        }
        return QCoreApplication::translate("VerifyResult", "Цепочка журнала нарушена в строке %1: %2.").arg(line).arg(why);
    }
    case State::Unreadable:
        return QCoreApplication::translate("VerifyResult", "Журнал не прочитан: %1").arg(error);
    case State::NotVerified:
        return QCoreApplication::translate("VerifyResult", "Журнал не проверен: %1. Записей: %2.").arg(error).arg(entries)
            + openAttemptsText(open);
    }
    if (!tornLines.isEmpty())
        text += QCoreApplication::translate("VerifyResult", " Прерванных записей пропущено: %1.").arg(tornLines.size());
    if (signaturesChecked && unsignedBeforeKey > 0)
        text += QCoreApplication::translate("VerifyResult", " Записей без подписи, сделанных до появления ключа: %1.").arg(unsignedBeforeKey);
    if (!SigningKey::available())
        text += QCoreApplication::translate("VerifyResult", " Подписи не проверены: в этой сборке нет библиотеки подписи.");
    else if (!signaturesChecked)
        text += QCoreApplication::translate("VerifyResult", " Ключа подписи еще нет: его создаст первая запись журнала или "
                                                       "команда --public-key.");
    else if (entries == 0)
        text += QCoreApplication::translate("VerifyResult", " Подписанных записей еще нет; ключ подписи готов (отпечаток "
                                                       "ключа %1…).").arg(keyFingerprint.left(16));
    else
        text += QCoreApplication::translate("VerifyResult", " Подписи записей верны (отпечаток ключа %1…).")
                    .arg(keyFingerprint.left(16));
    if (headSequence > 0)
        text += QCoreApplication::translate("VerifyResult", " Конец журнала совпадает с его головой (запись %1).").arg(headSequence);
    if (keyLastSequence > 0)
        text += QCoreApplication::translate("VerifyResult", " Ключ подписи подписал последней запись %1, журнал ее содержит.")
                    .arg(keyLastSequence);
    return text + openAttemptsText(open);
}
