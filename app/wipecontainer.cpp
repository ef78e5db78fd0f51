#include "wipecontainer.h"

#include "wipeprogressdialog.h"
#include "wipesession.h"
#include "wipetexts.h"
#include "wipeworker.h"

#include <QPushButton>
#include <QCoreApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon iconOf(Severity severity)
{
    switch (severity) {
    case Severity::Information:
        return QMessageBox::Information;
    case Severity::Warning:
        return QMessageBox::Warning;
    case Severity::Critical:
        break;
    }
    return QMessageBox::Critical;
}

QString fillButtonText()
{
    return QCoreApplication::translate("WipeContainer", "Заполнить освобожденное место");
}

// No wipe without its record, unless the officer says so here; "Нет" is the default.
bool askGoOnWithoutRecord(QWidget *parent, const QString &why)
{
    QMessageBox ask(QMessageBox::Warning, wipetexts::title(), wipetexts::goOnWithoutRecord(),
                    QMessageBox::Yes | QMessageBox::No, parent);
    ask.setObjectName(QStringLiteral("boxGoOnWithoutRecord"));
    ask.setWindowModality(Qt::ApplicationModal);
    ask.setInformativeText(why);
    ask.button(QMessageBox::Yes)->setText(QCoreApplication::translate("WipeContainer", "Да"));
    ask.button(QMessageBox::No)->setText(QCoreApplication::translate("WipeContainer", "Нет"));
    ask.setDefaultButton(QMessageBox::No);
    ask.setEscapeButton(QMessageBox::No);
    return ask.exec() == QMessageBox::Yes;
}

bool runInWindow(QWidget *parent, WipeRequest request, WipeWorker &worker)
{
    request.goOnWithoutRecord = [parent](const QString &why) { return askGoOnWithoutRecord(parent, why); };
    WipeResult result;
    {
        WipeProgressDialog progress(parent, request.plan, request.isFile());
        QObject::connect(&worker, &WipeWorker::progress, &progress, &WipeProgressDialog::showProgress);
        QObject::connect(&worker, &WipeWorker::volumeProgress, &progress, &WipeProgressDialog::showVolumeProgress);
        QObject::connect(&progress, &QProgressDialog::canceled, &worker, &WipeWorker::cancel);
        result = runWipeSession(request, &worker);
        progress.finish();
    }
    if (showReport(parent, result.report, result.verdict.offerFill ? fillButtonText() : QString())) {
        WipeRequest again = request;
        again.fillFreed = true;
        {
            WipeProgressDialog progress(parent, request.plan, true);
            QObject::connect(&worker, &WipeWorker::volumeProgress, &progress, &WipeProgressDialog::showVolumeProgress);
            QObject::connect(&progress, &QProgressDialog::canceled, &worker, &WipeWorker::cancel);
            fillAndSearchAgain(again, result, &worker);
            progress.finish();
        }
        showReport(parent, result.report);
    }
    return result.destroyed();
}

} // namespace

bool showReport(QWidget *parent, const WipeReport &report, const QString &extraButton)
{
    QMessageBox box(iconOf(report.severity), wipetexts::title(), report.text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    if (!report.informative.isEmpty())
        box.setInformativeText(report.informative);
    QPushButton *extra = extraButton.isEmpty() ? nullptr : box.addButton(extraButton, QMessageBox::ActionRole);
    box.exec();
    return extra && box.clickedButton() == extra;
}

bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path, WipeWorker &worker,
                       bool searchVolume)
{
    WipeRequest request;
    request.plan = passPlan(algorithm);
    request.path = std::move(path);
    request.searchVolume = searchVolume;
    return runInWindow(parent, request, worker);
}

bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const ListedToken *medium,
                          const QString &pin, WipeWorker &worker)
{
    WipeRequest request;
    request.plan = passPlan(algorithm);
    request.token = *medium;
    request.pin = pin;
    return runInWindow(parent, request, worker);
}
