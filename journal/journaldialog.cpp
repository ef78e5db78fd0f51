#include "journaldialog.h"

#include "journalact.h"
#include "journalexport.h"
#include "ui_journaldialog.h"

#include <QFileDialog>
#include <QPushButton>
#include <QHeaderView>
#include <QMessageBox>
#include <QPageLayout>
#ifdef KCC_CAN_PRINT
#include <QPrintDialog>
#include <QPrinter>
#endif

#include <algorithm>

JournalDialog::JournalDialog(const QString &journalPath, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::JournalDialog>())
    , journal(journalPath)
{
    ui->setupUi(this);
    const JournalTexts &texts = journalTexts();
    ui->tableEntries->setColumnCount(texts.columns.size());
    ui->tableEntries->setHorizontalHeaderLabels(texts.columns);
    ui->tableEntries->verticalHeader()->setVisible(false);
    // Set here, not left to Qt: its catalogue may be missing.
    ui->buttonBox->button(QDialogButtonBox::Close)->setText(tr("Закрыть"));
    connect(ui->dateFrom, &QDateEdit::dateChanged, this, &JournalDialog::applyFilter);
    connect(ui->dateTo, &QDateEdit::dateChanged, this, &JournalDialog::applyFilter);
    connect(ui->pushButtonActPdf, &QPushButton::clicked, this, &JournalDialog::saveActPdf);
    connect(ui->pushButtonPrint, &QPushButton::clicked, this, &JournalDialog::printAct);
    connect(ui->pushButtonCsv, &QPushButton::clicked, this, &JournalDialog::exportCsv);
    reload();
}

JournalDialog::~JournalDialog() = default;

void JournalDialog::reload()
{
    all = journal.readAttempts(&verification);
    QString chain = verification.describe();
    QString earlier = Journal::earlierCommandLineNotice();
    if (!earlier.isEmpty())
        chain += QLatin1Char('\n') + earlier.left(1).toUpper() + earlier.mid(1) + QLatin1Char('.');
    ui->labelChain->setText(chain);
    ui->labelChain->setStyleSheet(verification.state == VerifyResult::State::Broken
                                         || verification.state == VerifyResult::State::Unreadable
                                     ? QStringLiteral("color: #b00000; font-weight: bold")
                                     : QString());
    QDate first = QDate::currentDate();
    QDate last = first;
    for (const JournalRecord &record : all) {
        const QDate date = QDateTime::fromString(record.localTimeText, Qt::ISODate).date();
        if (date.isValid()) {
            first = std::min(first, date);
            last = std::max(last, date);
        }
    }
    const QSignalBlocker blockFrom(ui->dateFrom);
    const QSignalBlocker blockTo(ui->dateTo);
    ui->dateFrom->setDate(first);
    ui->dateTo->setDate(last);
    applyFilter();
}

void JournalDialog::applyFilter()
{
    shown = recordsBetween(all, ui->dateFrom->date(), ui->dateTo->date());
    std::reverse(shown.begin(), shown.end());
    const JournalTexts &texts = journalTexts();
    ui->tableEntries->clearContents();
    ui->tableEntries->setRowCount(shown.size());
    for (int row = 0; row < shown.size(); ++row) {
        const QStringList values = texts.row(shown.at(row));
        for (int column = 0; column < values.size(); ++column) {
            auto *item = new QTableWidgetItem(values.at(column)); // owned by the table
            item->setToolTip(values.at(column));
            ui->tableEntries->setItem(row, column, item);
        }
    }
    ui->tableEntries->resizeColumnsToContents();
    ui->tableEntries->resizeRowsToContents();
    ui->labelCount->setText(tr("Записей: %1 из %2").arg(shown.size()).arg(all.size()));
    const bool any = !shown.isEmpty();
    ui->pushButtonActPdf->setEnabled(any);
#ifdef KCC_CAN_PRINT
    ui->pushButtonPrint->setEnabled(any);
#else
    // This Qt has no printing: the act is saved as PDF and printed from there.
    ui->pushButtonPrint->setVisible(false);
#endif
    ui->pushButtonCsv->setEnabled(any);
}

bool JournalDialog::chosenBySelection() const
{
    return ui->tableEntries->selectionModel()->hasSelection();
}

QVector<JournalRecord> JournalDialog::chosenRecords() const
{
    QVector<JournalRecord> chosen;
    const QModelIndexList rows = ui->tableEntries->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        chosen = shown;
    } else {
        for (const QModelIndex &index : rows)
            chosen.append(shown.at(index.row()));
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const JournalRecord &a, const JournalRecord &b) { return a.line < b.line; });
    return chosen;
}

namespace {

ActInput actInput(const JournalDialog &dialog, const QVector<JournalRecord> &records, const VerifyResult &verification,
                  const QString &path, const QDate &from, const QDate &to)
{
    ActInput input{records, verification, path, QDate(), QDate()};
    if (!dialog.chosenBySelection()) {
        input.from = from;
        input.to = to;
    }
    return input;
}

} // namespace

void JournalDialog::saveActPdf()
{
    QString path = QFileDialog::getSaveFileName(this, tr("Сохранить акт"),
                                                tr("akt-unichtozheniya.pdf"),
                                                QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writeActPdf(path, actInput(*this, chosenRecords(), verification, journal.path(), ui->dateFrom->date(),
                                    ui->dateTo->date()),
                     &error))
        QMessageBox::critical(this, windowTitle(), tr("Акт не сохранен: %1").arg(error));
}

void JournalDialog::printAct()
{
#ifdef KCC_CAN_PRINT
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    actDocument(actInput(*this, chosenRecords(), verification, journal.path(), ui->dateFrom->date(),
                         ui->dateTo->date()))
        ->print(&printer);
#endif
}

void JournalDialog::exportCsv()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Экспорт журнала"),
                                                      tr("zhurnal-unichtozheniya.csv"),
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writeFileAtomically(path, journalCsv(chosenRecords()), &error))
        QMessageBox::critical(this, windowTitle(), tr("Файл не сохранен: %1").arg(error));
}
