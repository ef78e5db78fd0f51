// The scripted modes: the same executors as the window, the window's texts on
// standard error, an exit status per outcome.

#include "commandline.h"

#include "commandoptions.h"
#include "enumtable.h"

#include "certificate.h"
#include "collection.h"
#include "journal.h"
#include "journalexport.h"
#include "kcc_version.h"
#include "tokenlist.h"
#include "signing.h"
#include "terminalprogress.h"
#include "wipejson.h"
#include "recordjson.h"
#include "stamps.h"
#include "wiperecord.h"
#include "wipesession.h"
#include "wipetexts.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The program that runs, named before each of its results.
const char *self = KCC_PROGRAM;

void tell(const QString &subject, const WipeReport &report)
{
    errors() << self << ": " << subject << ": " << report.text.trimmed() << '\n';
    if (!report.informative.isEmpty())
        errors() << "  " << report.informative << '\n';
    errors().flush();
}

void say(const QString &text)
{
    errors() << self << ": " << text << '\n';
    errors().flush();
}

enum class Answer { Yes, No, NoTerminal };

QString notConfirmed(Answer answer)
{
    return answer == Answer::No
        ? QCoreApplication::translate("CommandRun", "ничего не удалено: удаление не подтверждено: ответ «нет».")
        : QCoreApplication::translate("CommandRun",
                                      "ничего не удалено: удаление не подтверждено (ответьте в терминале "
                                      "или укажите --yes).");
}

// Asks on the terminal itself, so that a PIN piped to standard input never
// answers the question. No terminal, no wipe.
Answer confirmation(const QStringList &plans)
{
    QString question = wipetexts::confirmation() + QLatin1Char('\n');
    for (const QString &plan : plans)
        question += QLatin1Char('\n') + plan + QLatin1Char('\n');
    question += QCoreApplication::translate("CommandRun", "[да/нет]: ");
    const QByteArray prompt = question.toLocal8Bit();
    char answer[64] = {};
#ifdef Q_OS_WIN
    if (!_isatty(_fileno(stdin)))
        return Answer::NoTerminal;
    std::fputs(prompt.constData(), stderr);
    if (!std::fgets(answer, sizeof answer, stdin))
        return Answer::No;
#else
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return Answer::NoTerminal;
    std::fputs(prompt.constData(), tty);
    std::fflush(tty);
    const bool read = std::fgets(answer, sizeof answer, tty) != nullptr;
    std::fclose(tty);
    if (!read)
        return Answer::No;
#endif
    const QString reply = QString::fromLocal8Bit(answer).trimmed().toLower();
    return reply == QStringLiteral("да") || reply == QStringLiteral("д") || reply == QLatin1String("yes")
            || reply == QLatin1String("y")
        ? Answer::Yes
        : Answer::No;
}

struct ExitRow {
    EndState state;
    int status;
};

// One exit status per end state, rows in the end state's order.
constexpr ExitRow kExitStatuses[] = {
    {EndState::Unknown, kExitFailure},
    {EndState::Begun, kExitFailure},
    {EndState::Interrupted, kExitFailure},
    {EndState::Wiped, kExitOk},
    {EndState::WipedMemoryOnly, kExitOk},
    {EndState::WipedOtherNamesRemain, kExitOk},
    {EndState::WipedFreedBlocksFilled, kExitOk},
    {EndState::OverwriteUnproven, kExitOverwriteUnproven},
    {EndState::RelocatedNotOverwritten, kExitReplaced},
    {EndState::DeletedKeyBlocksOnVolume, kExitSurvivors},
    {EndState::DeletedKeyUnreachable, kExitSurvivors},
    {EndState::DeletedNotSearched, kExitNotSearched},
    {EndState::DeletedLowerCopyKept, kExitReplaced},
    {EndState::ReplacedNotOverwritten, kExitReplaced},
    {EndState::DeletionUnproven, kExitDeletionUnproven},
    {EndState::NotFound, kExitNotFound},
    {EndState::Refused, kExitRefused},
    {EndState::HeldOpenUntouched, kExitRefused},
    {EndState::NotStartedNoRecord, kExitNoRecord},
    {EndState::Untouched, kExitUntouched},
    {EndState::CancelledUntouched, kExitUntouched},
    {EndState::IncompleteKept, kExitIncomplete},
    {EndState::CancelledIncompleteKept, kExitIncomplete},
    {EndState::OverwrittenKept, kExitIncomplete},
    {EndState::OverwrittenEmptiedNameKept, kExitIncomplete},
    {EndState::VerifyFailedKept, kExitIncomplete},
    {EndState::RemovedNotOnMedium, kExitIncomplete},
    {EndState::RewrittenAfterRemoval, kExitRewritten},
    {EndState::NoContainer, kExitNotFound},
    {EndState::SeveralContainersUntouched, kExitRefused},
    {EndState::NoTokenLibrary, kExitFailure},
    {EndState::TokenErrorUntouched, kExitToken},
    {EndState::TokenErrorContainerGone, kExitToken},
    {EndState::TokenErrorContainerPresent, kExitToken},
    {EndState::TokenErrorContainerUnknown, kExitToken},
    {EndState::EndNotRecorded, kExitEndNotRecorded},
};
static_assert(std::size(kExitStatuses) == endStateCount, "one exit status per end state");

static_assert(inEnumOrder(kExitStatuses, &ExitRow::state), "rows in the end state's order");

// The wipes' statuses from the least grave: with several files, the later
// wins (a file kept outweighs one deleted with a doubt).
constexpr int kGravity[] = {
    kExitOk, kExitOverwriteUnproven, kExitReplaced, kExitNotSearched, kExitDeletionUnproven, kExitFailure,
    kExitToken, kExitNotFound, kExitRefused, kExitUntouched, kExitNoRecord, kExitSurvivors, kExitIncomplete,
    kExitRewritten,
    kExitEndNotRecorded,
};

int gravityOf(int status)
{
    return int(std::find(std::begin(kGravity), std::end(kGravity), status) - std::begin(kGravity));
}

int exitStatus(const WipeResult &result)
{
    return exitStatusOf(result.told);
}

} // namespace

int exitStatusOf(EndState state)
{
    return kExitStatuses[int(state)].status;
}

namespace {

// Where the officer chose it, a wipe goes on without its begun entry.
void recordChoice(WipeRequest &request, const CommandLine &command)
{
    const bool noJournal = command.noJournal;
    request.goOnWithoutRecord = [noJournal](const QString &) { return noJournal; };
}

WipeRequest fileRequest(const CommandLine &command, const QString &path)
{
    WipeRequest request;
    recordChoice(request, command);
    request.via = JournalEntry::Interface::CommandLine;
    request.path = path;
    request.searchVolume = command.searchVolume;
    request.fillFreed = command.fillFreed;
    request.plan = passPlan(WipeAlgorithm(command.algorithm));
    return request;
}

// What a wipe mode tells of its targets: to people on standard error, to
// scripts in one JSON document; the gravest status is the mode's.
class WipeOutput
{
public:
    explicit WipeOutput(const CommandLine &command) : m_command(command) {}

    void add(const WipeRequest &request, const WipeResult &result, const QString &subject)
    {
        const int status = exitStatus(result);
        if (!m_command.quiet || status != kExitOk)
            tell(subject, result.report);
        if (m_command.json)
            m_targets.append(targetJson(request, result, status));
        worsen(status);
    }
    void addUnrun(const QJsonObject &target, int status)
    {
        m_targets.append(target);
        worsen(status);
    }
    int finish(int status = -1)
    {
        if (status >= 0)
            worsen(status);
        if (m_command.json)
            printResult(m_command.action == CommandLine::Action::WipeToken ? "wipe-token" : "wipe-file", "targets",
                        m_targets, m_worst);
        return m_worst;
    }

private:
    void worsen(int status)
    {
        if (gravityOf(status) > gravityOf(m_worst))
            m_worst = status;
    }

    const CommandLine &m_command;
    QJsonArray m_targets;
    int m_worst = kExitOk;
};

// What cannot be wiped is refused before the question, and only the rest is asked about.
int wipeFiles(const CommandLine &command)
{
    WipeOutput output(command);
    QVector<WipeRequest> asked;
    for (const std::string &file : command.files) {
        const WipeRequest request = fileRequest(command, QFile::decodeName(QByteArray::fromStdString(file)));
        if (const std::optional<WipeResult> refused = refusedBeforeAsking(request))
            output.add(request, *refused, request.path);
        else
            asked << request;
    }
    if (!asked.isEmpty() && !command.assumeYes) {
        // What the window's question says, for every file.
        QStringList plans;
        for (const WipeRequest &request : asked)
            plans << wipePlan(request);
        const Answer answer = confirmation(plans);
        if (answer != Answer::Yes) {
            say(notConfirmed(answer));
            return output.finish(kExitDeclined);
        }
    }
    TerminalProgress progress(!command.quiet);
    for (WipeRequest &request : asked) {
        progress.follow(request);
        const WipeResult result = runWipeSession(request);
        progress.clear();
        output.add(request, result, request.path);
    }
    return output.finish();
}

// The first line of standard input or of the file, without its line end;
// where it cannot be read, why.
bool readPin(const CommandLine &command, QString &pin, QString &why)
{
    std::string line;
    bool ok = false;
    if (command.pinSource == CommandLine::PinSource::StandardInput) {
        int c;
        while ((c = std::getchar()) != EOF && c != '\n')
            line.push_back(char(c));
        ok = c == '\n' || !line.empty();
        why = QCoreApplication::translate("CommandRun", "PIN-код не прочитан; ничего не удалено.");
    } else {
        const QString path = QFile::decodeName(QByteArray::fromStdString(command.pinFile));
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            char buffer[256] = {};
            const qint64 n = file.readLine(buffer, sizeof buffer);
            ok = n >= 0;
            line.assign(buffer, std::size_t(qMax<qint64>(n, 0)));
            std::fill(std::begin(buffer), std::end(buffer), '\0');
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
        }
        why = QCoreApplication::translate("CommandRun", "%1: PIN-код не прочитан: %2; ничего не удалено.")
                  .arg(QDir::toNativeSeparators(path), file.errorString());
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    pin = QString::fromUtf8(line.data(), int(line.size()));
    std::fill(line.begin(), line.end(), '\0');
    return ok;
}

// Every token listed; false, told, where a module VELMUX_PKCS11_MODULE names
// did not load: a mistyped path is an error, never "no tokens".
bool listedTokens(QVector<ListedToken> &tokens)
{
    QString moduleFailure;
    tokens = listTokens(nullptr, &moduleFailure);
    if (moduleFailure.isEmpty())
        return true;
    errors() << self << ": "
             << QCoreApplication::translate("CommandRun", "модуль PKCS#11 не загружен: %1.").arg(moduleFailure) << '\n';
    errors().flush();
    return false;
}

int wipeToken(const CommandLine &command)
{
    WipeOutput output(command);
    const WipeAlgorithm algorithm = WipeAlgorithm(command.algorithm);
    const QString serial = QString::fromStdString(command.serial);
    QVector<ListedToken> tokens;
    if (!listedTokens(tokens))
        return kExitFailure;
    QVector<ListedToken> chosen;
    for (const ListedToken &token : tokens)
        if (token.serialNumber == serial)
            chosen << token;
    const QString subject = QStringLiteral("S/N %1").arg(serial);
    if (chosen.size() != 1) {
        say(subject + QStringLiteral(": ")
            + (chosen.isEmpty() ? QCoreApplication::translate("CommandRun", "носитель с таким серийным номером не найден.")
                                : QCoreApplication::translate("CommandRun", "носителей с таким серийным номером несколько (%1); "
                                                                             "ничего не изменено.").arg(chosen.size())));
        const int status = chosen.isEmpty() ? kExitNotFound : kExitRefused;
        output.addUnrun(tokenNotWipedJson(serial, chosen.isEmpty() ? EndState::NotFound : EndState::Refused, status), status);
        return output.finish();
    }
    const ListedToken &token = chosen.front();
    QString pin;
    QString why;
    if (!readPin(command, pin, why)) {
        say(why);
        return output.finish(kExitFailure);
    }
    WipeRequest request;
    request.plan = passPlan(algorithm);
    request.via = JournalEntry::Interface::CommandLine;
    request.token = token;
    if (!command.assumeYes) {
        const Answer answer = confirmation({wipePlan(request)});
        if (answer != Answer::Yes) {
            forgetPin(pin);
            say(notConfirmed(answer));
            return output.finish(kExitDeclined);
        }
    }
    request.pin = std::move(pin);
    recordChoice(request, command);
    TerminalProgress progress(!command.quiet);
    progress.follow(request);
    const WipeResult result = runWipeSession(request);
    progress.clear();
    forgetPin(request.pin);
    output.add(request, result, subject);
    return output.finish();
}

// An earlier command line's journal is named wherever this one is read, so
// that nothing it recorded goes out of sight.
void tellOfEarlierJournal()
{
    const QString notice = Journal::earlierCommandLineNotice();
    if (notice.isEmpty())
        return;
    errors() << self << ": " << notice << '\n';
    errors().flush();
}

// A fingerprint given where a key belongs: both are 64 hex digits, so it is
// told from the fingerprints at hand.
bool fingerprintGiven(const QByteArray &given, const QString &alsoKnown = QString())
{
    QStringList known{Journal().headKeyFingerprint(), alsoKnown};
    SigningKey own;
    if (SigningKey::available() && own.load() == SigningKey::Load::Loaded)
        known << SigningKey::fingerprint(own.publicKey());
    bool pinned = false;
    for (const QByteArray &key : SigningKey::pinnedKeys(&pinned))
        known << SigningKey::fingerprint(key);
    return known.contains(QString::fromLatin1(given.toHex()), Qt::CaseInsensitive);
}

// Where --key cannot be used, why; kExitOk where it can.
int refusedKey(const QByteArray &given, const QString &alsoKnown = QString())
{
    QString why;
    if (given.size() != 32)
        why = QCoreApplication::translate("CommandRun", "--key требует открытый ключ (64 шестнадцатеричные цифры)");
    else if (fingerprintGiven(given, alsoKnown))
        why = QCoreApplication::translate("CommandRun", "--key: это отпечаток ключа, а не сам ключ; открытый ключ "
                                                         "печатает --public-key");
    if (why.isEmpty())
        return kExitOk;
    errors() << self << ": " << why << '\n';
    errors().flush();
    return kExitUsage;
}

// With --json the attempts and the check go to the document, and the CSV is
// not written.
int printJournal(QJsonObject *json)
{
    VerifyResult verification;
    const QVector<JournalRecord> records = Journal().readAttempts(&verification);
    if (json) {
        json->insert("journal", Journal::defaultPath());
        json->insert("verification", verificationJson(verification));
        json->insert("entries", attemptsJson(records));
    }
    if (verification.state == VerifyResult::State::Unreadable) {
        errors() << self << ": " << Journal::defaultPath() << ": " << verification.describe() << '\n';
        errors().flush();
        return kExitJournalBroken;
    }
    if (!json) {
        const QByteArray csv = journalCsv(records, journalTexts(), verification);
        std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
    }
    if (!vouches(verification)) {
        errors() << self << ": " << Journal::defaultPath() << ": " << verification.describe() << '\n';
        errors().flush();
    }
    tellOfEarlierJournal();
    return journalStatus(verification);
}

// The authority's tokens in the journal, against the configured CA: the
// counts, then each entry that fails by file and line. Nothing is said of a
// journal that never asked for a stamp, as before stamps were kept.
int reportStamps(const QVector<JournalRecord> &records, const QString &path, QTextStream &out, QJsonObject *json)
{
    const stamps::Report report = stamps::check(records, timestamp::Verifier(loadTimestampSettings().ca));
    if (report.stamped + report.pending + int(report.findings.size()) == 0)
        return kExitOk;
    if (json)
        json->insert("stamps", stampsJson(report));
    for (const QString &line : stamps::stampLines(report, path))
        out << line << '\n';
    return report.failed() ? kExitJournalBroken : kExitOk;
}

// Asks for every stamp still owed; 1 where some are left.
int stampPending(QJsonObject *json)
{
    const TimestampSettings settings = loadTimestampSettings();
    if (json)
        *json = QJsonObject{{"configured", settings.configured()}, {"stamped", 0}, {"left", QJsonValue()}, {"why", QJsonValue()}};
    if (!settings.configured()) {
        errors() << self << ": "
                 << QCoreApplication::translate("CommandRun", "служба меток времени не настроена (%1, %2).")
                        .arg(certificateSettingsPath(), QStringLiteral("[timestamp] url="))
                 << '\n';
        errors().flush();
        return kExitFailure;
    }
    const stamps::PendingRun run = stamps::stampPending(Journal(), settings, JournalEntry::Interface::CommandLine);
    if (json) {
        json->insert("stamped", run.stamped);
        json->insert("left", run.left);
        json->insert("why", run.left == 0 || run.why.isEmpty() ? QJsonValue() : QJsonValue(run.why));
    }
    QTextStream(json ? stderr : stdout) << QCoreApplication::translate("CommandRun", "Метки времени поставлены: %1, еще ожидают: %2.")
                               .arg(run.stamped)
                               .arg(run.left)
                        << '\n';
    if (run.left == 0)
        return kExitOk;
    errors() << self << ": " << QCoreApplication::translate("CommandRun", "метка времени отложена: %1").arg(run.why) << '\n';
    errors().flush();
    return kExitFailure;
}

int verifyJournal(const CommandLine &command, QJsonObject *json)
{
    if (json)
        *json = QJsonObject{{"journal", Journal::defaultPath()}, {"verification", QJsonValue()}, {"stamps", QJsonValue()},
                            {"earlier", QJsonValue()}};
    const QByteArray anchor = QByteArray::fromHex(QByteArray::fromStdString(command.publicKey));
    if (!command.publicKey.empty() && refusedKey(anchor) != kExitOk)
        return kExitUsage;
    VerifyResult verification;
    const QVector<JournalRecord> records = Journal().readEntries(&verification, anchor);
    QTextStream out(json ? stderr : stdout);
    out << Journal::defaultPath() << ": " << verification.describe() << '\n';
    if (json)
        json->insert("verification", verificationJson(verification));
    int status = journalStatus(verification);
    if (status == kExitOk)
        status = reportStamps(records, Journal::defaultPath(), out, json);
    // Checked with the key beside it, never with --key: it is another key's.
    const Journal earlier = Journal::earlierCommandLine();
    if (!earlier.path().isEmpty()) {
        const VerifyResult earlierVerification = earlier.verify();
        out << earlier.path() << ": "
            << QCoreApplication::translate("CommandRun", "(журнал прежней версии %1) ")
                   .arg(QStringLiteral(KCC_PROGRAM "-cli"))
            << earlierVerification.describe() << '\n';
        if (json)
            json->insert("earlier", QJsonObject{{"journal", earlier.path()}, {"verification", verificationJson(earlierVerification)}});
        const int earlierStatus = journalStatus(earlierVerification);
        if (status == kExitOk || earlierStatus == kExitJournalBroken)
            status = std::max(status, earlierStatus);
    }
    return status;
}

int printPublicKey(QJsonObject *json)
{
    SigningKey key;
    QString why;
    bool made = false;
    if (json)
        *json = QJsonObject{{"path", QDir::toNativeSeparators(SigningKey::defaultPath())}, {"public_key", QJsonValue()},
                            {"fingerprint", QJsonValue()}, {"made", false}, {"error", QJsonValue()}};
    // Made here where there is none, so that it can be pinned before the first wipe.
    if (Journal().keyMadeIfMissing(&key, &made, &why) != SigningKey::Load::Loaded) {
        if (json)
            json->insert("error", why);
        errors() << self << ": " << why << '\n';
        errors().flush();
        return kExitFailure;
    }
    if (made) {
        errors() << self << ": "
                 << QCoreApplication::translate("CommandRun", "ключ подписи этой установки создан: %1 (отпечаток ключа %2).")
                        .arg(QDir::toNativeSeparators(SigningKey::defaultPath()), SigningKey::fingerprint(key.publicKey()))
                 << '\n';
        errors().flush();
    }
    if (json) {
        json->insert("public_key", QString::fromLatin1(key.publicKey().toHex()));
        json->insert("fingerprint", SigningKey::fingerprint(key.publicKey()));
        json->insert("made", made);
        return kExitOk;
    }
    QTextStream(stdout) << key.publicKey().toHex() << '\n';
    return kExitOk;
}

// The ending entry --certificate names: by its number, or the last one. A
// begun or progress entry's number is refused with its attempt's ending entry.
const JournalRecord *certifiedEntry(const QVector<JournalRecord> &records, long long sequence, QString *refusal)
{
    // The attempt's last ending after this entry.
    const auto endingOf = [&records](const JournalRecord &begun) -> const JournalRecord * {
        const JournalRecord *last = nullptr;
        for (const JournalRecord &record : records)
            if (record.sequence > begun.sequence && record.entry.phase == JournalEntry::Phase::Ended
                && !begun.entry.attempt.isEmpty() && record.entry.attempt == begun.entry.attempt)
                last = &record;
        return last;
    };
    const JournalRecord *found = nullptr;
    for (const JournalRecord &record : records)
        if (sequence == kLastWipe ? record.entry.phase == JournalEntry::Phase::Ended : record.sequence == sequence)
            found = &record;
    if (!found) {
        *refusal = sequence == kLastWipe
            ? QCoreApplication::translate("CommandRun", "в журнале нет завершающих записей.")
            : QCoreApplication::translate("CommandRun", "в журнале нет завершающей записи с номером %1.").arg(sequence);
        return nullptr;
    }
    if (found->entry.phase == JournalEntry::Phase::Ended) {
        // A fill from the result box ends the same attempt again: the later
        // ending is the one that stands.
        const JournalRecord *amended = endingOf(*found);
        if (!amended)
            return found;
        *refusal = QCoreApplication::translate("CommandRun", "запись %1 завершает удаление, которое потом было дописано; "
                                               "сертификат выдается по его последней завершающей записи %2.")
                       .arg(sequence)
                       .arg(amended->sequence);
        return nullptr;
    }
    if (found->entry.phase == JournalEntry::Phase::Timestamp) {
        *refusal = QCoreApplication::translate("CommandRun", "запись %1 — метка времени записи %2; сертификат выдается "
                                               "по записи %2.")
                       .arg(sequence)
                       .arg(found->entry.stampedSequence);
        return nullptr;
    }
    const JournalRecord *ending = endingOf(*found);
    *refusal = ending ? QCoreApplication::translate("CommandRun", "запись %1 открывает или продолжает удаление, а не "
                                                    "завершает его; сертификат выдается по его завершающей записи %2.")
                            .arg(sequence)
                            .arg(ending->sequence)
                      : QCoreApplication::translate("CommandRun", "запись %1 открывает или продолжает удаление, у "
                                                    "которого нет завершающей записи: оно не завершено.")
                            .arg(sequence);
    return nullptr;
}

int writeCertificate(const CommandLine &command, QJsonObject *json)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(command.certificateFile));
    if (json)
        *json = QJsonObject{{"path", QFileInfo(path).absoluteFilePath()}, {"written", false}, {"seq", QJsonValue()},
                            {"hash", QJsonValue()}, {"error", QJsonValue()}};
    const auto refuse = [json](const QString &subject, const QString &why, int status) {
        if (json)
            json->insert("error", why);
        errors() << self << ": " << subject << why << '\n';
        errors().flush();
        return status;
    };
    VerifyResult verification;
    // Every entry, an amended ending too, for its number to be answered.
    const QVector<JournalRecord> records = Journal().readEntries(&verification);
    // A certificate only from a journal that proves its entries.
    if (!vouches(verification))
        return refuse(QString(), QCoreApplication::translate("CommandRun", "сертификат не выдается: %1").arg(verification.describe()),
                      journalStatus(verification));
    QString refusal;
    const JournalRecord *ended = certifiedEntry(records, command.sequence, &refusal);
    if (!ended)
        return refuse(QString(), refusal, kExitNotFound);
    if (json) {
        json->insert("seq", double(ended->sequence));
        json->insert("hash", ended->hash);
    }
    // A certificate of destruction only for an attempt that destroyed the container.
    if (!certificateIssued(ended->entry)) {
        const QString why = kindOf(ended->entry.endState) == EndStateKind::Interrupted
            ? QCoreApplication::translate("CommandRun", "удаление было прервано, что осталось на носителе, неизвестно")
            : QCoreApplication::translate("CommandRun", "контейнер не уничтожен или его уничтожение не доказано");
        return refuse(QString(),
                      QCoreApplication::translate("CommandRun", "запись %1 заканчивается состоянием %2: %3; сертификат "
                                                  "не выдается.")
                          .arg(ended->sequence)
                          .arg(toWord(ended->entry.endState), why),
                      kExitRefused);
    }
    QString why;
    QJsonObject body = certificateBody(*ended, Journal::defaultPath());
    const QJsonObject stamp = stamps::certificateStamp(records, *ended);
    if (!stamp.isEmpty())
        body.insert("timestamp", stamp);
    const QByteArray certificate = signCertificate(body, &why);
    if (certificate.isEmpty() || !writeFileAtomically(path, certificate, &why))
        return refuse(path + QStringLiteral(": "), why, kExitFailure);
    if (json)
        json->insert("written", true);
    return kExitOk;
}

// The keys to check with: the auditor's --key, else the organisation's pinned
// keys; never the key a certificate carries.
void checkingKeys(const CommandLine &command, QVector<QByteArray> *keys, QString *why)
{
    bool pinned = false;
    const QVector<QByteArray> listed = SigningKey::pinnedKeys(&pinned, why);
    if (command.publicKey.empty()) {
        *keys = listed;
        return;
    }
    const QByteArray given = QByteArray::fromHex(QByteArray::fromStdString(command.publicKey));
    // Where keys are pinned, a key given past them is not one of the organisation's.
    if (!pinned || listed.contains(given))
        *keys = {given};
}

// The authority's token a certificate carries, against its entry_sha256 and
// the configured CA.
int certificateStampStatus(const QJsonObject &body, const QString &path, QTextStream &out, QJsonObject *json)
{
    const QString state = body.value("timestamp").toObject().value("state").toString();
    if (state.isEmpty())
        return kExitOk;
    out << path << ": ";
    if (json)
        json->insert("timestamp", QJsonObject{{"state", state}, {"check", QJsonValue()}, {"time", QJsonValue()}, {"why", QJsonValue()}});
    if (state != QLatin1String("stamped")) {
        out << QCoreApplication::translate("CommandRun", "метка времени ожидается (выдан до нее).") << '\n';
        return kExitOk;
    }
    const timestamp::TokenCheck token = stamps::checkCertificateStamp(body, timestamp::Verifier(loadTimestampSettings().ca));
    if (json) {
        const char *check = token.state == timestamp::TokenCheck::State::Holds ? "holds"
            : token.state == timestamp::TokenCheck::State::Fails                ? "fails"
                                                                                 : "not-verified";
        json->insert("timestamp", QJsonObject{{"state", state}, {"check", QLatin1String(check)},
                                              {"time", token.time.isValid() ? QJsonValue(token.time.toString(Qt::ISODate)) : QJsonValue()},
                                              {"why", token.why.isEmpty() ? QJsonValue() : QJsonValue(token.why)}});
    }
    switch (token.state) {
    case timestamp::TokenCheck::State::Holds:
        out << QCoreApplication::translate("CommandRun", "метка времени подлинная: %1 по службе меток.")
                   .arg(token.time.toString(Qt::ISODate))
            << '\n';
        return kExitOk;
    case timestamp::TokenCheck::State::NotVerified:
        out << QCoreApplication::translate("CommandRun", "метка времени не проверена: %1.").arg(token.why) << '\n';
        return kExitJournalNotVerified;
    case timestamp::TokenCheck::State::Fails:
        break;
    }
    out << QCoreApplication::translate("CommandRun", "метка времени не прошла проверку: %1.").arg(token.why) << '\n';
    return kExitBadCertificate;
}

// The check as the document gives it: the entry the certificate names, and
// its signer only where it holds.
QJsonObject certificateCheckJson(const QString &path, const CertificateCheck &check)
{
    const QJsonObject journal = check.body.value("journal").toObject();
    const char *state = check.state == CertificateCheck::State::Holds ? "holds"
        : check.state == CertificateCheck::State::Fails                ? "fails"
                                                                        : "not-verified";
    return QJsonObject{
        {"path", QFileInfo(path).absoluteFilePath()},
        {"state", QLatin1String(state)},
        {"holds", check.state == CertificateCheck::State::Holds},
        {"signer", check.state == CertificateCheck::State::Holds ? QJsonValue(check.signer) : QJsonValue()},
        {"seq", journal.contains("seq") ? journal.value("seq") : QJsonValue()},
        {"hash", journal.contains("entry_sha256") ? journal.value("entry_sha256") : QJsonValue()},
        {"why", check.why.isEmpty() ? QJsonValue() : QJsonValue(check.why)},
        {"line", check.line > 0 ? QJsonValue(check.line) : QJsonValue()},
        {"timestamp", QJsonValue()},
    };
}

int verifyCertificateFile(const CommandLine &command, QJsonObject *json)
{
    QVector<QByteArray> keys;
    QString why;
    const QString path = QFile::decodeName(QByteArray::fromStdString(command.certificateFile));
    if (json)
        *json = certificateCheckJson(path, CertificateCheck());
    QFile file(path);
    if (!command.publicKey.empty()) {
        // The certificate names its signer's fingerprint: the one most likely given by mistake.
        QFile named(path);
        const QString signer = named.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(named.readAll()).object().value("signer_key_sha256").toString()
            : QString();
        if (refusedKey(QByteArray::fromHex(QByteArray::fromStdString(command.publicKey)), signer) != kExitOk)
            return kExitUsage;
    }
    checkingKeys(command, &keys, &why);
    CertificateCheck check;
    if (!file.open(QIODevice::ReadOnly)) {
        check.state = CertificateCheck::State::Fails;
        check.why = file.errorString();
    } else if (keys.isEmpty() && !command.publicKey.empty()) {
        check.state = CertificateCheck::State::Fails;
        check.why = QCoreApplication::translate("CommandRun", "ключа из --key нет среди закрепленных ключей (%1)")
                        .arg(SigningKey::trustedKeysPath());
    } else {
        check = checkCertificate(file.readAll(), keysByFingerprint(keys));
        if (!why.isEmpty() && check.state == CertificateCheck::State::NotVerified)
            check.why = why;
    }
    if (json)
        *json = certificateCheckJson(path, check);
    QTextStream out(json ? stderr : stdout);
    out << path << ": ";
    switch (check.state) {
    case CertificateCheck::State::Holds:
        out << QCoreApplication::translate("CommandRun", "сертификат подлинный (отпечаток ключа %1…).").arg(check.signer.left(16)) << '\n';
        return certificateStampStatus(check.body, path, out, json);
    case CertificateCheck::State::NotVerified:
        out << QCoreApplication::translate("CommandRun", "сертификат не проверен: %1.").arg(check.why) << '\n';
        return kExitJournalNotVerified;
    case CertificateCheck::State::Fails:
        break;
    }
    out << QCoreApplication::translate("CommandRun", "сертификат не прошел проверку: %1.").arg(check.why) << '\n';
    return kExitBadCertificate;
}

// What the collector's store of events holds, installation by installation.
void printEvents(QTextStream &out, const CollectionReport &report)
{
    out << QCoreApplication::translate("CommandRun", "Файлов событий: %1, событий с записями: %2; установок (хост и ключ): %3, "
                                       "записей по событиям: %4.")
               .arg(report.eventFiles).arg(report.events).arg(report.installations).arg(report.eventEntries)
        << '\n' << QCoreApplication::translate("CommandRun", "Удаления по итогу (события):") << '\n';
    for (auto i = report.eventWipes.begin(); i != report.eventWipes.end(); ++i)
        out << "  " << i.key() << ": " << i.value() << '\n';
    out << QCoreApplication::translate("CommandRun", "Хосты, чьи записи целы: %1.")
               .arg(report.wholeHosts.isEmpty() ? QStringLiteral("-") : report.wholeHosts.join(QStringLiteral(", ")))
        << '\n';
    if (!report.hostsWithFindings.isEmpty())
        out << QCoreApplication::translate("CommandRun", "Хосты с находками: %1.").arg(report.hostsWithFindings.join(QStringLiteral(", ")))
            << '\n';
}

// Every journal and certificate collected from the hosts, and the events of
// a collector's store, against the pinned keys: a summary, then each failure
// as FILE:LINE.
int verifyCollection(const CommandLine &command, QJsonObject *json)
{
    const QString directory = QFile::decodeName(QByteArray::fromStdString(command.collectionDirectory));
    if (json)
        *json = QJsonObject{{"directory", QFileInfo(directory).absoluteFilePath()}, {"collection", QJsonValue()}};
    if (!QFileInfo(directory).isDir()) {
        errors() << self << ": " << directory << ": "
                 << QCoreApplication::translate("CommandRun", "каталога нет.") << '\n';
        errors().flush();
        return kExitNotFound;
    }
    bool pinned = false;
    QString why;
    const QVector<QByteArray> keys = SigningKey::pinnedKeys(&pinned, &why);
    const CollectionReport report = checkCollection(directory, keys);
    if (json)
        json->insert("collection", collectionJson(report));
    QTextStream out(json ? stderr : stdout);
    out << directory << ":\n";
    if (!report.keysPinned) {
        out << QCoreApplication::translate("CommandRun", "Не проверено: нет закрепленных ключей организации (%1). "
                                           "Журналов: %2, сертификатов: %3.")
                   .arg(why.isEmpty() ? SigningKey::trustedKeysPath() : why)
                   .arg(report.journals)
                   .arg(report.certificates)
            << '\n';
        return kExitJournalNotVerified;
    }
    out << QCoreApplication::translate("CommandRun", "Хостов: %1, ключей подписи: %2.").arg(report.hosts.size()).arg(report.keys.size()) << '\n'
        << QCoreApplication::translate("CommandRun", "Журналов: %1, записей в них: %2.").arg(report.journals).arg(report.entries) << '\n'
        << QCoreApplication::translate("CommandRun", "Удаления по итогу:") << '\n';
    for (auto i = report.wipes.begin(); i != report.wipes.end(); ++i)
        out << "  " << i.key() << ": " << i.value() << '\n';
    out << QCoreApplication::translate("CommandRun", "Сертификатов: %1, сверено с записями журналов: %2, "
                                       "не сверено (журнал не собран или не прошел проверку): %3.")
               .arg(report.certificates)
               .arg(report.crossChecked)
               .arg(report.withoutEntry)
        << '\n'
        // The key's record stays on each host: a journal deleted there with its head is told only there.
        << QCoreApplication::translate("CommandRun", "Не проверено: записи ключей о последней подписанной записи "
                                       "(файлы *.last рядом с ключами) не собираются; журнал, удаленный на хосте вместе с головой, "
                                       "виден только там (--verify-journal).") << '\n'
        ;
    if (report.eventFiles > 0)
        printEvents(out, report);
    out << QCoreApplication::translate("CommandRun", "Ошибок: %1.").arg(report.failures.size()) << '\n';
    if (report.stamped + report.stampsPending > 0)
        out << QCoreApplication::translate("CommandRun", "Метки времени: поставлено %1, ожидают %2, без метки %3.")
                   .arg(report.stamped)
                   .arg(report.stampsPending)
                   .arg(report.unstamped)
            << '\n';
    if (!report.stampsNotVerified.isEmpty())
        out << QCoreApplication::translate("CommandRun", "Метки не проверены: %1.").arg(report.stampsNotVerified) << '\n';
    for (const CollectionReport::Failure &failure : report.failures)
        out << failure.file << (failure.line > 0 ? QStringLiteral(":%1").arg(failure.line) : QString()) << ": "
            << failure.why << '\n';
    if (report.journalFailed)
        return kExitJournalBroken;
    if (report.certificateFailed)
        return kExitBadCertificate;
    if (report.eventsFailed)
        return kExitJournalBroken;
    return report.journals + report.certificates + report.events > 0 ? kExitOk : kExitNotFound;
}

int printTokens(const CommandLine &command)
{
    QVector<ListedToken> tokens;
    if (!listedTokens(tokens))
        return kExitFailure;
    if (command.json) {
        QJsonArray listed;
        for (const ListedToken &token : tokens)
            listed.append(listedTokenJson(token));
        printResult("list-tokens", "tokens", listed, kExitOk);
        return kExitOk;
    }
    QTextStream out(stdout);
    for (const ListedToken &token : tokens)
        out << token.serialNumber << '\t' << token.name << '\t' << token.detail << '\n';
    return kExitOk;
}

} // namespace

bool vouches(const VerifyResult &verification)
{
    return verification.ok() || verification.state == VerifyResult::State::TornLast;
}

int journalStatus(const VerifyResult &verification)
{
    if (vouches(verification))
        return kExitOk;
    return verification.state == VerifyResult::State::NotVerified ? kExitJournalNotVerified : kExitJournalBroken;
}

namespace {

// The modes whose document is printed once they end; the wipes and the token
// list print their own.
const char *documentMode(CommandLine::Action action)
{
    switch (action) {
    case CommandLine::Action::PrintJournal:
        return "journal";
    case CommandLine::Action::VerifyJournal:
        return "verify-journal";
    case CommandLine::Action::PrintPublicKey:
        return "public-key";
    case CommandLine::Action::WriteCertificate:
        return "certificate";
    case CommandLine::Action::VerifyCertificate:
        return "verify-certificate";
    case CommandLine::Action::VerifyCollection:
        return "verify-collection";
    case CommandLine::Action::StampPending:
        return "stamp-pending";
    default:
        return nullptr;
    }
}

// json: where the mode puts its payload; null without --json.
int runMode(const CommandLine &command, ActWriter writeAct, QJsonObject *json)
{
    switch (command.action) {
    case CommandLine::Action::WipeFiles:
        return wipeFiles(command);
    case CommandLine::Action::WipeToken:
        return wipeToken(command);
    case CommandLine::Action::ListTokens:
        return printTokens(command);
    case CommandLine::Action::PrintJournal:
        return printJournal(json);
    case CommandLine::Action::VerifyJournal:
        return verifyJournal(command, json);
    case CommandLine::Action::WriteAct:
        return writeAct ? writeAct(command) : kExitUsage;
    case CommandLine::Action::PrintPublicKey:
        return printPublicKey(json);
    case CommandLine::Action::WriteCertificate:
        return writeCertificate(command, json);
    case CommandLine::Action::VerifyCertificate:
        return verifyCertificateFile(command, json);
    case CommandLine::Action::VerifyCollection:
        return verifyCollection(command, json);
    case CommandLine::Action::StampPending:
        return stampPending(json);
    case CommandLine::Action::OpenWindow:
    case CommandLine::Action::Exit:
        break;
    }
    return command.exitCode;
}

} // namespace

int runCommandLine(const CommandLine &command, ActWriter writeAct)
{
    self = programName(command.program);
    // Only where a wipe follows: the other modes read and never write.
    if (command.action == CommandLine::Action::WipeFiles || command.action == CommandLine::Action::WipeToken) {
        for (const InterruptedWipe &wipe : closeInterruptedWipes(JournalEntry::Interface::CommandLine))
            errors() << self << ": " << wipetexts::interrupted() << ' ' << describeInterrupted(wipe) << '\n';
        // Stamps an earlier run could not have, within a few seconds in all.
        stamps::stampPending(Journal(), loadTimestampSettings(), JournalEntry::Interface::CommandLine);
        errors().flush();
    }
    const char *mode = command.json ? documentMode(command.action) : nullptr;
    QJsonObject payload;
    const int status = runMode(command, writeAct, mode ? &payload : nullptr);
    if (mode)
        printDocument(mode, payload, status);
    return status;
}
