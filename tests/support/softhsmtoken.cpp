#include "softhsmtoken.h"

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

QString SoftHsmToken::modulePath()
{
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

QString SoftHsmToken::unavailableReason()
{
    if (tool(QStringLiteral("softhsm2-util")).isEmpty())
        return QStringLiteral("softhsm2-util not found (install softhsm2)");
    if (tool(QStringLiteral("pkcs11-tool")).isEmpty())
        return QStringLiteral("pkcs11-tool not found (install opensc)");
    if (modulePath().isEmpty())
        return QStringLiteral("libsofthsm2.so not found (install softhsm2)");
    return QString();
}

QString SoftHsmToken::containerApplication()
{
    return QStringLiteral("Kestrik key container");
}

SoftHsmToken::SoftHsmToken()
{
    m_hadConf = qEnvironmentVariableIsSet("SOFTHSM2_CONF");
    m_savedConf = qgetenv("SOFTHSM2_CONF");
    m_hadModule = qEnvironmentVariableIsSet("VELMUX_PKCS11_MODULE");
    m_savedModule = qgetenv("VELMUX_PKCS11_MODULE");
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("tokens"))) {
        m_error = QStringLiteral("cannot create a temporary directory");
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
    qputenv("VELMUX_PKCS11_MODULE", QFile::encodeName(modulePath()));
    m_valid = true;
}

SoftHsmToken::~SoftHsmToken()
{
    restoreEnv("SOFTHSM2_CONF", m_hadConf, m_savedConf);
    restoreEnv("VELMUX_PKCS11_MODULE", m_hadModule, m_savedModule);
}

bool SoftHsmToken::run(const QString &program, const QStringList &args, QByteArray *output)
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

QStringList SoftHsmToken::tokenArgs(const QString &token) const
{
    return {QStringLiteral("--module"), modulePath(), QStringLiteral("--token-label"), token,
            QStringLiteral("--login"), QStringLiteral("--pin"), m_pins.value(token, defaultPin())};
}

bool SoftHsmToken::initToken(const QString &label, const QString &pin)
{
    m_pins.insert(label, pin);
    return run(QStringLiteral("softhsm2-util"),
               {QStringLiteral("--init-token"), QStringLiteral("--free"), QStringLiteral("--label"), label,
                QStringLiteral("--so-pin"), QString::fromLatin1(kSoPin), QStringLiteral("--pin"), pin});
}

bool SoftHsmToken::initTokenWithoutUserPin(const QString &label)
{
    // softhsm2-util insists on a user PIN; pkcs11-tool initialises the free slot without one.
    const QString freeSlot = showSlotsField(QString(), QStringLiteral("Slot"));
    return !freeSlot.isEmpty()
        && run(QStringLiteral("pkcs11-tool"),
               {QStringLiteral("--module"), modulePath(), QStringLiteral("--slot"), freeSlot,
                QStringLiteral("--init-token"), QStringLiteral("--label"), label, QStringLiteral("--so-pin"),
                QString::fromLatin1(kSoPin)});
}

bool SoftHsmToken::deleteToken(const QString &label)
{
    return run(QStringLiteral("softhsm2-util"),
               {QStringLiteral("--delete-token"), QStringLiteral("--token"), label});
}

bool SoftHsmToken::replaceToken(const QString &label)
{
    return deleteToken(label) && initToken(label, m_pins.value(label, defaultPin()));
}

// Reads one "Token info" field of the slot whose token carries label.
QString SoftHsmToken::showSlotsField(const QString &label, const QString &field)
{
    QByteArray output;
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

QString SoftHsmToken::serial(const QString &label)
{
    return showSlotsField(label, QStringLiteral("Serial number"));
}

quint64 SoftHsmToken::slotId(const QString &label)
{
    return showSlotsField(label, QStringLiteral("Slot")).toULongLong();
}

bool SoftHsmToken::writeObject(const QString &token, const QString &label, const QByteArray &value,
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

bool SoftHsmToken::writeContainer(const QString &token, const QByteArray &value, bool isPrivate,
                                  const QString &label)
{
    return writeObject(token, label, value, containerApplication(), isPrivate);
}

QByteArray SoftHsmToken::readObject(const QString &token, const QString &label, bool *ok)
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

QList<SoftHsmToken::DataObject> SoftHsmToken::dataObjects(const QString &token, bool *ok)
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
