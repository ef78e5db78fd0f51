#include "stamps.h"
#include "kestrik_kcc.h"

#include "formabout.h"
#include "formselectmedia.h"
#include "journaldialog.h"
#include "kccresources.h"
#include "windowfit.h"
#include "wipecontainer.h"
#include "wiperecord.h"
#include "wipesession.h"
#include "wipetexts.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <functional>

namespace {

// Takes drags of URLs over the window and its fields before a field would
// insert them as text; the window itself overrides no event handler.
class UrlDropFilter : public QObject
{
public:
    UrlDropFilter(QObject *parent, std::function<void(const QList<QUrl> &)> take)
        : QObject(parent), m_take(std::move(take))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove
            && event->type() != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasUrls())
            return false;
        // Never Move: the source could delete a file it believes was moved here.
        const Qt::DropAction action = drop->possibleActions() & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction;
        if (!(drop->possibleActions() & action)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(action);
        drop->accept();
        if (event->type() == QEvent::Drop) {
            const QList<QUrl> urls = drop->mimeData()->urls();
            // Once the drop has returned: a box must not keep the source waiting.
            QTimer::singleShot(0, this, [this, urls] { m_take(urls); });
        }
        return true;
    }

private:
    std::function<void(const QList<QUrl> &)> m_take;
};

// Why a name cannot go into the file field, in the words of the wipe, which
// would refuse it too; empty where it can.
QString refusal(const QFileInfo &info)
{
    const QString name = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
    if (info.isSymLink())
        return QCoreApplication::translate("Kestrik_KCC", "«%1» — ссылка на другой файл. Укажите сам файл ключевого контейнера.").arg(name);
    if (!info.exists())
        return QCoreApplication::translate("Kestrik_KCC", "Файл «%1» не найден.").arg(name);
    if (info.isDir())
        return QCoreApplication::translate("Kestrik_KCC", "«%1» — папка, а не файл. Укажите файл ключевого контейнера.").arg(name);
    if (!info.isFile())
        return QCoreApplication::translate("Kestrik_KCC", "«%1» — не обычный файл. Укажите файл ключевого контейнера.").arg(name);
    return QString();
}

} // namespace

Kestrik_KCC::Kestrik_KCC(QWidget *parent)
    : QMainWindow(parent)
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

    // A drop anywhere on the window: its fields take drops themselves, the
    // rest hands them up to the window.
    auto *drops = new UrlDropFilter(this, [this](const QList<QUrl> &urls) { takeDroppedUrls(urls); });
    setAcceptDrops(true);
    installEventFilter(drops);
    for (QWidget *widget : findChildren<QWidget *>())
        if (widget->acceptDrops())
            widget->installEventFilter(drops);
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
    if (dialog.selectedMedia(currentMedia))
        ui.lineEditDevice->setText(currentMedia.describe());
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
        showReport(this, {Severity::Critical, tr("Выберите ключевой контейнер.       "), QString()});
        return;
    }
    if (wipeWorker.isBusy())
        return;

    WipeRequest asked;
    asked.plan = passPlan(selectedAlgorithm());
    if (fileMode)
        asked.path = target;
    else
        asked.token = currentMedia;
    // Refused at once: a question about what cannot be wiped teaches "yes".
    if (const std::optional<WipeResult> refused = refusedBeforeAsking(asked)) {
        showReport(this, refused->report);
        return;
    }
    QMessageBox confirm(QMessageBox::Question, wipetexts::title(), wipetexts::confirmation(),
                        QMessageBox::Yes | QMessageBox::No, this);
    confirm.setInformativeText(wipePlan(asked));
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

    if (fileMode) {
        if (wipeContainerFile(this, asked.plan.algorithm, target, wipeWorker, ui.checkBoxSearchVolume->isChecked()))
            ui.lineEditFile->setText(QString());
        return;
    }
    QString pin = ui.lineEditPIN->text(); // shares the field's buffer, no copy
    if (!wipeContainerOnMedia(this, asked.plan.algorithm, &currentMedia, pin, wipeWorker))
        return;
    ui.lineEditDevice->setText(QString());
    // setText drops the field's share of the buffer and its undo steps (each
    // holds a typed character); harmless ones are then written over the
    // steps' memory and dropped too.
    ui.lineEditPIN->setText(QString());
    ui.lineEditPIN->insert(QString(pin.size() * 4 + 64, QLatin1Char('0')));
    ui.lineEditPIN->setText(QString());
    forgetPin(pin);
}

void Kestrik_KCC::openNamedFiles(const QStringList &names)
{
    if (names.isEmpty())
        return;
    const QString others = names.size() > 1
        ? tr("Ключевые контейнеры удаляются по одному: взят первый из названных файлов, остальные не взяты (%1).")
              .arg(names.size() - 1)
        : QString();
    takeFile(names.front(), others);
}

void Kestrik_KCC::takeDroppedUrls(const QList<QUrl> &urls)
{
    // The path of a wipe under way is already taken; a drop changes nothing then.
    if (urls.isEmpty() || wipeWorker.isBusy() || !centralWidget()->isEnabled())
        return;
    if (urls.size() > 1) {
        showReport(this, {Severity::Information,
                          tr("Перетащено файлов: %1. Ключевые контейнеры удаляются по одному: перетащите один файл.")
                              .arg(urls.size()),
                          QString()});
        return;
    }
    const QUrl &url = urls.front();
    if (!url.isLocalFile()) {
        showReport(this, {Severity::Information,
                          tr("«%1» — не файл на этом компьютере. Удалить можно только локальный файл ключевого контейнера.")
                              .arg(url.toDisplayString()),
                          QString()});
        return;
    }
    takeFile(url.toLocalFile());
}

void Kestrik_KCC::takeFile(const QString &name, const QString &others)
{
    const QFileInfo info(name);
    const QString reason = refusal(info);
    if (!reason.isEmpty()) {
        showReport(this, {Severity::Information, reason, others});
        return;
    }
    ui.lineEditFile->setText(QDir::cleanPath(info.absoluteFilePath()));
    ui.radioButtonFile->setChecked(true);
    ui.lineEditFile->setFocus();
    if (!others.isEmpty())
        showReport(this, {Severity::Information, others, QString()});
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
    // A token has no volume to read; shown in both modes, so switching never
    // changes the window's size.
    ui.checkBoxSearchVolume->setEnabled(fileMode);
}

void Kestrik_KCC::showJournal()
{
    JournalDialog journal(Journal::defaultPath(), this);
    journal.exec();
}

void Kestrik_KCC::reportInterruptedWipes()
{
    // Stamps the last run could not have, within a few seconds in all.
    stamps::stampPending(Journal(), loadTimestampSettings(), JournalEntry::Interface::Window);
    const QVector<InterruptedWipe> wipes = closeInterruptedWipes(JournalEntry::Interface::Window);
    if (wipes.isEmpty())
        return;
    QStringList lines;
    for (const InterruptedWipe &wipe : wipes)
        lines << describeInterrupted(wipe);
    showReport(this, {Severity::Warning, tr("Найдены прерванные удаления ключевых контейнеров: %1.").arg(wipes.size()),
                      lines.join(QStringLiteral("\n\n"))});
}
