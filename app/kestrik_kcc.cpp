#include "kestrik_kcc.h"

#include "formabout.h"
#include "formselectmedia.h"
#include "kccresources.h"
#include "windowfit.h"
#include "devicewipereport.h"
#include "filewipereport.h"
#include "wipecontainer.h"
#include "wipemessages.h"
#include "wipeprogressdialog.h"
#include "wiperecord.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QScopeGuard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

Kestrik_KCC::Kestrik_KCC(QWidget *parent)
    : QMainWindow(parent)
    , currentMedia{}
{
    initKccResources();
    ui.setupUi(this);
    fitGroupBoxTitles(*this);
    fitNarrowButton(*ui.pushButtonOpenFile, 31);
    fitNarrowButton(*ui.pushButtonOpenDevice, 31);

    // Fixed like the drawn form, at the larger of the two modes so that
    // switching never clips the PIN row.
    QSize size;
    for (bool mode : {false, true}) {
        fileMode = mode;
        applyMode();
        size = size.expandedTo(fittedSize(*this, QSize(560, 252)));
    }
    setFixedSize(size);
    ui.lineEditFile->setFocus();
}

Kestrik_KCC::~Kestrik_KCC() = default;

void Kestrik_KCC::openFile()
{
#ifdef Q_OS_WIN
    const QString everyFile = QStringLiteral("*.*");
#else
    // Here "*.*" wants a dot in the name and hides key files without one.
    const QString everyFile = QStringLiteral("*");
#endif
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Открыть"), QString(),
        tr("Файловые контейнеры (*.nctx *.pfx *.p12);;Все файлы (%1)").arg(everyFile));
    if (!path.isEmpty())
        ui.lineEditFile->setText(path);
}

void Kestrik_KCC::openDevice()
{
    FormSelectMedia dialog(this);
    if (dialog.exec() == 0)
        return;
    QString text;
    if (dialog.selectedMedia(currentMedia, text))
        ui.lineEditDevice->setText(text);
}

void Kestrik_KCC::selectFile(bool _value)
{
    fileMode = _value;
    applyMode();
}

void Kestrik_KCC::selectDevice(bool _value)
{
    fileMode = !_value;
    applyMode();
}

void Kestrik_KCC::cleanContainer()
{
    const QString target = fileMode ? ui.lineEditFile->text() : ui.lineEditDevice->text();
    if (target.isEmpty()) {
        wipemessages::show(this, QMessageBox::Critical,
                           tr("Выберите ключевой контейнер.       "));
        return;
    }
    if (wipeWorker.isBusy())
        return;

    const WipeAlgorithm algorithm = selectedAlgorithm();
    const TokenTarget token = fileMode ? TokenTarget() : describeToken(currentMedia);
    QMessageBox confirm(QMessageBox::Question, wipemessages::title(),
                        wipemessages::confirmation(),
                        QMessageBox::Yes | QMessageBox::No, this);
    confirm.setInformativeText(fileMode ? fileWipePlan(target, algorithm) : tokenWipePlan(token, algorithm));
    confirm.button(QMessageBox::Yes)->setText(tr("Да"));
    confirm.button(QMessageBox::No)->setText(tr("Нет"));
    // Enter meant for something else must not destroy a key.
    confirm.setDefaultButton(QMessageBox::No);
    confirm.setEscapeButton(QMessageBox::No);
    if (confirm.exec() != QMessageBox::Yes)
        return;

    // The window takes no input while the wipe runs; the progress dialog
    // takes over once it shows.
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    const auto enableAgain = qScopeGuard([this] {
        centralWidget()->setEnabled(true);
        menuBar()->setEnabled(true);
    });
    WipeProgressDialog progress(this, algorithm, fileMode);
    connect(&wipeWorker, &WipeWorker::progress, &progress, &WipeProgressDialog::showProgress);
    connect(&progress, &QProgressDialog::canceled, &wipeWorker, &WipeWorker::cancel);
    QElapsedTimer clock;
    clock.start();

    if (fileMode) {
        const FileWipeOutcome outcome = wipeWorker.wipeFile(algorithm, target);
        progress.finish();
        wipemessages::Report report = fileWipeReport(outcome, target);
        addSummary(report, tr("Файл: %1").arg(QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath())),
                   algorithm, outcome.passesCompleted, clock.elapsed());
        recordInJournal(fileJournalEntry(target, algorithm, outcome, report, JournalEntry::Interface::Window),
                        report);
        wipemessages::show(this, report);
        if (outcome.status == FileWipeStatus::Wiped)
            ui.lineEditFile->setText(QString());
    } else {
        QString pin = ui.lineEditPIN->text(); // shares the field's buffer, no copy
        const DeviceWipeOutcome outcome = wipeWorker.wipeToken(algorithm, currentMedia, pin);
        progress.finish();
        wipemessages::Report report = deviceWipeReport(outcome);
        addSummary(report, tr("Носитель: %1").arg(token.label.isEmpty() ? target : token.describe()),
                   algorithm, outcome.passesWritten, clock.elapsed());
        recordInJournal(tokenJournalEntry(token, algorithm, outcome, report, JournalEntry::Interface::Window),
                        report);
        // A replaced container is gone all the same: the fields are cleared.
        const bool gone = outcome.status == DeviceWipeStatus::Wiped;
        if (gone) {
            ui.lineEditDevice->setText(QString());
            // setText drops the field's share of the buffer and its undo steps
            // (each holds a typed character); harmless ones are then written
            // over the steps' memory and dropped too.
            ui.lineEditPIN->setText(QString());
            ui.lineEditPIN->insert(QString(pin.size() * 4 + 64, QLatin1Char('0')));
            ui.lineEditPIN->setText(QString());
            // Sole owner now: zeroed where it lies. A buffer someone else still
            // holds is theirs and is left alone.
            if (pin.isDetached()) {
                for (QChar &c : pin)
                    c = QChar();
            }
            pin.clear();
        }
        wipemessages::show(this, report);
    }
}

void Kestrik_KCC::closeEvent(QCloseEvent *event)
{
    // A wipe under way is finished first: the window waits for it.
    if (wipeWorker.isBusy())
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void Kestrik_KCC::aboutApp()
{
    FormAbout about(this);
    about.exec();
}

WipeAlgorithm Kestrik_KCC::selectedAlgorithm() const
{
    // The values follow this order, not the order of the form's buttons.
    const std::pair<const QRadioButton *, WipeAlgorithm> buttons[] = {
        {ui.radioButtonGost, Gost},
        {ui.radioButtonDoD, DoD},
        {ui.radioButtonHMG_BS, HmgBaseline},
        {ui.radioButtonHMG_ES, HmgEnhanced},
        {ui.radioButtonRCMP, Rcmp},
        {ui.radioButtonAR, Ar380},
        {ui.radioButtonVSITR, Vsitr},
        {ui.radioButtonSchneier, Schneier},
    };
    for (const auto &button : buttons) {
        if (button.first->isChecked())
            return button.second;
    }
    return Gost;
}

void Kestrik_KCC::applyMode()
{
    ui.lineEditFile->setVisible(fileMode);
    ui.pushButtonOpenFile->setVisible(fileMode);
    ui.lineEditDevice->setVisible(!fileMode);
    ui.pushButtonOpenDevice->setVisible(!fileMode);
    ui.lineEditPIN->setVisible(!fileMode);
    ui.labelPIN->setVisible(!fileMode);
}

#include "journaldialog.h"

void Kestrik_KCC::showJournal()
{
    JournalDialog journal(Journal::defaultPath(), this);
    journal.exec();
}
