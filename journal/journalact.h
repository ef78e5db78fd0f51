#ifndef JOURNALACT_H
#define JOURNALACT_H

#include "journal.h"
#include "journaltexts.h"

#include <QDate>
#include <QTextDocument>

#include <memory>

// The act of destruction for some journal entries: a document in which the
// commission signs for the containers listed. QtGui only, no widgets.
struct ActInput {
    QVector<JournalRecord> records;
    VerifyResult verification; // of the journal the records come from
    QString journalPath;
    QDate from, to;            // the period asked for; null when the entries were picked one by one
};

std::unique_ptr<QTextDocument> actDocument(const ActInput &input, const JournalTexts &texts = journalTexts());

// A4 landscape PDF through QPdfWriter.
bool writeActPdf(const QString &path, const ActInput &input, QString *error,
                 const JournalTexts &texts = journalTexts());

#endif // JOURNALACT_H
