#ifndef WIPEPROGRESSDIALOG_H
#define WIPEPROGRESSDIALOG_H

#include "wipeschedule.h"

#include <QElapsedTimer>
#include <QProgressDialog>

// Shows a wipe under way: the algorithm, pass k of n and, for a file, the
// bytes written. Only a file wipe can be cancelled; it then stops after the
// write under way.
class WipeProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    WipeProgressDialog(QWidget *parent, const PassPlan &plan, bool cancellable);

    // How long a wipe runs before the dialog shows, so that a small one
    // does not flash it.
    static void setShowDelay(int ms);

public slots:
    void showProgress(int pass, int passes, qint64 bytes, qint64 bytesPerPass);
    // The volume read, or its free space filled, so far: with speed and time left.
    void showVolumeProgress(bool filling, qint64 done, qint64 total);
    void finish();
    void reject() override;

private:
    const QString m_algorithm; // its name
    const bool m_cancellable;
    QElapsedTimer m_volumeClock;
};

#endif // WIPEPROGRESSDIALOG_H
