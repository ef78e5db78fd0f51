#include "tokenstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

const char kSoPin[] = "87654321";

QString tool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

void restoreEnv(const char *name, bool had, const QByteArray &value)
{
    if (had)
        qputenv(name, value);
    else
        qunsetenv(name);
}

} // namespace

QString TokenStore::modulePath(Implementation implementation)
{
    if (implementation == Implementation::OpenCryptoki)
        return qEnvironmentVariable("KCC_OPENCRYPTOKI_MODULE");
    for (const char *path : {"/usr/lib/softhsm/libsofthsm2.so",
                             "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so",
                             "/usr/lib/aarch64-linux-gnu/softhsm/libsofthsm2.so",
                             "/usr/lib64/pkcs11/libsofthsm2.so",
                             "/usr/lib/pkcs11/libsofthsm2.so",
                             "/usr/local/lib/softhsm/libsofthsm2.so"}) {
        if (QFileInfo::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    }
    return QString();
}

const char *TokenStore::name(Implementation implementation)
{
    return implementation == Implementation::SoftHsm2 ? "SoftHSM2" : "openCryptoki";
}

QString TokenStore::model(Implementation implementation)
{
    return implementation == Implementation::SoftHsm2 ? QStringLiteral("SoftHSM v2") : QStringLiteral("IBM SoftTok");
}

QString TokenStore::unavailableReason(Implementation implementation)
{
    if (implementation == Implementation::OpenCryptoki) {
        if (tool(QStringLiteral("pkcs11-tool")).isEmpty())
            return QStringLiteral("pkcs11-tool not found (install opensc)");
        if (qEnvironmentVariableIsSet("KCC_OPENCRYPTOKI_UNAVAILABLE"))
            return QStringLiteral("openCryptoki: ") + qEnvironmentVariable("KCC_OPENCRYPTOKI_UNAVAILABLE");
        if (modulePath(implementation).isEmpty())
            return QStringLiteral("openCryptoki: not run beside scripts/with-opencryptoki.sh");
        return QString();
    }
    if (tool(QStringLiteral("softhsm2-util")).isEmpty())
        return QStringLiteral("softhsm2-util not found (install softhsm2)");
    if (tool(QStringLiteral("pkcs11-tool")).isEmpty())
        return QStringLiteral("pkcs11-tool not found (install opensc)");
    if (modulePath().isEmpty())
        return QStringLiteral("libsofthsm2.so not found (install softhsm2)");
    return QString();
}

QString TokenStore::containerApplication()
{
    return QStringLiteral("Kestrik key container");
}

TokenStore::TokenStore(Implementation implementation)
    : m_implementation(implementation), m_module(modulePath(implementation))
{
    m_hadConf = qEnvironmentVariableIsSet("SOFTHSM2_CONF");
    m_savedConf = qgetenv("SOFTHSM2_CONF");
    m_hadModule = qEnvironmentVariableIsSet("VELMUX_PKCS11_MODULE");
    m_savedModule = qgetenv("VELMUX_PKCS11_MODULE");
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("tokens"))) {
        m_error = QStringLiteral("cannot create a temporary directory");
        return;
    }
    if (implementation == Implementation::OpenCryptoki) {
        m_error = unavailableReason(implementation);
        m_valid = m_error.isEmpty();
        if (m_valid)
            qputenv("VELMUX_PKCS11_MODULE", QFile::encodeName(m_module));
        return;
    }
    const QString conf = m_dir.filePath(QStringLiteral("softhsm2.conf"));
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return;
    }
    file.write("directories.tokendir = " + QFile::encodeName(m_dir.filePath(QStringLiteral("tokens")))
               + "\nobjectstore.backend = file\nlog.level = ERROR\n");
    file.close();
    qputenv("SOFTHSM2_CONF", QFile::encodeName(conf));
    qputenv("VELMUX_PKCS11_MODULE", QFile::encodeName(m_module));
    m_valid = true;
}

TokenStore::~TokenStore()
{
    restoreEnv("SOFTHSM2_CONF", m_hadConf, m_savedConf);
    restoreEnv("VELMUX_PKCS11_MODULE", m_hadModule, m_savedModule);
}

bool TokenStore::run(const QString &program, const QStringList &args, QByteArray *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool(program), args);
    const bool finished = process.waitForFinished(60000);
    const QByteArray text = process.readAll();
    if (output)
        *output = text;
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    m_error = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ")
              + QString::fromLocal8Bit(text);
    return false;
}

QStringList TokenStore::tokenArgs(const QString &token) const
{
    return {QStringLiteral("--module"), m_module, QStringLiteral("--token-label"), token,
            QStringLiteral("--login"), QStringLiteral("--pin"), m_pins.value(token, defaultPin())};
}

// The one soft token. Made anew (C_InitToken) only when its label is to
// change or its user PIN is to be unset: openCryptoki keeps a token's
// description from the first C_Initialize in a process, so a test process
// that re-labels it would go on seeing the old one. Otherwise it is emptied:
// the SO sets the user PIN again (which also unlocks it) and every data
// object is removed.
bool TokenStore::initOpenCryptoki(const QString &label, const QString *pin)
{
    const QString slot = qEnvironmentVariable("KCC_OPENCRYPTOKI_SLOT", QStringLiteral("3"));
    const QStringList common{QStringLiteral("--module"), m_module, QStringLiteral("--slot"), slot};
    m_pins.clear();
    QByteArray listed;
    if (!run(QStringLiteral("pkcs11-tool"), common + QStringList{QStringLiteral("-T")}, &listed))
        return false;
    const bool sameLabel = showSlotsField(label, QStringLiteral("Slot")) == slot;
    const bool pinWasSet = listed.contains("PIN initialized");
    if ((!sameLabel || !pin || !pinWasSet)
        && !run(QStringLiteral("pkcs11-tool"),
                common + QStringList{QStringLiteral("--init-token"), QStringLiteral("--label"), label,
                                     QStringLiteral("--so-pin"), QString::fromLatin1(kSoPin)}))
        return false;
    if (!pin)
        return true;
    m_pins.insert(label, *pin);
    if (!unlockUserPin(label))
        return false;
    bool ok = true;
    for (const DataObject &object : dataObjects(label, &ok)) {
        QStringList args = tokenArgs(label);
        args << QStringLiteral("--delete-object") << QStringLiteral("--type") << QStringLiteral("data")
             << QStringLiteral("--label") << object.label;
        ok = ok && run(QStringLiteral("pkcs11-tool"), args);
    }
    return ok;
}

bool TokenStore::initToken(const QString &label, const QString &pin)
{
    if (m_implementation == Implementation::OpenCryptoki)
        return initOpenCryptoki(label, &pin);
    m_pins.insert(label, pin);
    return run(QStringLiteral("softhsm2-util"),
               {QStringLiteral("--init-token"), QStringLiteral("--free"), QStringLiteral("--label"), label,
                QStringLiteral("--so-pin"), QString::fromLatin1(kSoPin), QStringLiteral("--pin"), pin});
}

bool TokenStore::initTokenWithoutUserPin(const QString &label)
{
    if (m_implementation == Implementation::OpenCryptoki)
        return initOpenCryptoki(label, nullptr);
    // softhsm2-util insists on a user PIN; pkcs11-tool initialises the free slot without one.
    const QString freeSlot = showSlotsField(QString(), QStringLiteral("Slot"));
    return !freeSlot.isEmpty()
        && run(QStringLiteral("pkcs11-tool"),
               {QStringLiteral("--module"), m_module, QStringLiteral("--slot"), freeSlot,
                QStringLiteral("--init-token"), QStringLiteral("--label"), label, QStringLiteral("--so-pin"),
                QString::fromLatin1(kSoPin)});
}

bool TokenStore::deleteToken(const QString &label)
{
    if (!holdsSeveralTokens()) {
        m_error = QStringLiteral("%1's token cannot be removed").arg(QLatin1String(name(m_implementation)));
        return false;
    }
    return run(QStringLiteral("softhsm2-util"),
               {QStringLiteral("--delete-token"), QStringLiteral("--token"), label});
}

bool TokenStore::replaceToken(const QString &label)
{
    return deleteToken(label) && initToken(label, m_pins.value(label, defaultPin()));
}

// Reads one "Token info" field of the slot whose token carries label:
// softhsm2-util's names ("Serial number", "Slot") for either implementation.
QString TokenStore::showSlotsField(const QString &label, const QString &field)
{
    QByteArray output;
    if (m_implementation == Implementation::OpenCryptoki) {
        if (!run(QStringLiteral("pkcs11-tool"), {QStringLiteral("--module"), m_module, QStringLiteral("-L")}, &output))
            return QString();
        QString slot;
        QString labelSeen;
        for (const QString &raw : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
            const QString value = raw.mid(raw.indexOf(QLatin1Char(':')) + 1).trimmed();
            if (raw.startsWith(QLatin1String("Slot "))) // "Slot 0 (0x3): ..."
                slot = QString::number(raw.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0).toULongLong(nullptr, 16));
            else if (raw.trimmed().startsWith(QLatin1String("token label")))
                labelSeen = value;
            else if (raw.trimmed().startsWith(QLatin1String("serial num")) && labelSeen == label)
                return field == QLatin1String("Slot") ? slot : value;
        }
        return QString();
    }
    if (!run(QStringLiteral("softhsm2-util"), {QStringLiteral("--show-slots")}, &output))
        return QString();
    QString slot;
    QHash<QString, QString> fields;
    auto matches = [&] { return !slot.isEmpty() && fields.value(QStringLiteral("Label")) == label; };
    for (const QString &raw : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (raw.startsWith(QLatin1String("Slot "))) {
            if (matches())
                break;
            slot = line.mid(5);
            fields.clear();
        } else if (line.contains(QLatin1Char(':'))) {
            const int colon = line.indexOf(QLatin1Char(':'));
            fields.insert(line.left(colon), line.mid(colon + 1).trimmed());
        }
    }
    if (!matches())
        return QString();
    return field == QLatin1String("Slot") ? slot : fields.value(field);
}

QString TokenStore::serial(const QString &label)
{
    return showSlotsField(label, QStringLiteral("Serial number"));
}

quint64 TokenStore::slotId(const QString &label)
{
    return showSlotsField(label, QStringLiteral("Slot")).toULongLong();
}

bool TokenStore::writeObject(const QString &token, const QString &label, const QByteArray &value,
                               const QString &application, bool isPrivate)
{
    const QString path = m_dir.filePath(QStringLiteral("object%1.bin").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(value) != value.size()) {
        m_error = file.errorString();
        return false;
    }
    file.close();
    QStringList args = tokenArgs(token);
    args << QStringLiteral("--write-object") << path << QStringLiteral("--type") << QStringLiteral("data")
         << QStringLiteral("--application-label") << application << QStringLiteral("--label") << label;
    if (isPrivate)
        args << QStringLiteral("--private");
    return run(QStringLiteral("pkcs11-tool"), args);
}

bool TokenStore::writeContainer(const QString &token, const QByteArray &value, bool isPrivate,
                                  const QString &label)
{
    return writeObject(token, label, value, containerApplication(), isPrivate);
}

bool TokenStore::lockUserPin(const QString &token)
{
    for (int tries = 0; tries < 20; ++tries) {
        QByteArray output;
        run(QStringLiteral("pkcs11-tool"),
            {QStringLiteral("--module"), m_module, QStringLiteral("--token-label"), token, QStringLiteral("--login"),
             QStringLiteral("--pin"), QStringLiteral("00000000"), QStringLiteral("--list-objects")},
            &output);
        if (output.contains("CKR_PIN_LOCKED"))
            return true;
    }
    m_error = QStringLiteral("the user PIN of %1 did not lock").arg(token);
    return false;
}

bool TokenStore::unlockUserPin(const QString &token)
{
    return run(QStringLiteral("pkcs11-tool"),
               {QStringLiteral("--module"), m_module, QStringLiteral("--token-label"), token,
                QStringLiteral("--init-pin"), QStringLiteral("--login"), QStringLiteral("--login-type"),
                QStringLiteral("so"), QStringLiteral("--so-pin"), QString::fromLatin1(kSoPin),
                QStringLiteral("--new-pin"), m_pins.value(token, defaultPin())});
}

QByteArray TokenStore::readObject(const QString &token, const QString &label, bool *ok)
{
    const QString path = m_dir.filePath(QStringLiteral("read%1.bin").arg(++m_files));
    QStringList args = tokenArgs(token);
    args << QStringLiteral("--read-object") << QStringLiteral("--type") << QStringLiteral("data")
         << QStringLiteral("--label") << label << QStringLiteral("--output-file") << path;
    QFile file(path);
    const bool read = run(QStringLiteral("pkcs11-tool"), args) && file.open(QIODevice::ReadOnly);
    if (ok)
        *ok = read;
    return read ? file.readAll() : QByteArray();
}

QList<TokenStore::DataObject> TokenStore::dataObjects(const QString &token, bool *ok)
{
    QByteArray output;
    QStringList args = tokenArgs(token);
    args << QStringLiteral("--list-objects") << QStringLiteral("--type") << QStringLiteral("data");
    const bool listed = run(QStringLiteral("pkcs11-tool"), args, &output);
    if (ok)
        *ok = listed;
    QList<DataObject> objects;
    auto quoted = [](const QString &line) {
        const int first = line.indexOf(QLatin1Char('\''));
        if (first < 0)
            return QString(); // "<empty>"
        return line.mid(first + 1, line.lastIndexOf(QLatin1Char('\'')) - first - 1);
    };
    for (const QString &raw : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (raw.startsWith(QLatin1String("Data object")))
            objects.append(DataObject());
        else if (objects.isEmpty())
            continue;
        else if (line.startsWith(QLatin1String("label:")))
            objects.last().label = quoted(line);
        else if (line.startsWith(QLatin1String("application:")))
            objects.last().application = quoted(line);
        else if (line.startsWith(QLatin1String("flags:")))
            objects.last().isPrivate = line.split(QLatin1Char(' ')).contains(QLatin1String("private"));
    }
    return objects;
}
