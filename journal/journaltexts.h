#ifndef JOURNALTEXTS_H
#define JOURNALTEXTS_H

#include <QString>
#include <QStringList>

#include "language.h"

struct JournalEntry;
struct JournalRecord;

// Every text of the journal window's table, the CSV file and the act in one
// language, from the translation catalogues: the exports are written in a
// language of their own, whatever the program's is.
struct JournalTexts {
    // Column order of row(): the entry's number (what --certificate takes),
    // time, user@host, target, algorithm, passes, result, informative text,
    // end state, version, entry hash.
    enum Column { Number, Time, User, Target, Algorithm, Passes, Result, Informative, State, Version, Hash };
    Language language = Language::Russian; // of the plural forms, from its catalogue
    QStringList columns;
    QString unknown;
    QString passes;     // "%1" done, "%2" planned
    QString fileTarget; // "%1" path, "%2" size
    QString tokenTarget; // "%1" token label, "%2" model, "%3" serial, "%4" container, "%5" size
    QString fileMedium;  // "%1" file system, "%2" device, "%3" placement, "%4" verification
    QString volume;      // "%1" device, "%2" size read, "%3" blocks of the key found
    QString volumeFill;  // "%1" size written, "%2" how it ended
    QString interrupted; // the result of an attempt with no ending entry whose process is gone
    QString notEnded;    // of one still running, or on another host
    QString notEndedHint; // the informative text of both

    QString actFileTitle;
    QString actTitle;
    QString actComposed;   // "%1" date
    QString actCommission; // the paragraph before the table; "%1" program and version(s)
    QString actNumber;
    QString actJournal;    // "%1" path, "%2" chain state
    QString notVouched;    // the banner over an act or CSV of a journal that did not verify; "%1" its state
    QString actPeriod;     // "%1" from, "%2" to
    QStringList actSignatures;
    QString actSignatureHint;
    QString certificate; // before the certificate's fingerprint in the act
    QString noCertificate; // in its place for an entry that gets none
    QString actCertificateOf; // "%1" the act's row number, "%2" the fingerprint

    QString targetText(const JournalEntry &entry) const;
    QString sizeText(qint64 size) const;
    QString timeText(const JournalRecord &record) const;
    QStringList row(const JournalRecord &record) const;
};

// The texts in language; by default the program's (see programLanguage()).
const JournalTexts &journalTexts(Language language = programLanguage());

#endif // JOURNALTEXTS_H
