#ifndef TSA_H
#define TSA_H

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#ifndef KCC_TEST_SUPPORT_DIR
#define KCC_TEST_SUPPORT_DIR KCC_SOURCE_DIR "/tests/support"
#endif

// A time-stamping authority made by the test: its own CA and a signing
// certificate with the critical time-stamping usage (tsa_make.sh), answered
// by `openssl ts -reply` behind a local HTTP responder while started.
class TestAuthority
{
public:
    explicit TestAuthority(const QString &kind = QStringLiteral("ec"))
    {
        status = QProcess::execute(QStringLiteral(KCC_TEST_SUPPORT_DIR "/tsa_make.sh"), {dir.path(), kind});
        made = status == 0;
    }
    // The kind needs what this machine does not have (OpenSSL's GOST engine).
    bool unavailable() const { return status == 3; }
    ~TestAuthority() { stop(); }

    bool ok() const { return made; }
    QString caFile() const { return dir.filePath(QStringLiteral("ca.pem")); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port); }

    bool start()
    {
        const QString portFile = dir.filePath(QStringLiteral("port"));
        QFile::remove(portFile);
        QStringList arguments{QStringLiteral(KCC_TEST_SUPPORT_DIR "/tsa_responder.py"),
                              dir.filePath(QStringLiteral("tsa.cnf")), portFile};
        if (port > 0)
            arguments << QString::number(port); // the settings name it
        responder.start(QStringLiteral("python3"), arguments);
        if (!responder.waitForStarted())
            return false;
        // The responder writes its port once it listens.
        for (int i = 0; i < 200 && !QFile::exists(portFile); ++i) {
            if (responder.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(25);
        }
        QFile file(portFile);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        port = file.readAll().trimmed().toInt();
        return port > 0;
    }
    void stop()
    {
        if (responder.state() != QProcess::NotRunning) {
            responder.kill();
            responder.waitForFinished();
        }
    }

    // The [timestamp] section naming this authority.
    QByteArray settings() const { return "[timestamp]\nurl=" + url().toUtf8() + "\nca=" + caFile().toUtf8() + "\n"; }

    // A token for a digest (hex), made directly: no nonce, unless asked.
    QByteArray token(const QString &digestHex) const
    {
        const QString query = dir.filePath(QStringLiteral("q.tsq"));
        const QString out = dir.filePath(QStringLiteral("t.der"));
        if (QProcess::execute(QStringLiteral("openssl"), {"ts", "-query", "-digest", digestHex, "-sha256", "-cert",
                                                         "-no_nonce", "-out", query}) != 0
            || QProcess::execute(QStringLiteral("openssl"), {"ts", "-reply", "-config", dir.filePath("tsa.cnf"),
                                                            "-queryfile", query, "-token_out", "-out", out}) != 0)
            return QByteArray();
        QFile file(out);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;

private:
    QProcess responder;
    int status = -1;
    bool made = false;
    int port = 0;
};

#endif // TSA_H
