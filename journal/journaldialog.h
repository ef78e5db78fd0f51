#ifndef JOURNALDIALOG_H
#define JOURNALDIALOG_H

#include "journal.h"

#include <QDialog>

#include <memory>

namespace Ui {
class JournalDialog;
}

// The journal as a table, newest first, filtered by date, with the chain's
// state; makes the act (PDF or printed) and a CSV file of the entries.
class JournalDialog : public QDialog
{
    Q_OBJECT

public:
    explicit JournalDialog(const QString &journalPath = Journal::defaultPath(), QWidget *parent = nullptr);
    ~JournalDialog() override;

    // The selected entries, or all shown when none is selected; oldest first.
    QVector<JournalRecord> chosenRecords() const;
    bool chosenBySelection() const;

public slots:
    void reload();
    void applyFilter();
    void saveActPdf();
    void printAct();
    void exportCsv();

private:
    std::unique_ptr<Ui::JournalDialog> ui;
    Journal journal;
    QVector<JournalRecord> all;   // oldest first
    QVector<JournalRecord> shown; // newest first, row by row
    VerifyResult verification;
};

#endif // JOURNALDIALOG_H
