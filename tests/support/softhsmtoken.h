#ifndef SOFTHSMTOKEN_H
#define SOFTHSMTOKEN_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throwaway SoftHSM2 token store: its own softhsm2.conf and token directory
// in a temporary directory. While it lives, SOFTHSM2_CONF and
// VELMUX_PKCS11_MODULE point this process (and the tools it runs) at it.
// Tokens are named by their label; every token gets the same SO PIN.
// Destroy every velmux context before this goes: a module still initialised
// would keep reading the old configuration.
class SoftHsmToken
{
public:
    struct DataObject {
        QString label;
        QString application;
        bool isPrivate = false;
    };

    SoftHsmToken();
    ~SoftHsmToken();
    SoftHsmToken(const SoftHsmToken &) = delete;
    SoftHsmToken &operator=(const SoftHsmToken &) = delete;

    // Why tests cannot run here (tool or module missing); empty when they can.
    static QString unavailableReason();
    static QString modulePath();
    static QString defaultPin() { return QStringLiteral("123456"); }
    static QString containerApplication();

    bool isValid() const { return m_valid; }
    // The last failing command and its output.
    QString errorString() const { return m_error; }

    bool initToken(const QString &label, const QString &pin = defaultPin());
    // An SO PIN only: the user PIN is never set.
    bool initTokenWithoutUserPin(const QString &label);
    bool deleteToken(const QString &label);
    // A new token under the same label and PIN: a new serial, a new slot.
    bool replaceToken(const QString &label);
    QString serial(const QString &label);
    quint64 slotId(const QString &label);

    bool writeObject(const QString &token, const QString &label, const QByteArray &value,
                     const QString &application, bool isPrivate = false);
    bool writeContainer(const QString &token, const QByteArray &value, bool isPrivate = false,
                        const QString &label = QStringLiteral("container"));
    // Logs in, so private objects are read and listed too.
    QByteArray readObject(const QString &token, const QString &label, bool *ok = nullptr);
    QList<DataObject> dataObjects(const QString &token, bool *ok = nullptr);

private:
    bool run(const QString &program, const QStringList &args, QByteArray *output = nullptr);
    QStringList tokenArgs(const QString &token) const;
    QString showSlotsField(const QString &label, const QString &field);

    QTemporaryDir m_dir;
    QHash<QString, QString> m_pins;
    QByteArray m_savedConf;
    QByteArray m_savedModule;
    bool m_hadConf = false;
    bool m_hadModule = false;
    bool m_valid = false;
    QString m_error;
    int m_files = 0;
};

#endif // SOFTHSMTOKEN_H
