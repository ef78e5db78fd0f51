#include "terminalprogress.h"

#include "language.h"

#include <QCoreApplication>
#include <QLocale>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool errorsOnTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr));
#else
    return ::isatty(fileno(stderr));
#endif
}

// Often enough to look alive, rarely enough to cost nothing.
constexpr qint64 redrawMs = 100;

} // namespace

TerminalProgress::TerminalProgress(bool wanted) : m_shown(wanted && errorsOnTerminal())
{
}

void TerminalProgress::follow(WipeRequest &request)
{
    if (!m_shown)
        return;
    m_passes = request.plan.passes.size();
    m_pass = -1;
    m_perPass = 0;
    request.listener = [this](FileWipeEvent event, int pass, qint64 bytes) { return fileEvent(event, pass, bytes); };
    request.tokenPassStarted = [this](int pass) {
        draw(QCoreApplication::translate("TerminalProgress", "Проход %1 из %2").arg(pass + 1).arg(m_passes));
    };
}

bool TerminalProgress::fileEvent(FileWipeEvent event, int pass, qint64 bytes)
{
    switch (event) {
    case FileWipeEvent::Opened:
        m_perPass = bytes;
        return true;
    case FileWipeEvent::ReadBack:
        draw(QCoreApplication::translate("TerminalProgress", "Все проходы записаны, файл читается для проверки"));
        return true;
    case FileWipeEvent::Truncated:
        return true;
    case FileWipeEvent::Written:
        break;
    }
    const bool newPass = pass != m_pass;
    if (newPass) {
        m_pass = pass;
        m_passClock.start();
    } else if (m_drawClock.isValid() && m_drawClock.elapsed() < redrawMs) {
        return true;
    }
    const QLocale locale = programLocale();
    QString line = QCoreApplication::translate("TerminalProgress", "Проход %1 из %2: записано %3 из %4")
                       .arg(pass + 1)
                       .arg(m_passes)
                       .arg(locale.formattedDataSize(bytes), locale.formattedDataSize(m_perPass));
    // The rate and the time left only once the pass has written something.
    const qint64 ms = m_passClock.elapsed();
    if (bytes > 0 && ms > 0) {
        const double perSecond = double(bytes) * 1000.0 / double(ms);
        const qint64 left = (m_perPass - bytes) + qint64(m_passes - pass - 1) * m_perPass;
        line += QCoreApplication::translate("TerminalProgress", ", %1/с, осталось около %2 с")
                    .arg(locale.formattedDataSize(qint64(perSecond)))
                    .arg(qint64(double(left) / perSecond + 0.5));
    }
    draw(line);
    return true;
}

void TerminalProgress::draw(const QString &line)
{
    m_drawClock.start();
    QString padded = line;
    if (padded.size() < m_width)
        padded += QString(m_width - padded.size(), QLatin1Char(' '));
    m_width = line.size();
    std::fputs((QLatin1Char('\r') + padded).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void TerminalProgress::clear()
{
    if (!m_shown || m_width == 0)
        return;
    std::fputs((QLatin1Char('\r') + QString(m_width, QLatin1Char(' ')) + QLatin1Char('\r')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    m_width = 0;
}
