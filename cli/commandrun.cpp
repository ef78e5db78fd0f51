// The scripted modes: the same executors as the window, the window's texts on
// standard error, an exit status per outcome.

#include "commandline.h"

#include "certificate.h"
#include "journal.h"
#include "journalexport.h"
#include "kcc_version.h"
#include "tokenlist.h"
#include "signing.h"
#include "wiperecord.h"
#include "wipesession.h"
#include "wipetexts.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#ifdef Q_OS_WIN
#include <io.h>
#endif

namespace {

QTextStream &errors()
{
    static QTextStream stream(stderr);
    return stream;
}

void tell(const QString &subject, const WipeReport &report)
{
    errors() << KCC_PROGRAM << ": " << subject << ": " << report.text.trimmed() << '\n';
    if (!report.informative.isEmpty())
        errors() << "  " << report.informative << '\n';
    errors().flush();
}

QString notConfirmed()
{
    return QCoreApplication::translate("CommandLine",
                                       "ничего не удалено: удаление не подтверждено (ответьте в терминале "
                                       "или укажите --yes).");
}

// Asks on the terminal itself, so that a PIN piped to standard input never
// answers the question. No terminal, no wipe.
bool confirmed(const QStringList &plans)
{
    QString question = wipetexts::confirmation() + QLatin1Char('\n');
    for (const QString &plan : plans)
        question += QLatin1Char('\n') + plan + QLatin1Char('\n');
    question += QCoreApplication::translate("CommandLine", "[да/нет]: ");
    const QByteArray prompt = question.toLocal8Bit();
    char answer[64] = {};
#ifdef Q_OS_WIN
    if (!_isatty(_fileno(stdin)))
        return false;
    std::fputs(prompt.constData(), stderr);
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
#else
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return false;
    std::fputs(prompt.constData(), tty);
    std::fflush(tty);
    const bool read = std::fgets(answer, sizeof answer, tty) != nullptr;
    std::fclose(tty);
    if (!read)
        return false;
#endif
    const QString reply = QString::fromLocal8Bit(answer).trimmed().toLower();
    return reply == QStringLiteral("да") || reply == QStringLiteral("д") || reply == QLatin1String("yes")
        || reply == QLatin1String("y");
}

// One exit status per claim, in the order of gravity: with several files,
// the later row wins (a file kept outweighs one deleted with a doubt).
const struct {
    WipeClaim claim;
    int status;
} kExitStatuses[] = {
    {WipeClaim::Destroyed, kExitOk},
    {WipeClaim::DestroyedUnproven, kExitUnproven},
    {WipeClaim::DestroyedRelocated, kExitReplaced},
    {WipeClaim::DestroyedCopyKept, kExitReplaced},
    {WipeClaim::DestroyedNotSearched, kExitNotSearched},
    {WipeClaim::DeletionUnverified, kExitDeletionUnproven},
    {WipeClaim::NoLibrary, kExitFailure},
    {WipeClaim::TokenRefused, kExitToken},
    {WipeClaim::NotFound, kExitNotFound},
    {WipeClaim::Refused, kExitRefused},
    {WipeClaim::DestroyedKeyUnreachable, kExitSurvivors},
    {WipeClaim::DestroyedKeyLeft, kExitSurvivors},
    {WipeClaim::Incomplete, kExitIncomplete},
};

int rankOf(WipeClaim claim)
{
    for (std::size_t i = 0; i < std::size(kExitStatuses); ++i)
        if (kExitStatuses[i].claim == claim)
            return int(i);
    return int(std::size(kExitStatuses));
}

int exitStatus(WipeClaim claim)
{
    const int rank = rankOf(claim);
    return rank < int(std::size(kExitStatuses)) ? kExitStatuses[rank].status : kExitFailure;
}

WipeRequest fileRequest(const CommandLine &command, const QString &path)
{
    WipeRequest request;
    request.algorithm = WipeAlgorithm(command.algorithm);
    request.via = JournalEntry::Interface::CommandLine;
    request.path = path;
    request.searchVolume = command.searchVolume;
    request.fillFreed = command.fillFreed;
    return request;
}

int wipeFiles(const CommandLine &command)
{
    QStringList paths;
    for (const std::string &file : command.files)
        paths << QFile::decodeName(QByteArray::fromStdString(file));
    if (!command.assumeYes) {
        // What the window's question says, for every file.
        QStringList plans;
        for (const QString &path : paths)
            plans << wipePlan(fileRequest(command, path));
        if (!confirmed(plans)) {
            errors() << KCC_PROGRAM << ": " << notConfirmed() << '\n';
            errors().flush();
            return kExitDeclined;
        }
    }
    WipeClaim worst = WipeClaim::Destroyed;
    for (const QString &path : paths) {
        const WipeResult result = runWipeSession(fileRequest(command, path));
        tell(path, result.report);
        if (rankOf(result.verdict.claim) > rankOf(worst))
            worst = result.verdict.claim;
    }
    return exitStatus(worst);
}

// The first line of standard input or of the file, without its line end.
bool readPin(const CommandLine &command, QString &pin)
{
    std::string line;
    bool ok = false;
    if (command.pinSource == CommandLine::PinSource::StandardInput) {
        int c;
        while ((c = std::getchar()) != EOF && c != '\n')
            line.push_back(char(c));
        ok = c == '\n' || !line.empty();
    } else {
        QFile file(QFile::decodeName(QByteArray::fromStdString(command.pinFile)));
        if (file.open(QIODevice::ReadOnly)) {
            char buffer[256] = {};
            const qint64 n = file.readLine(buffer, sizeof buffer);
            ok = n >= 0;
            line.assign(buffer, std::size_t(qMax<qint64>(n, 0)));
            std::fill(std::begin(buffer), std::end(buffer), '\0');
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    pin = QString::fromUtf8(line.data(), int(line.size()));
    std::fill(line.begin(), line.end(), '\0');
    return ok;
}

int wipeToken(const CommandLine &command)
{
    const WipeAlgorithm algorithm = WipeAlgorithm(command.algorithm);
    const QString serial = QString::fromStdString(command.serial);
    QVector<ListedToken> chosen;
    for (const ListedToken &token : listTokens())
        if (token.serialNumber == serial)
            chosen << token;
    const QString subject = QStringLiteral("S/N %1").arg(serial);
    if (chosen.size() != 1) {
        errors() << KCC_PROGRAM << ": " << subject << ": "
                 << (chosen.isEmpty() ? QCoreApplication::translate("CommandLine", "носитель с таким серийным номером не найден.")
                                      : QCoreApplication::translate("CommandLine", "носителей с таким серийным номером несколько (%1); "
                                                       "ничего не изменено.").arg(chosen.size()))
                 << '\n';
        errors().flush();
        return chosen.isEmpty() ? kExitNotFound : kExitRefused;
    }
    const ListedToken &token = chosen.front();
    QString pin;
    if (!readPin(command, pin)) {
        errors() << KCC_PROGRAM << ": "
                 << QCoreApplication::translate("CommandLine", "PIN-код не прочитан; ничего не удалено.") << '\n';
        errors().flush();
        return kExitFailure;
    }
    WipeRequest request;
    request.algorithm = algorithm;
    request.via = JournalEntry::Interface::CommandLine;
    request.token = token;
    if (!command.assumeYes && !confirmed({wipePlan(request)})) {
        forgetPin(pin);
        errors() << KCC_PROGRAM << ": " << notConfirmed() << '\n';
        errors().flush();
        return kExitDeclined;
    }
    request.pin = std::move(pin);
    const WipeResult result = runWipeSession(request);
    forgetPin(request.pin);
    tell(subject, result.report);
    return exitStatus(result.verdict.claim);
}

int printJournal()
{
    VerifyResult verification;
    const QVector<JournalRecord> records = Journal().read(&verification);
    if (verification.state == VerifyResult::State::Unreadable) {
        errors() << KCC_PROGRAM << ": " << Journal::defaultPath() << ": " << verification.describe() << '\n';
        errors().flush();
        return kExitJournalBroken;
    }
    const QByteArray csv = journalCsv(records);
    std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
    return kExitOk;
}

int verifyJournal()
{
    const VerifyResult verification = Journal().verify();
    QTextStream(stdout) << Journal::defaultPath() << ": " << verification.describe() << '\n';
    const bool broken = verification.state == VerifyResult::State::Broken
        || verification.state == VerifyResult::State::Unreadable;
    return broken ? kExitJournalBroken : kExitOk;
}

int printPublicKey()
{
    SigningKey key;
    QString why;
    if (!key.load(true, &why)) {
        errors() << KCC_PROGRAM << ": " << why << '\n';
        errors().flush();
        return kExitFailure;
    }
    QTextStream(stdout) << key.publicKey().toHex() << '\n';
    return kExitOk;
}

int writeCertificate(const CommandLine &command)
{
    const QVector<JournalRecord> records = Journal().read(nullptr, true);
    const JournalRecord *ended = nullptr;
    for (const JournalRecord &record : records)
        if (record.sequence == command.sequence && record.entry.phase == JournalEntry::Phase::Ended)
            ended = &record;
    if (!ended) {
        errors() << KCC_PROGRAM << ": "
                 << QCoreApplication::translate("CommandLine", "в журнале нет завершающей записи с номером %1.").arg(command.sequence)
                 << '\n';
        errors().flush();
        return kExitNotFound;
    }
    // A certificate of destruction only for an attempt that destroyed the container.
    const EndStateKind kind = kindOf(ended->entry.endState);
    if (kind != EndStateKind::Proven && kind != EndStateKind::Doubtful) {
        errors() << KCC_PROGRAM << ": "
                 << QCoreApplication::translate("CommandLine", "запись %1 не говорит об уничтожении контейнера (%2): сертификат "
                                                "не выдается.")
                        .arg(command.sequence)
                        .arg(toWord(ended->entry.endState))
                 << '\n';
        errors().flush();
        return kExitRefused;
    }
    QString why;
    const QByteArray certificate = signCertificate(certificateBody(*ended, Journal::defaultPath()), &why);
    const QString path = QFile::decodeName(QByteArray::fromStdString(command.certificateFile));
    if (certificate.isEmpty() || !writeFileAtomically(path, certificate, &why)) {
        errors() << KCC_PROGRAM << ": " << path << ": " << why << '\n';
        errors().flush();
        return kExitFailure;
    }
    return kExitOk;
}

int verifyCertificateFile(const CommandLine &command)
{
    QByteArray publicKey = QByteArray::fromHex(QByteArray::fromStdString(command.publicKey));
    if (command.publicKey.empty()) {
        SigningKey key;
        if (key.load(false))
            publicKey = key.publicKey();
    }
    const QString path = QFile::decodeName(QByteArray::fromStdString(command.certificateFile));
    QFile file(path);
    QString why;
    const bool valid = file.open(QIODevice::ReadOnly) && verifyCertificate(file.readAll(), publicKey, &why);
    if (!file.isOpen())
        why = file.errorString();
    QTextStream(stdout) << path << ": "
                        << (valid ? QCoreApplication::translate("CommandLine", "сертификат подлинный.")
                                  : QCoreApplication::translate("CommandLine", "сертификат не прошёл проверку: %1.").arg(why))
                        << '\n';
    return valid ? kExitOk : kExitBadCertificate;
}

int printTokens()
{
    QTextStream out(stdout);
    const QVector<ListedToken> tokens = listTokens();
    for (const ListedToken &token : tokens)
        out << token.serialNumber << '\t' << token.name << '\t' << token.detail << '\n';
    return kExitOk;
}

} // namespace

int runCommandLine(const CommandLine &command, ActWriter writeAct)
{
    if (command.action != CommandLine::Action::OpenWindow && command.action != CommandLine::Action::Exit) {
        for (const InterruptedWipe &wipe : closeInterruptedWipes(JournalEntry::Interface::CommandLine))
            errors() << KCC_PROGRAM << ": " << wipetexts::interrupted() << ' ' << describeInterrupted(wipe) << '\n';
        errors().flush();
    }
    switch (command.action) {
    case CommandLine::Action::WipeFiles:
        return wipeFiles(command);
    case CommandLine::Action::WipeToken:
        return wipeToken(command);
    case CommandLine::Action::ListTokens:
        return printTokens();
    case CommandLine::Action::PrintJournal:
        return printJournal();
    case CommandLine::Action::VerifyJournal:
        return verifyJournal();
    case CommandLine::Action::WriteAct:
        return writeAct ? writeAct(command) : kExitUsage;
    case CommandLine::Action::PrintPublicKey:
        return printPublicKey();
    case CommandLine::Action::WriteCertificate:
        return writeCertificate(command);
    case CommandLine::Action::VerifyCertificate:
        return verifyCertificateFile(command);
    case CommandLine::Action::OpenWindow:
    case CommandLine::Action::Exit:
        break;
    }
    return command.exitCode;
}
