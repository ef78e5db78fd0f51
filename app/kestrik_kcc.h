#ifndef KESTRIK_KCC_H
#define KESTRIK_KCC_H

#include "tokenlist.h"
#include "ui_kestrik_kcc.h"
#include "wipeschedule.h"
#include "wipeworker.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <QUrl>

class Kestrik_KCC : public QMainWindow
{
    Q_OBJECT

public:
    explicit Kestrik_KCC(QWidget *parent = nullptr);
    ~Kestrik_KCC();

public slots:
    void openFile();
    void openDevice();
    void selectFile(bool _value);
    void selectDevice(bool _value);
    void cleanContainer();
    void aboutApp();
    // Names the program was started with: the first goes into the file field
    // (in file mode); a box says why it did not, and how many others were left.
    void openNamedFiles(const QStringList &names);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    WipeAlgorithm selectedAlgorithm() const;
    void applyMode();
    void takeDroppedUrls(const QList<QUrl> &urls);
    // Fills the file field and switches to file mode, or says in a box why
    // the name is no regular file and leaves the field as it was.
    void takeFile(const QString &name, const QString &others = QString());

    Ui::Kestrik_KCCClass ui;
    bool fileMode;
    ListedToken currentMedia; // the medium last chosen, as listed; read only by a device wipe
    WipeWorker wipeWorker;    // every wipe runs on its thread

public slots:
    void showJournal();
    // Wipes a crash or a power cut stopped since the last start: closed in the
    // journal and listed in one box. main calls it once the window shows.
    void reportInterruptedWipes();
};

#endif // KESTRIK_KCC_H
