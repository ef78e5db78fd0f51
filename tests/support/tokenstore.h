#ifndef TOKENSTORE_H
#define TOKENSTORE_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Throwaway tokens of one real PKCS#11 implementation. While a store lives,
// VELMUX_PKCS11_MODULE points this process (and the tools it runs) at it.
// - SoftHSM2: its own softhsm2.conf and token directory in a temporary
//   directory (SOFTHSM2_CONF); any number of tokens.
// - openCryptoki: the soft token of the private slot daemon that
//   scripts/with-opencryptoki.sh runs the tests beside; one token, emptied by
//   initialising it again.
// Tokens are named by their label; every token gets the same SO PIN.
// Destroy every velmux context before this goes: a module still initialised
// would keep reading the old configuration.
class TokenStore
{
public:
    enum class Implementation { SoftHsm2, OpenCryptoki };
    struct DataObject {
        QString label;
        QString application;
        bool isPrivate = false;
    };

    explicit TokenStore(Implementation implementation = Implementation::SoftHsm2);
    ~TokenStore();
    TokenStore(const TokenStore &) = delete;
    TokenStore &operator=(const TokenStore &) = delete;

    // Why tests cannot run here (tool or module missing); empty when they can.
    static QString unavailableReason(Implementation implementation = Implementation::SoftHsm2);
    static QString modulePath(Implementation implementation = Implementation::SoftHsm2);
    // For data rows: "SoftHSM2", "openCryptoki".
    static const char *name(Implementation implementation);
    // The model the token reports, as the media list shows it.
    static QString model(Implementation implementation);
    static QList<Implementation> implementations()
    {
        return {Implementation::SoftHsm2, Implementation::OpenCryptoki};
    }
    static QString defaultPin() { return QStringLiteral("123456"); }
    static QString containerApplication();

    bool isValid() const { return m_valid; }
    // The last failing command and its output.
    QString errorString() const { return m_error; }

    Implementation implementation() const { return m_implementation; }
    // Whether more than one token can be made (and one removed).
    bool holdsSeveralTokens() const { return m_implementation == Implementation::SoftHsm2; }

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
    // Wrong user PINs until the token locks it; false where it never does.
    bool lockUserPin(const QString &token);
    // The SO sets the user PIN again, which unlocks it.
    bool unlockUserPin(const QString &token);
    // Logs in, so private objects are read and listed too.
    QByteArray readObject(const QString &token, const QString &label, bool *ok = nullptr);
    QList<DataObject> dataObjects(const QString &token, bool *ok = nullptr);

private:
    bool run(const QString &program, const QStringList &args, QByteArray *output = nullptr);
    QStringList tokenArgs(const QString &token) const;
    QString showSlotsField(const QString &label, const QString &field);
    bool initOpenCryptoki(const QString &label, const QString *pin);

    Implementation m_implementation;
    QString m_module;
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

Q_DECLARE_METATYPE(TokenStore::Implementation)

#endif // TOKENSTORE_H
