#include "wipecontainer.h"

#include "wipeprogressdialog.h"
#include "wipesession.h"
#include "wipetexts.h"
#include "wipeworker.h"

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

bool runInWindow(QWidget *parent, const WipeRequest &request, WipeWorker &worker)
{
    WipeProgressDialog progress(parent, request.algorithm, request.isFile());
    QObject::connect(&worker, &WipeWorker::progress, &progress, &WipeProgressDialog::showProgress);
    QObject::connect(&progress, &QProgressDialog::canceled, &worker, &WipeWorker::cancel);
    const WipeResult result = runWipeSession(request, &worker);
    progress.finish();
    showReport(parent, result.report);
    return result.destroyed();
}

} // namespace

void showReport(QWidget *parent, const WipeReport &report)
{
    QMessageBox box(iconOf(report.severity), wipetexts::title(), report.text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    if (!report.informative.isEmpty())
        box.setInformativeText(report.informative);
    box.exec();
}

bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path, WipeWorker &worker)
{
    WipeRequest request;
    request.algorithm = algorithm;
    request.path = std::move(path);
    return runInWindow(parent, request, worker);
}

bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const ListedMedium *medium,
                          const QString &pin, WipeWorker &worker)
{
    WipeRequest request;
    request.algorithm = algorithm;
    request.medium = *medium;
    request.pin = pin;
    return runInWindow(parent, request, worker);
}
