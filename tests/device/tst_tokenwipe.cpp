// The device executor against the link-time fake of the container library:
// the exact library calls of a wipe, the bytes of every write, what each
// refused call leads to, and what the wipe session reports and journals.

#include "tokenwipe.h"
#include "fakevelmux.h"
#include "forkedchild.h"
#include "filewipe.h"
#include "boxtexts.h"
#include "devicetexts.h"
#include "passpattern.h"
#include "wipesession.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KCC_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KCC_UNDER_ASAN 1
#endif
#endif

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
static int draw() { return qrand(); }
static void seed(uint s) { qsrand(s); }
QT_WARNING_POP

Q_DECLARE_METATYPE(TokenWipeStatus)
Q_DECLARE_METATYPE(WipeAlgorithm)

namespace {

using boxtexts::title;
using boxtexts::wiped;
using boxtexts::contextFailed;
using boxtexts::sessionFailed;
using boxtexts::wrongPin;
using boxtexts::sizeFailed;
using boxtexts::writeFailed;
using boxtexts::deviceFailed;

constexpr uint32_t kMediaType = 4;
// Opaque bytes all 0xC3, so a record cut short or rebuilt from its public
// fields would not match.
const MediaRecord kMedium = FakeVelmux::makeRecord(9, kMediaType, 0xC3);

const char kCreate[] = "velmux_create_ctx";
const char kDestroy[] = "velmux_destroy_ctx";
const char kOpen[] = "velmux_open_session";
const char kClose[] = "velmux_close_session";
const char kLogin[] = "velmux_login";
const char kSize[] = "velmux_get_container_size";
const char kWrite[] = "velmux_write_container";
const char kDelete[] = "velmux_delete_container";
const char kMethod[] = "velmux_get_write_method";
const char kCount[] = "velmux_count_containers";

// What each call of a whole wipe is there for.
enum class Role { Create, Open, Login, Size, Write, Reclose, Reopen, Relogin, Delete, Method, Close, Destroy };

struct Step {
    const char *function;
    Role role;
};

// The calls of a wipe where every call succeeds: reopenAfterWrite[i] is how
// many close/open/login rounds follow write i.
QVector<Step> wipeSteps(const QVector<int> &reopenAfterWrite)
{
    QVector<Step> steps{{kCreate, Role::Create}, {kOpen, Role::Open}, {kLogin, Role::Login},
                        {kSize, Role::Size}};
    for (int rounds : reopenAfterWrite) {
        steps.append({kWrite, Role::Write});
        for (int r = 0; r < rounds; ++r)
            steps << Step{kClose, Role::Reclose} << Step{kOpen, Role::Reopen} << Step{kLogin, Role::Relogin};
    }
    steps << Step{kDelete, Role::Delete} << Step{kMethod, Role::Method} << Step{kClose, Role::Close}
          << Step{kDestroy, Role::Destroy};
    return steps;
}

// One round after every write; Schneier adds one after its last write.
QVector<int> reopenRounds(WipeAlgorithm algorithm)
{
    switch (algorithm) {
    case Gost:
        return {1, 1};
    case Schneier:
        return {1, 1, 1, 1, 1, 1, 2};
    case Ar380:
        return {1, 1, 1};
    default:
        return {};
    }
}

QStringList names(const QVector<Step> &steps)
{
    QStringList out;
    for (const Step &s : steps)
        out << QString::fromLatin1(s.function);
    return out;
}

QStringList loggedNames()
{
    QStringList out;
    for (const std::string &name : FakeVelmux::callNames())
        out << QString::fromStdString(name);
    return out;
}

QVector<FakeVelmux::Call> writes()
{
    QVector<FakeVelmux::Call> out;
    for (const FakeVelmux::Call &c : FakeVelmux::calls())
        if (c.function == kWrite)
            out.append(c);
    return out;
}

QByteArray toBytes(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

// Everything the library was handed, as one comparable text.
QStringList callTranscript()
{
    QStringList out;
    for (const FakeVelmux::Call &c : FakeVelmux::calls()) {
        QString line = QString::fromStdString(c.function)
            + QStringLiteral(" ctx=%1 type=%2 flags=%3 mode=%4 length=%5 preset=%6 pin=")
                  .arg(c.ctx).arg(c.mediaType).arg(c.flags).arg(c.mode).arg(c.length).arg(c.preset)
            + QString::fromStdString(c.pin) + QStringLiteral(" data=")
            + QString::fromLatin1(toBytes(c.data).toHex());
        if (c.record)
            line += QStringLiteral(" record=")
                + QString::fromLatin1(toBytes(FakeVelmux::bytes(*c.record)).toHex());
        out << line;
    }
    return out;
}

void prepareMedium(uint32_t containerSize)
{
    FakeVelmux::reset();
    FakeVelmux::addMedia(kMediaType, kMedium, "Token", "Model", "0042");
    FakeVelmux::setContainerSize(containerSize);
}

const ListedToken kListed{kMedium, QStringLiteral("Token"), QStringLiteral("Model"), QStringLiteral("0042")};

struct SessionRun {
    bool result = false;  // the container is gone
    WipeReport report;    // its informative text without the summary that heads it
    JournalEntry entry;
    QString summary;
};

SessionRun wipeInSession(WipeAlgorithm algorithm, const QString &pin)
{
    WipeRequest request;
    request.plan = passPlan(algorithm);
    request.token = kListed;
    request.pin = pin;
    const WipeResult result = runWipeSession(request);
    SessionRun run{result.destroyed(), result.report, result.entry, result.summary};
    if (!result.journalled)
        run.summary = QStringLiteral("not journalled");
    else if (run.report.informative.startsWith(result.summary))
        run.report.informative = run.report.informative.mid(result.summary.size()).remove(QRegularExpression("^\\n\\n"));
    else
        run.summary = QStringLiteral("no summary first: ") + run.report.informative;
    return run;
}

QString textOf(TokenWipeStatus status)
{
    switch (status) {
    case TokenWipeStatus::Wiped:
        return wiped;
    case TokenWipeStatus::ContextFailed:
        return contextFailed;
    case TokenWipeStatus::OpenSessionFailed:
        return sessionFailed;
    case TokenWipeStatus::LoginFailed:
        return wrongPin;
    case TokenWipeStatus::PinLocked:
        return devicetexts::pinLocked;
    case TokenWipeStatus::PinNotInitialized:
        return devicetexts::pinNotInitialized;
    case TokenWipeStatus::PinExpired:
        return devicetexts::pinExpired;
    case TokenWipeStatus::NoContainer:
        return devicetexts::noContainer;
    case TokenWipeStatus::Ambiguous:
        return devicetexts::severalContainers;
    case TokenWipeStatus::SizeFailed:
        return sizeFailed;
    case TokenWipeStatus::WriteFailed:
        return writeFailed;
    case TokenWipeStatus::DeletionUnproven:
        return devicetexts::deletionUnproven;
    case TokenWipeStatus::DeleteFailed:
    case TokenWipeStatus::Exception:
        return deviceFailed;
    }
    return QString();
}

} // namespace

class TestTokenWipe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void callSequence_data();
    void callSequence();
    void passBytes_data();
    void passBytes();
    void dodAndHmgEnhancedAlike();
    void failureTable_data();
    void failureTable();
    void secondOfThreeWritesFails();
    void everyCallFails_data();
    void everyCallFails();
    void statusBoundary_data();
    void statusBoundary();
    void deletionFails_data();
    void deletionFails();
    void emptyContainer();
    void twoTokenWipesShareOneSequence();
    void continuesFileWipeSequence();
    void passBufferAllocationFails();

private:
    void checkReport(const SessionRun &run, bool success, const QString &text);
    void checkReport(const SessionRun &run, Severity severity, const QString &text, const QString &informative);
};

void TestTokenWipe::initTestCase()
{
}

void TestTokenWipe::checkReport(const SessionRun &run, bool success, const QString &text)
{
    checkReport(run, success ? Severity::Information : Severity::Critical, text, run.report.informative);
}

// The report as the user reads it, and the journal entry saying the same of
// the medium and the attempt.
void TestTokenWipe::checkReport(const SessionRun &run, Severity severity, const QString &text,
                                 const QString &informative)
{
    QCOMPARE(run.report.text, text);
    QCOMPARE(run.report.informative, informative);
    QCOMPARE(run.report.severity, severity);
    QVERIFY2(run.summary.startsWith(QStringLiteral("Носитель: Token (Model, S/N 0042)\n")), qPrintable(run.summary));
    QCOMPARE(run.entry.resultText, text);
    QCOMPARE(run.entry.resultInformative, run.summary + (informative.isEmpty() ? QString() : "\n\n" + informative));
    QCOMPARE(run.entry.tokenLabel, QStringLiteral("Token"));
    QCOMPARE(run.entry.tokenModel, QStringLiteral("Model"));
    QCOMPARE(run.entry.tokenSerial, QStringLiteral("0042"));
}

void TestTokenWipe::callSequence_data()
{
    QTest::addColumn<WipeAlgorithm>("algorithm");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("pattern");
    QTest::addColumn<uint32_t>("method");

    const QStringList gost{kCreate, kOpen,  kLogin, kSize,   kWrite, kClose, kOpen,   kLogin,
                           kWrite,  kClose, kOpen,  kLogin, kDelete, kMethod, kClose, kDestroy};
    QTest::newRow("Gost, Cyrillic PIN") << Gost << QStringLiteral("Пароль-е 12") << gost
                                        << QStringList{"00", "R"} << VELMUX_WRITTEN_IN_PLACE;
    QTest::newRow("Gost, empty PIN") << Gost << QString() << gost << QStringList{"00", "R"}
                                     << VELMUX_WRITTEN_IN_PLACE;
    QTest::newRow("Schneier") << Schneier << QStringLiteral("1234") << names(wipeSteps(reopenRounds(Schneier)))
                              << QStringList{"01", "00", "R", "R", "R", "R", "R"} << VELMUX_WRITTEN_IN_PLACE;
    QTest::newRow("Gost, token replaces the container") << Gost << QStringLiteral("1234") << gost
                                                        << QStringList{"00", "R"} << VELMUX_WRITTEN_BY_REPLACEMENT;
    QTest::newRow("Gost, in place and replaced") << Gost << QStringLiteral("1234") << gost << QStringList{"00", "R"}
                                                 << (VELMUX_WRITTEN_IN_PLACE | VELMUX_WRITTEN_BY_REPLACEMENT);
}

void TestTokenWipe::callSequence()
{
    QFETCH(WipeAlgorithm, algorithm);
    QFETCH(QString, pin);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, pattern);
    QFETCH(uint32_t, method);
    constexpr uint32_t size = 77;
    prepareMedium(size);
    FakeVelmux::setWriteMethod(method);

    seed(2024);
    const SessionRun run = wipeInSession(algorithm, pin);
    // Replaced: the container is gone, so the window still clears its fields.
    QVERIFY(run.result);
    if (method & VELMUX_WRITTEN_BY_REPLACEMENT)
        checkReport(run, Severity::Warning, devicetexts::replaced, devicetexts::replacedDetail);
    else
        checkReport(run, Severity::Information, wiped, QString());
    QCOMPARE(toWord(run.entry.endState), method & VELMUX_WRITTEN_BY_REPLACEMENT ? "replaced-not-overwritten" : "wiped");
    QCOMPARE(run.entry.passesDone, pattern.size());
    QCOMPARE(loggedNames(), expected);
    QCOMPARE(expected.count(kLogin), pattern.size() + 1 + (algorithm == Schneier ? 1 : 0));

    seed(2024);
    const QVector<std::vector<uint8_t>> passes = expectedPasses(pattern, size);
    const std::vector<FakeVelmux::Call> &calls = FakeVelmux::calls();
    const uint32_t handle = calls.front().ctx;
    QVERIFY(handle != 0);
    QCOMPARE(calls.front().mediaType, kMediaType);
    int write = 0;
    for (const FakeVelmux::Call &c : calls) {
        QCOMPARE(c.ctx, handle);
        QVERIFY2(VELMUX_SUCCEEDED(c.status), c.function.c_str());
        if (c.function == kOpen) {
            QVERIFY(c.record);
            QCOMPARE(FakeVelmux::bytes(*c.record), FakeVelmux::bytes(kMedium));
            QCOMPARE(c.flags, 0u);
        } else if (c.function == kLogin) {
            QVERIFY(!c.pinNull);
            QCOMPARE(QByteArray::fromStdString(c.pin), pin.toUtf8());
        } else if (c.function == kSize) {
            QCOMPARE(c.preset, 0u);
        } else if (c.function == kWrite) {
            QCOMPARE(c.mode, 1u);
            QCOMPARE(c.length, size);
            QCOMPARE(toBytes(c.data), toBytes(passes.at(write)));
            ++write;
        }
    }
    QCOMPARE(write, pattern.size());
    QVERIFY(!FakeVelmux::containerPresent());
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::passBytes_data()
{
    QTest::addColumn<WipeAlgorithm>("algorithm");
    QTest::addColumn<QStringList>("pattern");
    QTest::newRow("Gost") << Gost << QStringList{"00", "R"};
    QTest::newRow("DoD") << DoD << QStringList{"00", "01", "R"};
    QTest::newRow("HmgBaseline") << HmgBaseline << QStringList{"00"};
    QTest::newRow("HmgEnhanced") << HmgEnhanced << QStringList{"00", "01", "R"};
    QTest::newRow("Rcmp") << Rcmp << QStringList{"00", "01", "00", "01", "00", "01", "X"};
    QTest::newRow("Ar380") << Ar380 << QStringList{"R", "X", "~X"};
    QTest::newRow("Vsitr") << Vsitr << QStringList{"00", "01", "00", "01", "00", "01", "R"};
    QTest::newRow("Schneier") << Schneier << QStringList{"01", "00", "R", "R", "R", "R", "R"};
}

// Exact bytes of every write, and the generator left right after the last draw.
void TestTokenWipe::passBytes()
{
    QFETCH(WipeAlgorithm, algorithm);
    QFETCH(QStringList, pattern);
    constexpr uint32_t size = 300;
    prepareMedium(size);

    seed(77);
    QCOMPARE(overwriteTokenContainer(passPlan(algorithm), &kMedium, QStringLiteral("1234")).status, TokenWipeStatus::Wiped);
    const int nextDraw = draw();

    seed(77);
    const QVector<std::vector<uint8_t>> passes = expectedPasses(pattern, size);
    QCOMPARE(nextDraw, draw());
    const QVector<FakeVelmux::Call> seen = writes();
    QCOMPARE(seen.size(), pattern.size());
    for (int i = 0; i < seen.size(); ++i)
        QCOMPARE(toBytes(seen[i].data), toBytes(passes[i]));
    if (algorithm == Ar380) {
        // The complement pass must not draw again: x and ~x, not two draws.
        const uint8_t x = seen[1].data.front();
        QCOMPARE(seen[2].data, std::vector<uint8_t>(size, uint8_t(~x)));
    }
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::dodAndHmgEnhancedAlike()
{
    QStringList transcripts[2];
    const WipeAlgorithm algorithms[2] = {DoD, HmgEnhanced};
    for (int i = 0; i < 2; ++i) {
        prepareMedium(129);
        seed(4242);
        QCOMPARE(overwriteTokenContainer(passPlan(algorithms[i]), &kMedium, QStringLiteral("ключ")).status,
                 TokenWipeStatus::Wiped);
        transcripts[i] = callTranscript();
    }
    QCOMPARE(transcripts[0].size(), 20);
    QCOMPARE(transcripts[1], transcripts[0]);
}

void TestTokenWipe::failureTable_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<uint32_t>("status");     // what the refused call returns
    QTest::addColumn<uint32_t>("containers"); // on the token
    QTest::addColumn<QString>("informative");
    QTest::addColumn<QString>("endState"); // as the journal records it

    using namespace devicetexts;
    const QStringList full{kCreate, kOpen,  kLogin, kSize,   kWrite, kClose, kOpen,   kLogin,
                           kWrite,  kClose, kOpen,  kLogin, kDelete, kMethod, kClose, kDestroy};
    const QStringList atLogin{kCreate, kOpen, kLogin, kClose, kDestroy};
    const QStringList atSize{kCreate, kOpen, kLogin, kSize, kClose, kDestroy};
    QTest::newRow("create_ctx") << kCreate << 1 << contextFailed << QStringList{kCreate} << false
                                << VELMUX_E_TOKEN << 1u << untouched << "no-token-library";
    QTest::newRow("open_session") << kOpen << 1 << sessionFailed << QStringList{kCreate, kOpen, kDestroy}
                                  << false << VELMUX_E_TOKEN << 1u << untouched << "token-error-untouched";
    QTest::newRow("login") << kLogin << 1 << wrongPin << atLogin << false << VELMUX_E_PIN_INCORRECT << 1u
                           << untouched << "token-error-untouched";
    QTest::newRow("login, PIN locked") << kLogin << 1 << pinLocked << atLogin << false << VELMUX_E_PIN_LOCKED
                                       << 1u << untouched << "token-error-untouched";
    QTest::newRow("login, user PIN not set") << kLogin << 1 << pinNotInitialized << atLogin << false
                                             << VELMUX_E_PIN_NOT_INITIALIZED << 1u << untouched << "token-error-untouched";
    QTest::newRow("login, PIN expired") << kLogin << 1 << pinExpired << atLogin << false
                                        << VELMUX_E_PIN_EXPIRED << 1u << untouched << "token-error-untouched";
    QTest::newRow("get_container_size") << kSize << 1 << sizeFailed << atSize << false << VELMUX_E_TOKEN << 1u
                                        << untouched << "token-error-untouched";
    QTest::newRow("no container") << QString() << 0 << noContainer << atSize << true << VELMUX_OK << 0u
                                  << QString() << "no-container";
    QTest::newRow("three containers") << QString() << 0 << severalContainers
                                      << QStringList{kCreate, kOpen, kLogin, kSize, kCount, kClose, kDestroy}
                                      << false << VELMUX_OK << 3u << severalDetail(3) << "several-containers-untouched";
    QTest::newRow("first write") << kWrite << 1 << writeFailed << full << true << VELMUX_E_TOKEN << 1u
                                 << written(1, 2) + gone << "token-error-container-gone";
    QTest::newRow("last write") << kWrite << 2 << writeFailed << full << true << VELMUX_E_TOKEN << 1u
                                << written(1, 2) + gone << "token-error-container-gone";
}

// Every refusal has its own text, releases what was opened and is journalled
// with its end state.
void TestTokenWipe::failureTable()
{
    QFETCH(QString, function);
    QFETCH(int, occurrence);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QFETCH(bool, deleted);
    QFETCH(uint32_t, status);
    QFETCH(uint32_t, containers);
    QFETCH(QString, informative);
    QFETCH(QString, endState);
    prepareMedium(40);
    FakeVelmux::setContainers(containers);
    if (!function.isEmpty())
        FakeVelmux::failCall(function.toStdString(), occurrence, status);

    const SessionRun run = wipeInSession(Gost, QStringLiteral("1234"));
    QVERIFY(!run.result);
    checkReport(run, Severity::Critical, text, informative);
    QCOMPARE(toWord(run.entry.endState), endState);
    QCOMPARE(loggedNames(), expected);
    QCOMPARE(FakeVelmux::containerPresent(), !deleted);
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::secondOfThreeWritesFails()
{
    constexpr uint32_t size = 50;
    prepareMedium(size);
    FakeVelmux::failCall(kWrite, 2);
    seed(99);
    const SessionRun run = wipeInSession(DoD, QStringLiteral("1234"));
    QVERIFY(!run.result);
    checkReport(run, false, writeFailed);

    QCOMPARE(loggedNames(), names(wipeSteps({1, 1, 1})));
    const QVector<FakeVelmux::Call> seen = writes();
    QCOMPARE(seen.size(), 3);
    QVERIFY(VELMUX_FAILED(seen[1].status));
    QVERIFY(VELMUX_SUCCEEDED(seen[2].status));
    seed(99);
    QCOMPARE(toBytes(seen[2].data), toBytes(expectedPasses({"00", "01", "R"}, size).at(2)));
    QVERIFY(!FakeVelmux::containerPresent());
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

// One refused call per row, at every position of a whole wipe. Refused
// re-logins are not reported themselves; they show only through the write or
// the deletion that needed them, and a later re-login heals them.
void TestTokenWipe::everyCallFails_data()
{
    QTest::addColumn<WipeAlgorithm>("algorithm");
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<TokenWipeStatus>("status");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("deleted");

    for (WipeAlgorithm algorithm : {Gost, Schneier}) {
        const QVector<Step> steps = wipeSteps(reopenRounds(algorithm));
        const QStringList full = names(steps);
        QHash<QString, int> seen;
        for (int i = 0; i < steps.size(); ++i) {
            const Step &step = steps[i];
            const int occurrence = ++seen[QString::fromLatin1(step.function)];
            TokenWipeStatus status = TokenWipeStatus::Wiped;
            QStringList expected = full;
            QString what;
            switch (step.role) {
            case Role::Create:
                status = TokenWipeStatus::ContextFailed;
                expected = full.mid(0, 1);
                break;
            case Role::Open:
                status = TokenWipeStatus::OpenSessionFailed;
                expected = full.mid(0, 2) << kDestroy;
                break;
            case Role::Login:
                status = TokenWipeStatus::LoginFailed;
                expected = full.mid(0, 3) << kClose << kDestroy;
                break;
            case Role::Size:
                status = TokenWipeStatus::SizeFailed;
                expected = full.mid(0, 4) << kClose << kDestroy;
                break;
            case Role::Write:
                status = TokenWipeStatus::WriteFailed;
                break;
            case Role::Reclose:
                // The session stays open; the open after it is refused and the
                // log-in still succeeds.
                what = QStringLiteral(" (re-login)");
                break;
            case Role::Reopen:
            case Role::Relogin: {
                what = QStringLiteral(" (re-login)");
                // The first call after this round that needs a log-in.
                for (int j = step.role == Role::Reopen ? i + 2 : i + 1; j < steps.size(); ++j) {
                    if (steps[j].role == Role::Write) {
                        status = TokenWipeStatus::WriteFailed;
                        break;
                    }
                    if (steps[j].role == Role::Delete) {
                        status = TokenWipeStatus::DeleteFailed;
                        break;
                    }
                    if (steps[j].role == Role::Relogin)
                        break; // logged in again before anything needed it
                }
                break;
            }
            case Role::Delete:
                status = TokenWipeStatus::DeleteFailed;
                // Still logged in: the executor asks whether the container is left.
                expected.insert(i + 1, kSize);
                break;
            case Role::Method: // an unanswered question is taken as in place
            case Role::Close:
            case Role::Destroy:
                break;
            }
            const bool deleted = status == TokenWipeStatus::Wiped || status == TokenWipeStatus::WriteFailed;
            QTest::addRow("%s: %s #%d%s", algorithm == Gost ? "Gost" : "Schneier", step.function,
                          occurrence, qPrintable(what))
                << algorithm << QString::fromLatin1(step.function) << occurrence << status << expected
                << deleted;
        }
    }
}

void TestTokenWipe::everyCallFails()
{
    QFETCH(WipeAlgorithm, algorithm);
    QFETCH(QString, function);
    QFETCH(int, occurrence);
    QFETCH(TokenWipeStatus, status);
    QFETCH(QStringList, expected);
    QFETCH(bool, deleted);
    // A refused destroy leaves the fake's context in place; the executor must
    // not try again, and there is nothing else it could do.
    const size_t live = function == QLatin1String(kDestroy) ? 1 : 0;

    prepareMedium(24);
    FakeVelmux::failCall(function.toStdString(), occurrence);
    QCOMPARE(overwriteTokenContainer(passPlan(algorithm), &kMedium, QStringLiteral("1234")).status, status);
    QCOMPARE(loggedNames(), expected);
    QCOMPARE(FakeVelmux::containerPresent(), !deleted);
    QCOMPARE(FakeVelmux::liveContexts(), live);

    prepareMedium(24);
    FakeVelmux::failCall(function.toStdString(), occurrence);
    const SessionRun run = wipeInSession(algorithm, QStringLiteral("1234"));
    QCOMPARE(run.result, status == TokenWipeStatus::Wiped);
    checkReport(run, run.result, textOf(status));
    QCOMPARE(loggedNames(), expected);
    QCOMPARE(FakeVelmux::liveContexts(), live);
}

// Only a status with both top bits set is a failure.
void TestTokenWipe::statusBoundary_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<uint32_t>("status");
    QTest::addColumn<TokenWipeStatus>("outcome");
    QTest::newRow("login 0xC0000000") << kLogin << 0xC0000000u << TokenWipeStatus::LoginFailed;
    QTest::newRow("login 0xBFFFFFFF") << kLogin << 0xBFFFFFFFu << TokenWipeStatus::Wiped;
    QTest::newRow("write 0xFFFFFFFF") << kWrite << 0xFFFFFFFFu << TokenWipeStatus::WriteFailed;
    QTest::newRow("write 0x80000000") << kWrite << 0x80000000u << TokenWipeStatus::Wiped;
    QTest::newRow("write 0x40000000") << kWrite << 0x40000000u << TokenWipeStatus::Wiped;
    QTest::newRow("create 0x80000001") << kCreate << 0x80000001u << TokenWipeStatus::Wiped;
    QTest::newRow("delete 0xC0000000") << kDelete << 0xC0000000u << TokenWipeStatus::DeleteFailed;
    QTest::newRow("delete 0x7FFFFFFF") << kDelete << 0x7FFFFFFFu << TokenWipeStatus::Wiped;
}

void TestTokenWipe::statusBoundary()
{
    QFETCH(QString, function);
    QFETCH(uint32_t, status);
    QFETCH(TokenWipeStatus, outcome);
    prepareMedium(8);
    FakeVelmux::failCall(function.toStdString(), 1, status);
    QCOMPARE(overwriteTokenContainer(passPlan(HmgBaseline), &kMedium, QStringLiteral("1234")).status, outcome);
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::deletionFails_data()
{
    QTest::addColumn<bool>("writeFails");
    QTest::addColumn<uint32_t>("deletion");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("informative");
    using devicetexts::written;
    QTest::newRow("every write succeeded") << false << VELMUX_E_CONTAINER_NOT_FOUND << deviceFailed
                                           << written(2, 2) + devicetexts::present;
    QTest::newRow("a write failed too") << true << VELMUX_E_CONTAINER_NOT_FOUND << writeFailed
                                        << written(1, 2) + devicetexts::present;
    // Taken by the token, its absence unchecked: never the success text, and
    // nothing asked after it.
    QTest::newRow("the deletion could not be proven") << false << VELMUX_E_DELETION_UNPROVEN
                                                      << devicetexts::deletionUnproven << written(2, 2).trimmed();
}

void TestTokenWipe::deletionFails()
{
    QFETCH(bool, writeFails);
    QFETCH(uint32_t, deletion);
    QFETCH(QString, text);
    QFETCH(QString, informative);
    prepareMedium(16);
    FakeVelmux::failCall(kDelete, 1, deletion);
    if (writeFails)
        FakeVelmux::failCall(kWrite, 1);
    const SessionRun run = wipeInSession(Gost, QStringLiteral("1234"));
    QVERIFY(!run.result);
    checkReport(run, Severity::Critical, text, informative);
    QStringList expected = names(wipeSteps(reopenRounds(Gost)));
    if (deletion != VELMUX_E_DELETION_UNPROVEN)
        expected.insert(expected.indexOf(kDelete) + 1, kSize);
    QCOMPARE(loggedNames(), expected);
    QVERIFY(FakeVelmux::containerPresent());
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::emptyContainer()
{
    prepareMedium(0);
    seed(31337);
    const int first = draw(), second = draw(), third = draw();
    QVERIFY(first != second && second != third && first != third);

    seed(31337);
    const SessionRun run = wipeInSession(Ar380, QStringLiteral("1234"));
    // Exactly one draw: the RandomByte pass; the empty RandomData pass draws none.
    QCOMPARE(draw(), second);
    QVERIFY(run.result);
    checkReport(run, true, wiped);
    QCOMPARE(loggedNames(), names(wipeSteps(reopenRounds(Ar380))));
    const QVector<FakeVelmux::Call> seen = writes();
    QCOMPARE(seen.size(), 3);
    for (const FakeVelmux::Call &c : seen) {
        QCOMPARE(c.length, 0u);
        QVERIFY(c.data.empty());
        QCOMPARE(c.mode, 1u);
    }
    QVERIFY(!FakeVelmux::containerPresent());
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestTokenWipe::twoTokenWipesShareOneSequence()
{
    constexpr uint32_t size = 40;
    seed(555);
    QByteArray random;
    for (int round = 0; round < 2; ++round) {
        prepareMedium(size);
        QCOMPARE(overwriteTokenContainer(passPlan(Gost), &kMedium, QStringLiteral("1234")).status, TokenWipeStatus::Wiped);
        const QVector<FakeVelmux::Call> seen = writes();
        QCOMPARE(seen.size(), 2);
        random += toBytes(seen[1].data);
    }
    seed(555);
    QByteArray expected;
    for (uint32_t i = 0; i < 2 * size; ++i)
        expected += char(draw() & 0xFF);
    QCOMPARE(random, expected);
}

// A device wipe after a file wipe draws on from where the file wipe stopped.
// The file wipe seeds from the millisecond clock; its seed is recovered from
// the random pass it left in the file.
void TestTokenWipe::continuesFileWipeSequence()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("key.nctx"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(QByteArray(100, 'k')), qint64(100));
    }
    QByteArray fileRandom;
    const qint64 from = QDateTime::currentMSecsSinceEpoch();
    const FileWipeOutcome outcome = overwriteFile(passPlan(Gost), path, [&](int index, const WipePass &) {
        QFile f(path);
        if (index == 1 && f.open(QIODevice::ReadOnly))
            fileRandom = f.readAll();
    });
    const qint64 to = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(outcome.status, FileWipeStatus::Wiped);
    QCOMPARE(fileRandom.size(), int(wipeBlockSize));

    constexpr uint32_t size = 64;
    prepareMedium(size);
    QCOMPARE(overwriteTokenContainer(passPlan(Gost), &kMedium, QStringLiteral("1234")).status, TokenWipeStatus::Wiped);
    const QVector<FakeVelmux::Call> seen = writes();
    QCOMPARE(seen.size(), 2);

    bool found = false;
    for (qint64 ms = from; ms <= to && !found; ++ms) {
        seed(uint(ms & 0xFFFFFFFF));
        QByteArray replay;
        for (int i = 0; i < fileRandom.size(); ++i)
            replay += char(draw() & 0xFF);
        if (replay != fileRandom)
            continue;
        found = true;
        QByteArray next;
        for (uint32_t i = 0; i < size; ++i)
            next += char(draw() & 0xFF);
        QCOMPARE(toBytes(seen[1].data), next);
    }
    QVERIFY2(found, "no clock seed within the file wipe gives its random pass");
}

// An allocation failure of the pass buffer: a 4 GiB container under an
// address-space limit, in a child so the limit stays there.
void TestTokenWipe::passBufferAllocationFails()
{
#ifdef KCC_UNDER_ASAN
    QSKIP("AddressSanitizer reserves more address space than any limit that would make this fail");
#else
    const ChildRun child = runInChild([&](QByteArray &out) {
        alarm(60);
        long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        // Room for the fake's and the session.s own allocations, not for 4 GiB.
        const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(256) << 20);
        struct rlimit rl = {limit, limit};
        QStringList report;
        if (pages == 0 || setrlimit(RLIMIT_AS, &rl) != 0) {
            report << QStringLiteral("no limit");
        } else {
            prepareMedium(0xFFFFFFFFu);
            report << QString::number(int(overwriteTokenContainer(passPlan(Gost), &kMedium, QStringLiteral("1234")).status));
            report << loggedNames().join(QLatin1Char(','));
            report << QString::number(FakeVelmux::liveContexts());
            report << QString::number(writes().size());
    
            prepareMedium(0xFFFFFFFFu);
            const SessionRun run = wipeInSession(Gost, QStringLiteral("1234"));
            report << QString::number(run.result);
            report << run.report.text;
            report << QString::number(int(run.report.severity));
            report << QString::number(FakeVelmux::liveContexts());
        }
        out = report.join(QLatin1Char('\n')).toUtf8();
        return 0;
    });
    QVERIFY2(child.exitCode == 0, "the child did not finish");
    const QByteArray received = child.output;

    const QStringList report = QString::fromUtf8(received).split(QLatin1Char('\n'));
    QCOMPARE(report.size(), 8);
    QCOMPARE(report[0], QString::number(int(TokenWipeStatus::Exception)));
    // Nothing written or deleted; the session closed and the context destroyed.
    QCOMPARE(report[1], QStringList({kCreate, kOpen, kLogin, kSize, kClose, kDestroy}).join(QLatin1Char(',')));
    QCOMPARE(report[2], QStringLiteral("0"));
    QCOMPARE(report[3], QStringLiteral("0"));
    QCOMPARE(report[4], QStringLiteral("0"));
    QCOMPARE(report[5], deviceFailed);
    QCOMPARE(report[6], QString::number(int(Severity::Critical)));
    QCOMPARE(report[7], QStringLiteral("0"));
#endif
}

QTEST_MAIN(TestTokenWipe)
#include "tst_tokenwipe.moc"
