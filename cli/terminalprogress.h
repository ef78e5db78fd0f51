#ifndef TERMINALPROGRESS_H
#define TERMINALPROGRESS_H

#include "wiperesult.h"

#include <QElapsedTimer>
#include <QString>

// The line a wipe redraws on standard error while it runs, as the window's
// progress dialog shows it: pass k of n, the bytes of the pass written, the
// rate and the time left. Drawn only on a terminal: a script's log gets none.
class TerminalProgress
{
public:
    explicit TerminalProgress(bool wanted);
    ~TerminalProgress() { clear(); }
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // Makes the request tell this line of its passes.
    void follow(WipeRequest &request);
    // Rubs the line out, before a result is told.
    void clear();

private:
    bool fileEvent(FileWipeEvent event, int pass, qint64 bytes);
    void draw(const QString &line);

    const bool m_shown;
    int m_passes = 0;
    int m_pass = -1;
    qint64 m_perPass = 0;
    QElapsedTimer m_passClock;
    QElapsedTimer m_drawClock;
    int m_width = 0; // of the line on screen, to blank what a shorter one leaves
};

#endif // TERMINALPROGRESS_H
