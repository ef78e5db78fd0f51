// --act: the act of destruction as PDF. Laid out with QtGui, so it lives
// apart from the other scripted modes and only the window's program links it.

#include "commandline.h"

#include "journal.h"
#include "journalact.h"
#include "journalexport.h"
#include "kcc_version.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QTextStream>

namespace {

QTextStream &errors()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

int writeActCommand(const CommandLine &command)
{
    ActInput input;
    input.journalPath = Journal::defaultPath();
    input.from = QDate::fromString(QString::fromStdString(command.from), Qt::ISODate);
    input.to = QDate::fromString(QString::fromStdString(command.to), Qt::ISODate);
    if ((!command.from.empty() && !input.from.isValid()) || (!command.to.empty() && !input.to.isValid())) {
        errors() << KCC_PROGRAM << ": "
                 << QCoreApplication::translate("CommandAct", "дата записывается как ГГГГ-ММ-ДД.") << '\n';
        errors().flush();
        return kExitUsage;
    }
    const QVector<JournalRecord> records = Journal().readAttempts(&input.verification);
    input.records = recordsBetween(records, input.from, input.to);
    QString error;
    const QString path = QFile::decodeName(QByteArray::fromStdString(command.actFile));
    if (!writeActPdf(path, input, &error)) {
        errors() << KCC_PROGRAM << ": " << path << ": " << error << '\n';
        errors().flush();
        return kExitFailure;
    }
    errors() << KCC_PROGRAM << ": " << path << ": "
             << QCoreApplication::translate("CommandAct", "записей в акте: %n. ", nullptr, input.records.size())
             << input.verification.describe() << '\n';
    const QString earlier = Journal::earlierCommandLineNotice();
    if (!earlier.isEmpty())
        errors() << KCC_PROGRAM << ": " << earlier << '\n';
    errors().flush();
    return journalStatus(input.verification);
}
