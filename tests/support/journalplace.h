#ifndef JOURNALPLACE_H
#define JOURNALPLACE_H

#include <QByteArray>
#include <QFile>
#include <QString>

// A journal and its signing key at one place for a scope, as an officer
// starts a new record: a key that signed one journal refuses another.
class JournalPlace
{
public:
    explicit JournalPlace(const QString &journal)
    {
        qputenv("KCC_JOURNAL", QFile::encodeName(journal));
        qputenv("KCC_SIGNING_KEY", QFile::encodeName(journal + QStringLiteral(".key")));
    }
    ~JournalPlace()
    {
        qputenv("KCC_JOURNAL", savedJournal);
        qputenv("KCC_SIGNING_KEY", savedKey);
    }
    JournalPlace(const JournalPlace &) = delete;
    JournalPlace &operator=(const JournalPlace &) = delete;

private:
    const QByteArray savedJournal = qgetenv("KCC_JOURNAL");
    const QByteArray savedKey = qgetenv("KCC_SIGNING_KEY");
};

#endif // JOURNALPLACE_H
