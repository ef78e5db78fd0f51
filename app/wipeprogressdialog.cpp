#include "wipeprogressdialog.h"

#include "wipetexts.h"

#include <QCoreApplication>
#include <QLocale>

#include "language.h"

namespace {

int showDelayMs = 400;
constexpr int stepsPerPass = 1000;

} // namespace

WipeProgressDialog::WipeProgressDialog(QWidget *parent, const PassPlan &plan, bool cancellable)
    : QProgressDialog(parent), m_algorithm(plan.name), m_cancellable(cancellable)
{
    setObjectName(QStringLiteral("wipeProgress"));
    setWindowTitle(wipetexts::title());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowModality(Qt::WindowModal);
    setAutoClose(false);
    setAutoReset(false);
    const int passes = plan.passes.size();
    setRange(0, passes * stepsPerPass);
    if (cancellable)
        setCancelButtonText(QCoreApplication::translate("WipeProgressDialog", "Отменить"));
    else
        setCancelButton(nullptr);
    showProgress(0, passes, 0, 0);
    setMinimumDuration(showDelayMs);
}

void WipeProgressDialog::setShowDelay(int ms)
{
    showDelayMs = ms;
}

void WipeProgressDialog::showProgress(int pass, int passes, qint64 bytes, qint64 bytesPerPass)
{
    if (pass >= passes) {
        setLabelText(QCoreApplication::translate("WipeProgressDialog", "Алгоритм: %1\nВсе проходы записаны, файл читается для проверки")
                         .arg(m_algorithm));
        setValue(maximum());
        return;
    }
    QString text = QCoreApplication::translate("WipeProgressDialog", "Алгоритм: %1\nПроход %2 из %3")
                       .arg(m_algorithm)
                       .arg(pass + 1)
                       .arg(passes);
    int step = pass * stepsPerPass;
    if (bytesPerPass > 0) {
        // The box's own locale, so the dialog and the box write sizes alike.
        const QLocale locale = programLocale();
        text += QCoreApplication::translate("WipeProgressDialog", "\nЗаписано: %1 из %2")
                    .arg(locale.formattedDataSize(bytes), locale.formattedDataSize(bytesPerPass));
        step += int(bytes * stepsPerPass / bytesPerPass);
    }
    setLabelText(text);
    setValue(qMin(step, maximum()));
}

void WipeProgressDialog::showVolumeProgress(bool filling, qint64 done, qint64 total)
{
    if (!m_volumeClock.isValid())
        m_volumeClock.start();
    const QLocale locale = programLocale();
    const double seconds = qMax<qint64>(m_volumeClock.elapsed(), 1) / 1000.0;
    const double perSecond = double(done) / seconds;
    const qint64 left = perSecond > 0 ? qint64(double(total - done) / perSecond) : -1;
    const QString speed = locale.formattedDataSize(qint64(perSecond));
    QString text = filling
        ? QCoreApplication::translate("WipeProgressDialog", "Заполнение освобожденного места: записано %1 из не более чем %2")
              .arg(locale.formattedDataSize(done), locale.formattedDataSize(total))
        : QCoreApplication::translate("WipeProgressDialog", "Поиск блоков ключа на томе: прочитано %1 из %2")
              .arg(locale.formattedDataSize(done), locale.formattedDataSize(total));
    // Before the first bytes there is no speed to tell the time left by.
    if (done > 0 && left >= 0)
        text += QCoreApplication::translate("WipeProgressDialog", "\n%1/с, осталось около %2 с").arg(speed).arg(left);
    setLabelText(text);
    setValue(total > 0 ? int(qMin<qint64>(done * maximum() / total, maximum())) : 0);
}

void WipeProgressDialog::finish()
{
    reset();
    hide();
}

void WipeProgressDialog::reject()
{
    // Escape cancels a file wipe like the button; a token wipe cannot be
    // stopped half way, so there it does nothing.
    if (m_cancellable)
        emit canceled();
}
