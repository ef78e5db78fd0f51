// velmux against real tokens: a SoftHSM2 store in a temporary directory and,
// beside scripts/with-opencryptoki.sh, openCryptoki's soft token. Every
// function runs once per implementation.
#include "faultmodule.h"
#include "tokenstore.h"
#include "velmux.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <cstring>
#include <functional>
#include <memory>

namespace {

// Both report their slots with CKF_TOKEN_PRESENT only (neither CKF_HW_SLOT
// nor CKF_REMOVABLE_DEVICE) and no PIN pad: a software token, code 6.
constexpr uint32_t kSoftHsmType = 6;
using Implementation = TokenStore::Implementation;
const QString kAlpha = QStringLiteral("Alpha");
const QString kGamma = QStringLiteral("Gamma");
const QString kContainer = QStringLiteral("container");
// SoftHSM2 refuses to change a data object's value: every write leaves a
// labelled copy. openCryptoki changes it in place.
const QString kCopy = QStringLiteral(VELMUX_COPY_LABEL);

struct Ctx {
    explicit Ctx(uint32_t type = kSoftHsmType) : status(velmux_create_ctx(&handle, type)) {}
    ~Ctx()
    {
        if (status == VELMUX_OK)
            velmux_destroy_ctx(handle);
    }
    velmux_ctx handle = 0;
    const velmux_status status;
};

QVector<MediaRecord> mediaList(velmux_ctx ctx, uint32_t capacity = VELMUX_MEDIA_LIST_CAPACITY)
{
    QVector<MediaRecord> records(int(capacity) + 1);
    uint32_t count = capacity;
    if (velmux_get_media_list(ctx, records.data(), &count) != VELMUX_OK)
        return {};
    records.resize(int(count));
    return records;
}

MediaInfo infoOf(velmux_ctx ctx, const MediaRecord &record)
{
    MediaInfo info;
    std::memset(&info, 0xAA, sizeof info);
    info.size = sizeof info;
    if (velmux_get_media_info(ctx, &record, &info) != VELMUX_OK)
        info.name[0] = '\0';
    return info;
}

MediaRecord recordOf(velmux_ctx ctx, const QString &label)
{
    for (const MediaRecord &record : mediaList(ctx)) {
        if (QString::fromUtf8(infoOf(ctx, record).name) == label)
            return record;
    }
    return MediaRecord{};
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

class TstVelmux : public QObject
{
    Q_OBJECT

    std::unique_ptr<TokenStore> token;

    // Opens a session on Alpha, logged in unless told otherwise.
    velmux_status open(const Ctx &ctx, bool login = true)
    {
        const MediaRecord record = recordOf(ctx.handle, kAlpha);
        velmux_status status = velmux_open_session(ctx.handle, &record, 0);
        if (status == VELMUX_OK && login)
            status = velmux_login(ctx.handle, TokenStore::defaultPin().toUtf8().constData());
        return status;
    }

    int containersOnAlpha()
    {
        int n = 0;
        for (const auto &object : token->dataObjects(kAlpha))
            n += object.application == TokenStore::containerApplication();
        return n;
    }

    // Until the guard goes, the token is reached through the pass-through
    // module, which answers every call named with rv.
    // With afterDeletion, only calls made after the container's deletion.
    static auto throughFaultModule(const char *call, const QByteArray &rv, bool afterDeletion = false)
    {
        const QByteArray module = qgetenv("VELMUX_PKCS11_MODULE");
        qputenv("KCC_FAULT_TARGET", module);
        qputenv("KCC_FAULT_CALL", call);
        qputenv("KCC_FAULT_AT", "0");
        qputenv("KCC_FAULT_RV", rv);
        if (afterDeletion)
            qputenv("KCC_FAULT_AFTER", "deletion");
        qputenv("VELMUX_PKCS11_MODULE", KCC_FAULT_MODULE);
        resetFaultModule(KCC_FAULT_MODULE);
        return qScopeGuard(std::function<void()>([module] {
            qputenv("VELMUX_PKCS11_MODULE", module);
            qunsetenv("KCC_FAULT_CALL");
            qunsetenv("KCC_FAULT_AFTER");
        }));
    }
    bool inPlace() const { return token->implementation() == Implementation::OpenCryptoki; }
    // Where the last write left the container's value.
    QString writtenLabel() const { return inPlace() ? kContainer : kCopy; }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<Implementation>("implementation");
        for (Implementation implementation : TokenStore::implementations())
            QTest::newRow(TokenStore::name(implementation)) << implementation;
    }

    void init()
    {
        QFETCH_GLOBAL(Implementation, implementation);
        const QString reason = TokenStore::unavailableReason(implementation);
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        token = std::make_unique<TokenStore>(implementation);
        QVERIFY2(token->isValid() && token->initToken(kAlpha), qPrintable(token->errorString()));
    }

    void cleanup() { token.reset(); }

    void createContext_data()
    {
        QTest::addColumn<uint32_t>("type");
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<uint32_t>("expected");
        QTest::addColumn<QByteArray>("moduleError"); // velmux_get_module_error after the call
        const QByteArray missing = "/nonexistent/libnone.so";
        QTest::newRow("unused code") << 2u << QByteArray() << VELMUX_OK << QByteArray();
        QTest::newRow("module missing") << 6u << missing << VELMUX_E_MODULE
                                        << missing + ": cannot open shared object file: No such file or directory";
        // Each call says only of itself: the failure above is not told again.
        QTest::newRow("zero") << 0u << QByteArray() << VELMUX_E_MEDIA_TYPE << QByteArray();
        QTest::newRow("module missing, then the token's alone") << 6u << QByteArray() << VELMUX_OK << QByteArray();
        QTest::newRow("not a module") << 6u << QByteArray("/etc/passwd") << VELMUX_E_MODULE
                                      << QByteArray("/etc/passwd: invalid ELF header");
        QTest::newRow("eight") << 8u << QByteArray() << VELMUX_E_MEDIA_TYPE << QByteArray();
    }
    void createContext()
    {
        QFETCH(uint32_t, type);
        QFETCH(QByteArray, module);
        QFETCH(uint32_t, expected);
        QFETCH(QByteArray, moduleError);
        if (!module.isEmpty())
            qputenv("VELMUX_PKCS11_MODULE", module);
        velmux_ctx handle = 0;
        QCOMPARE(velmux_create_ctx(&handle, type), expected);
        char text[256] = {'x'};
        QCOMPARE(velmux_get_module_error(text, sizeof text), VELMUX_OK);
        QCOMPARE(QByteArray(text), moduleError);
        if (expected == VELMUX_OK) {
            QVERIFY(handle != 0);
            QCOMPARE(velmux_destroy_ctx(handle), VELMUX_OK);
        }
        QCOMPARE(velmux_destroy_ctx(handle), VELMUX_E_INVALID_CONTEXT);
    }

    void listing_data()
    {
        QTest::addColumn<uint32_t>("type");
        for (uint32_t type = 1; type <= 7; ++type)
            QTest::addRow("code %u", type) << type;
    }
    void listing()
    {
        QFETCH(uint32_t, type);
        Ctx ctx(type);
        QCOMPARE(ctx.status, VELMUX_OK);
        // SoftHSM2 keeps an uninitialised slot free next to Alpha; it must not show.
        const QVector<MediaRecord> records = mediaList(ctx.handle);
        QCOMPARE(records.size(), type == kSoftHsmType ? 1 : 0);
        if (!records.isEmpty()) {
            QCOMPARE(records[0].mediaType, type);
            QCOMPARE(records[0].slotId, uint32_t(token->slotId(kAlpha)));
        }
    }

    // VELMUX_PKCS11_MODULE names several modules, each of which must load.
    void severalModules()
    {
        const QString reason = TokenStore::unavailableReason(Implementation::OpenCryptoki);
        if (inPlace() || !reason.isEmpty())
            QSKIP(inPlace() ? "once, from SoftHSM2's row" : qPrintable(reason));
        const QByteArray own = qgetenv("VELMUX_PKCS11_MODULE");
        TokenStore second(Implementation::OpenCryptoki);
        QVERIFY2(second.initToken(kAlpha), qPrintable(second.errorString()));
        qputenv("VELMUX_PKCS11_MODULE", own + ':' + QFile::encodeName(second.modulePath(Implementation::OpenCryptoki)));
        {
            Ctx ctx;
            QCOMPARE(ctx.status, VELMUX_OK);
            QStringList models;
            for (const MediaRecord &record : mediaList(ctx.handle))
                models << QString::fromLatin1(infoOf(ctx.handle, record).detail);
            models.sort();
            QCOMPARE(models, QStringList({TokenStore::model(Implementation::OpenCryptoki),
                                          TokenStore::model(Implementation::SoftHsm2)}));
        }
        qputenv("VELMUX_PKCS11_MODULE", own + ":/nonexistent/libnone.so");
        QCOMPARE(Ctx().status, VELMUX_E_MODULE);
        char text[256] = {};
        QCOMPARE(velmux_get_module_error(text, sizeof text), VELMUX_OK);
        QVERIFY2(QByteArray(text).startsWith("/nonexistent/libnone.so: "), text);
    }

    void mediaInfo_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("short") << QStringLiteral("Beta");
        QTest::newRow("all 32 bytes") << QStringLiteral("A label of exactly 32 bytes long");
        QTest::newRow("UTF-8") << QStringLiteral("Zähler ✓ Schlüssel");
    }
    void mediaInfo()
    {
        QFETCH(QString, label);
        QVERIFY2(token->initToken(label), qPrintable(token->errorString()));
        Ctx ctx;
        const MediaRecord record = recordOf(ctx.handle, label);
        MediaInfo info = infoOf(ctx.handle, record);
        QCOMPARE(QString::fromUtf8(info.name), label);
        QCOMPARE(QString::fromLatin1(info.detail), TokenStore::model(token->implementation()));
        QCOMPARE(QString::fromLatin1(info.serialNumber), token->serial(label));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(info.reserved), 8), QByteArray(8, '\0'));
        QVERIFY(std::memchr(info.detail, 0, sizeof info.detail) && std::memchr(info.serialNumber, 0, 33));
        // Any size word but 128 is refused and nothing is filled.
        info.size = sizeof info - 1;
        info.name[0] = '\0';
        QCOMPARE(velmux_get_media_info(ctx.handle, &record, &info), VELMUX_E_INVALID_ARGUMENT);
        QCOMPARE(info.name[0], '\0');
    }

    void capacity_data()
    {
        QTest::addColumn<uint32_t>("capacity");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0u << 0;
        QTest::newRow("fewer than tokens") << 1u << 1;
        QTest::newRow("more than tokens") << 5u << 2;
    }
    void capacity()
    {
        QFETCH(uint32_t, capacity);
        QFETCH(int, expected);
        if (!token->holdsSeveralTokens())
            QSKIP("one token only");
        QVERIFY2(token->initToken(kGamma), qPrintable(token->errorString()));
        Ctx ctx;
        QVector<MediaRecord> records(int(capacity) + 1);
        records.last().slotId = 0xDEADBEEF;
        uint32_t count = capacity;
        QCOMPARE(velmux_get_media_list(ctx.handle, records.data(), &count), VELMUX_OK);
        QCOMPARE(int(count), expected);
        QCOMPARE(records.last().slotId, 0xDEADBEEFu);
    }

    // The container is private: it is seen exactly while logged in.
    void login_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::addColumn<uint32_t>("expected");
        QTest::newRow("right") << TokenStore::defaultPin() << VELMUX_OK;
        QTest::newRow("wrong") << QStringLiteral("654321") << VELMUX_E_PIN_INCORRECT;
        QTest::newRow("empty") << QString() << VELMUX_E_PIN_INCORRECT;
        QTest::newRow("user PIN never set") << TokenStore::defaultPin() << VELMUX_E_PIN_NOT_INITIALIZED;
        QTest::newRow("locked by wrong ones, then the right one") << TokenStore::defaultPin() << VELMUX_E_PIN_LOCKED;
    }
    void login()
    {
        QFETCH(QString, pin);
        QFETCH(uint32_t, expected);
        if (expected == VELMUX_E_PIN_NOT_INITIALIZED) {
            // The old store goes first: it puts back the environment it found.
            const Implementation implementation = token->implementation();
            token.reset();
            token = std::make_unique<TokenStore>(implementation);
            QVERIFY2(token->initTokenWithoutUserPin(kAlpha), qPrintable(token->errorString()));
        } else {
            QVERIFY(token->writeContainer(kAlpha, randomBytes(100), true));
        }
        if (expected == VELMUX_E_PIN_LOCKED) {
            if (!inPlace())
                QSKIP("SoftHSM2 never locks a PIN");
            Ctx ctx;
            QCOMPARE(open(ctx, false), VELMUX_OK);
            velmux_status status = VELMUX_E_PIN_INCORRECT;
            for (int tries = 0; tries < 20 && status == VELMUX_E_PIN_INCORRECT; ++tries)
                status = velmux_login(ctx.handle, "654321");
            QCOMPARE(status, VELMUX_E_PIN_LOCKED);
        }
        Ctx ctx;
        QCOMPARE(open(ctx, false), VELMUX_OK);
        uint32_t size = 0;
        QCOMPARE(velmux_get_container_size(ctx.handle, &size), VELMUX_E_CONTAINER_NOT_FOUND);
        QCOMPARE(velmux_login(ctx.handle, pin.toUtf8().constData()), expected);
        const bool in = expected == VELMUX_OK;
        QCOMPARE(velmux_get_container_size(ctx.handle, &size), in ? VELMUX_OK : VELMUX_E_CONTAINER_NOT_FOUND);
        QCOMPARE(size, in ? 100u : 0u);
        // Closing our only session logs out again.
        QCOMPARE(velmux_close_session(ctx.handle), VELMUX_OK);
        QCOMPARE(open(ctx, false), VELMUX_OK);
        QCOMPARE(velmux_get_container_size(ctx.handle, &size), VELMUX_E_CONTAINER_NOT_FOUND);
    }

    void write_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("isPrivate");
        QTest::newRow("public, 1 byte") << 1 << false;
        QTest::newRow("public, 2 KiB") << 2048 << false;
        QTest::newRow("private, 100 bytes") << 100 << true;
    }
    void write()
    {
        QFETCH(int, size);
        QFETCH(bool, isPrivate);
        const QByteArray other = randomBytes(64);
        QVERIFY(token->writeObject(kAlpha, QStringLiteral("other"), other, QStringLiteral("Else")));
        QVERIFY(token->writeContainer(kAlpha, randomBytes(size), isPrivate));
        Ctx ctx;
        QCOMPARE(open(ctx), VELMUX_OK);
        uint32_t found = 0;
        QCOMPARE(velmux_get_container_size(ctx.handle, &found), VELMUX_OK);
        QCOMPARE(int(found), size);
        // Twice: the second write must find what the first one left.
        uint32_t methods = 0xFF;
        QCOMPARE(velmux_get_write_method(ctx.handle, &methods), VELMUX_OK);
        QCOMPARE(methods, 0u);
        for (int round = 0; round < 2; ++round) {
            const QByteArray content = randomBytes(size);
            QCOMPARE(velmux_write_container(ctx.handle, 1, content.constData(), found), VELMUX_OK);
            QCOMPARE(token->readObject(kAlpha, writtenLabel()), content);
        }
        QCOMPARE(velmux_get_write_method(ctx.handle, &methods), VELMUX_OK);
        QCOMPARE(methods, inPlace() ? VELMUX_WRITTEN_IN_PLACE : VELMUX_WRITTEN_BY_REPLACEMENT);
        QCOMPARE(token->readObject(kAlpha, QStringLiteral("other")), other);
        const auto objects = token->dataObjects(kAlpha);
        QCOMPARE(objects.size(), 2);
        for (const auto &object : objects)
            QCOMPARE(object.isPrivate, isPrivate && object.label == writtenLabel());
        QCOMPARE(containersOnAlpha(), 1);
    }

    void writeRefused_data()
    {
        QTest::addColumn<uint32_t>("mode");
        QTest::addColumn<int>("lengthDelta");
        QTest::addColumn<bool>("nullBuffer");
        QTest::addColumn<uint32_t>("expected");
        QTest::addColumn<bool>("pretend"); // the token answers OK to C_SetAttributeValue and does nothing
        QTest::newRow("one byte short") << 1u << -1 << false << VELMUX_E_LENGTH << false;
        QTest::newRow("one byte long") << 1u << 1 << false << VELMUX_E_LENGTH << false;
        QTest::newRow("mode 0") << 0u << 0 << false << VELMUX_E_INVALID_ARGUMENT << false;
        QTest::newRow("mode 2") << 2u << 0 << false << VELMUX_E_INVALID_ARGUMENT << false;
        QTest::newRow("null buffer") << 1u << 0 << true << VELMUX_E_INVALID_ARGUMENT << false;
        QTest::newRow("the token says it wrote and kept the old bytes") << 1u << 0 << false << VELMUX_E_NOT_WRITTEN
                                                                         << true;
    }
    void writeRefused()
    {
        QFETCH(uint32_t, mode);
        QFETCH(int, lengthDelta);
        QFETCH(bool, nullBuffer);
        QFETCH(uint32_t, expected);
        QFETCH(bool, pretend);
        const QByteArray original = randomBytes(32), content = randomBytes(64);
        QVERIFY(token->writeContainer(kAlpha, original));
        const auto restore = pretend ? throughFaultModule("C_SetAttributeValue", "ignore") : qScopeGuard(std::function<void()>([] {}));
        Ctx ctx;
        QCOMPARE(open(ctx), VELMUX_OK);
        QCOMPARE(velmux_write_container(ctx.handle, mode, nullBuffer ? nullptr : content.constData(),
                                        uint32_t(original.size() + lengthDelta)),
                 expected);
        QCOMPARE(token->readObject(kAlpha, kContainer), original);
        QCOMPARE(containersOnAlpha(), 1);
    }

    // Through a pass-through module that makes one call of the token do what
    // a row says: a deletion counts only once the container is proven gone,
    // and what is found says whose bytes it holds.
    void deleteContainer_data()
    {
        QTest::addColumn<QByteArray>("call"); // empty: the token itself
        QTest::addColumn<QByteArray>("rv");   // KCC_FAULT_RV
        QTest::addColumn<uint32_t>("status");
        QTest::addColumn<QString>("remnant"); // the label of what the proof found
        QTest::addColumn<uint32_t>("answer"); // the token's answer behind the failure
        const QByteArray destroy = "C_DestroyObject";
        QTest::newRow("deleted") << QByteArray() << QByteArray() << VELMUX_OK << QString() << 0u;
        QTest::newRow("the token says OK and does nothing") << destroy << QByteArray("ignore") << VELMUX_E_NOT_DELETED
                                                            << kContainer << 0u;
        QTest::newRow("the token refuses (CKR_DEVICE_ERROR)") << destroy << QByteArray("30") << VELMUX_E_TOKEN
                                                              << QString() << 0x30u;
        QTest::newRow("the token keeps a copy under another label") << destroy << QByteArray("copy-label")
                                                                    << VELMUX_E_NOT_DELETED
                                                                    << QStringLiteral("Kestrik kept copy") << 0u;
        QTest::newRow("the module answers from a view cached in the process") << destroy << QByteArray("cached")
                                                                              << VELMUX_E_NOT_DELETED << kContainer << 0u;
        QTest::newRow("the proof's session is refused (CKR_SESSION_COUNT)")
            << QByteArray("C_OpenSession") << QByteArray("b1") << VELMUX_E_DELETION_UNPROVEN << QString() << 0xb1u;
        QTest::newRow("the proof's search fails (CKR_DEVICE_ERROR)")
            << QByteArray("C_FindObjectsInit") << QByteArray("30") << VELMUX_E_DELETION_UNPROVEN << QString() << 0x30u;
    }

    void deleteContainer()
    {
        QFETCH(QByteArray, call);
        QFETCH(QByteArray, rv);
        QFETCH(uint32_t, status);
        QFETCH(QString, remnant);
        QFETCH(uint32_t, answer);
        if (inPlace() && rv == "cached")
            QSKIP("openCryptoki is never started afresh in a process (it crashes on a second initialisation): "
                  "a view cached in the process goes unseen there");
        const QByteArray value = randomBytes(32);
        QVERIFY(token->writeObject(kAlpha, QStringLiteral("other"), randomBytes(8), QStringLiteral("Else")));
        QVERIFY(token->writeContainer(kAlpha, value, true));
        const auto restore = call.isEmpty() ? qScopeGuard(std::function<void()>([] {}))
                                            : throughFaultModule(call.constData(), rv, call != "C_DestroyObject");
        Ctx ctx;
        QCOMPARE(open(ctx), VELMUX_OK);
        QCOMPARE(velmux_delete_container(ctx.handle), status);
        uint32_t tokenAnswer = 0xFF;
        QCOMPARE(velmux_get_last_error(&tokenAnswer, nullptr, 0), VELMUX_OK);
        QCOMPARE(tokenAnswer, answer);
        VelmuxRemnant found{};
        found.size = sizeof found;
        QCOMPARE(velmux_get_remnant(ctx.handle, &found), VELMUX_OK);
        QCOMPARE(QString::fromUtf8(found.label), remnant);
        // Nothing was written: whatever holds the value holds the key's own bytes.
        QCOMPARE(found.bytes, remnant.isEmpty() ? VELMUX_REMNANT_NONE : VELMUX_REMNANT_ORIGINAL);
        const bool kept = status == VELMUX_E_NOT_DELETED || status == VELMUX_E_TOKEN;
        QCOMPARE(containersOnAlpha(), kept ? 1 : 0);
        if (kept)
            QCOMPARE(token->readObject(kAlpha, remnant.isEmpty() ? kContainer : remnant), value);
        const auto objects = token->dataObjects(kAlpha);
        QVERIFY(std::any_of(objects.begin(), objects.end(), [](const auto &o) { return o.label == QLatin1String("other"); }));
        if (status == VELMUX_OK)
            QCOMPARE(velmux_delete_container(ctx.handle), VELMUX_E_CONTAINER_NOT_FOUND);
        char label[65] = {};
        QCOMPARE(velmux_get_container_label(ctx.handle, label, sizeof label), VELMUX_OK);
        QCOMPARE(QString::fromUtf8(label), kContainer);
    }

    // Several objects carry the container's application. Written copies
    // (left by an interrupted write) never make it ambiguous; two originals do,
    // and then nothing is touched.
    void containers_data()
    {
        QTest::addColumn<int>("originals");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("operation");
        QTest::addColumn<uint32_t>("expected");
        QTest::addColumn<uint32_t>("count");
        for (int operation = 0; operation < 3; ++operation) {
            const char *name[] = {"size", "write", "delete"};
            QTest::addRow("two, %s", name[operation]) << 2 << 0 << operation << VELMUX_E_CONTAINER_AMBIGUOUS << 2u;
            QTest::addRow("none, %s", name[operation]) << 0 << 0 << operation << VELMUX_E_CONTAINER_NOT_FOUND
                                                    << 0u;
            QTest::addRow("one and a written copy, %s", name[operation]) << 1 << 1 << operation << VELMUX_OK << 1u;
        }
        QTest::newRow("three, size") << 3 << 0 << 0 << VELMUX_E_CONTAINER_AMBIGUOUS << 3u;
        QTest::newRow("two written copies, delete") << 0 << 2 << 2 << VELMUX_OK << 1u;
    }
    void containers()
    {
        QFETCH(int, originals);
        QFETCH(int, copies);
        QFETCH(int, operation);
        QFETCH(uint32_t, expected);
        QFETCH(uint32_t, count);
        QHash<QString, QByteArray> before;
        for (int i = 0; i < originals; ++i) {
            const QString label = QStringLiteral("original %1").arg(i);
            before.insert(label, randomBytes(16));
            QVERIFY(token->writeContainer(kAlpha, before[label], i % 2, label));
        }
        for (int i = 0; i < copies; ++i)
            QVERIFY(token->writeContainer(kAlpha, randomBytes(16), true, kCopy));
        Ctx ctx;
        QCOMPARE(open(ctx), VELMUX_OK);
        uint32_t counted = 0xFF;
        QCOMPARE(velmux_count_containers(ctx.handle, &counted), VELMUX_OK);
        QCOMPARE(counted, count);
        const QByteArray content = randomBytes(16);
        uint32_t size = 0;
        const velmux_status status = operation == 0 ? velmux_get_container_size(ctx.handle, &size)
            : operation == 1 ? velmux_write_container(ctx.handle, 1, content.constData(), 16)
                             : velmux_delete_container(ctx.handle);
        QCOMPARE(status, expected);
        QStringList labels;
        for (const auto &object : token->dataObjects(kAlpha))
            labels << object.label;
        labels.sort();
        if (expected != VELMUX_OK) {
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                QCOMPARE(token->readObject(kAlpha, it.key()), it.value());
            QCOMPARE(labels.size(), originals + copies);
        } else if (operation == 2) {
            QCOMPARE(labels, QStringList());
        } else if (operation == 1) {
            // The original was written; the earlier copy waits for the deletion.
            QCOMPARE(labels, inPlace() ? QStringList({kCopy, QStringLiteral("original 0")}) : QStringList({kCopy, kCopy}));
        } else {
            QCOMPARE(size, 16u);
        }
    }

    // Same label, new serial: the old record must be refused.
    void replacedToken_data()
    {
        QTest::addColumn<bool>("sameContext");
        QTest::newRow("context kept open") << true;
        QTest::newRow("new context") << false;
    }
    void replacedToken()
    {
        QFETCH(bool, sameContext);
        if (!token->holdsSeveralTokens())
            QSKIP("one token only");
        auto ctx = std::make_unique<Ctx>();
        const MediaRecord old = recordOf(ctx->handle, kAlpha);
        if (!sameContext)
            ctx.reset();
        const QString oldSerial = token->serial(kAlpha);
        QVERIFY2(token->replaceToken(kAlpha), qPrintable(token->errorString()));
        QVERIFY(token->serial(kAlpha) != oldSerial);
        if (!ctx)
            ctx = std::make_unique<Ctx>();
        MediaInfo info{};
        info.size = sizeof info;
        QCOMPARE(velmux_get_media_info(ctx->handle, &old, &info), VELMUX_E_MEDIA_NOT_FOUND);
        QCOMPARE(velmux_open_session(ctx->handle, &old, 0), VELMUX_E_MEDIA_NOT_FOUND);
        uint32_t size = 0;
        QCOMPARE(velmux_get_container_size(ctx->handle, &size), VELMUX_E_NO_SESSION);
        QCOMPARE(velmux_close_session(ctx->handle), VELMUX_E_NO_SESSION);
        // A running SoftHSM2 does not see tokens another process initialised.
        if (!sameContext) {
            MediaRecord fresh = recordOf(ctx->handle, kAlpha);
            fresh.opaque[0] ^= 0xFF;
            QCOMPARE(velmux_open_session(ctx->handle, &fresh, 0), VELMUX_E_RECORD);
            fresh.opaque[0] ^= 0xFF;
            QCOMPARE(velmux_open_session(ctx->handle, &fresh, 0), VELMUX_OK);
            QCOMPARE(velmux_open_session(ctx->handle, &fresh, 0), VELMUX_E_SESSION_OPEN);
        }
        QCOMPARE(velmux_destroy_ctx(ctx->handle), VELMUX_OK);
        QCOMPARE(velmux_destroy_ctx(ctx->handle), VELMUX_E_INVALID_CONTEXT);
    }

    // A record whose slot now holds another token must still reach its own.
    void recordedSlotHoldsAnotherToken()
    {
        if (!token->holdsSeveralTokens())
            QSKIP("one token only");
        QVERIFY2(token->initToken(kGamma), qPrintable(token->errorString()));
        const QByteArray gamma = randomBytes(16), content = randomBytes(16);
        QVERIFY(token->writeContainer(kAlpha, randomBytes(16)));
        QVERIFY(token->writeContainer(kGamma, gamma));
        Ctx ctx;
        MediaRecord record = recordOf(ctx.handle, kAlpha);
        // The record keeps the full slot id among its own bytes; point it at Gamma's.
        const quint64 from = token->slotId(kAlpha), to = token->slotId(kGamma);
        char *opaque = reinterpret_cast<char *>(record.opaque);
        const int at = QByteArray::fromRawData(opaque, sizeof record.opaque)
                           .indexOf(QByteArray(reinterpret_cast<const char *>(&from), sizeof from));
        QVERIFY(at >= 0);
        std::memcpy(opaque + at, &to, sizeof to);
        record.slotId = uint32_t(to);
        QCOMPARE(velmux_open_session(ctx.handle, &record, 0), VELMUX_OK);
        QCOMPARE(velmux_write_container(ctx.handle, 1, content.constData(), 16), VELMUX_OK);
        QCOMPARE(token->readObject(kAlpha, kCopy), content);
        QCOMPARE(token->readObject(kGamma, kContainer), gamma);
    }

    void unknownContext_data()
    {
        QTest::addColumn<bool>("issued");
        QTest::newRow("zero") << false;
        QTest::newRow("destroyed") << true;
    }
    void unknownContext()
    {
        QFETCH(bool, issued);
        velmux_ctx handle = 0;
        if (issued) {
            QCOMPARE(velmux_create_ctx(&handle, kSoftHsmType), VELMUX_OK);
            QCOMPARE(velmux_destroy_ctx(handle), VELMUX_OK);
        }
        MediaRecord record{};
        MediaInfo info{};
        info.size = sizeof info;
        uint32_t count = 1;
        QCOMPARE(velmux_get_media_list(handle, &record, &count), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_get_media_info(handle, &record, &info), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_open_session(handle, &record, 0), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_close_session(handle), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_login(handle, "123456"), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_get_container_size(handle, &count), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_write_container(handle, 1, &record, 1), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_delete_container(handle), VELMUX_E_INVALID_CONTEXT);
        QCOMPARE(velmux_destroy_ctx(handle), VELMUX_E_INVALID_CONTEXT);
    }
};

QTEST_GUILESS_MAIN(TstVelmux)
#include "tst_velmux.moc"
