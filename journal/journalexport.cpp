#include "journalexport.h"

#include <QSaveFile>

QVector<JournalRecord> recordsBetween(const QVector<JournalRecord> &records, const QDate &from, const QDate &to)
{
    QVector<JournalRecord> selected;
    for (const JournalRecord &record : records) {
        const QDate date = QDateTime::fromString(record.localTimeText, Qt::ISODate).date();
        if ((from.isNull() || date >= from) && (to.isNull() || date <= to))
            selected.append(record);
    }
    return selected;
}

QByteArray journalCsv(const QVector<JournalRecord> &records, const JournalTexts &texts, const VerifyResult &verification)
{
    const auto field = [](QString value) {
        // A leading = + - @ would make a spreadsheet evaluate a path or a text.
        if (!value.isEmpty() && QStringLiteral("=+-@").contains(value.front()))
            value.prepend(QLatin1Char('\''));
        value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + value + QLatin1Char('"');
    };
    const auto line = [&field](const QStringList &values) {
        QStringList fields;
        for (const QString &value : values)
            fields << field(value);
        return fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    QString csv;
    if (!verification.ok() && verification.state != VerifyResult::State::TornLast)
        csv += line({texts.notVouched.arg(verification.describe())});
    csv += line(texts.columns);
    for (const JournalRecord &record : records)
        csv += line(texts.row(record));
    return QByteArray("\xEF\xBB\xBF") + csv.toUtf8();
}

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
