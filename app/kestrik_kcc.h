#ifndef KESTRIK_KCC_H
#define KESTRIK_KCC_H

#include "tokenlist.h"
#include "ui_kestrik_kcc.h"
#include "wipeschedule.h"
#include "wipeworker.h"

#include <QMainWindow>

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

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    WipeAlgorithm selectedAlgorithm() const;
    void applyMode();

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
