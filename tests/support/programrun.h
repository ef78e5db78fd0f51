#ifndef PROGRAMRUN_H
#define PROGRAMRUN_H

#include "journal.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// One run of the program's command line, as a script under cron would start
// it: no display and, through setsid, no terminal to answer a question.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProgramRun runProgram(const QString &program, const QStringList &arguments,
                             const QByteArray &input = QByteArray(), const QString &language = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!language.isEmpty())
        env.insert(QStringLiteral("KCC_LANGUAGE"), language);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("setsid"), QStringList{QStringLiteral("--wait"), program} + arguments);
    process.write(input);
    process.closeWriteChannel();
    ProgramRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// What a journal entry says of the attempt, leaving out only what two runs of
// the same wipe cannot share: the front-end, the moment and the time taken.
inline QStringList attemptOf(const JournalEntry &e)
{
    QString informative = e.resultInformative;
    informative.replace(QRegularExpression(QStringLiteral("\\n(Время|Time): [0-9.,]+ (с|s)(\\n|$)")),
                        QStringLiteral("\n<time>\\3"));
    return {e.user, e.host, e.version, QString::number(int(e.targetKind)), e.filePath, QString::number(e.size),
            e.tokenLabel, e.tokenModel, e.tokenSerial, e.containerLabel, e.algorithmName,
            QString::number(e.algorithmIndex), QString::number(e.passesPlanned), QString::number(e.passesDone),
            e.resultText, informative, toWord(e.endState)};
}

#endif // PROGRAMRUN_H
