#include "commandline.h"
#include "kestrik_kcc.h"

#include <QApplication>
#include <QFont>

#include <iostream>

int main(int argc, char *argv[])
{
    // Before QApplication: it would need a display even to print the version.
    const CommandLine command = parseCommandLine(argc, argv, std::cout, std::cerr);
    if (command.action == CommandLine::Action::Exit)
        return command.exitCode;
    if (command.action != CommandLine::Action::OpenWindow) {
        // The scripted modes need no display.
        QCoreApplication application(argc, argv);
        return runCommandLine(command);
    }

    QApplication application(argc, argv);
#ifndef Q_OS_WIN
    // The window's geometry is fixed for an 8-point dialog font; desktop fonts
    // here default larger and would clip its labels.
    QFont font = QApplication::font();
    if (font.pointSizeF() > 8.0) {
        font.setPointSizeF(8.0);
        QApplication::setFont(font);
    }
#endif
    Kestrik_KCC window;
    window.show();
    return application.exec();
}
