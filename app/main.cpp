#include "commandline.h"
#include "kestrik_kcc.h"
#include "language.h"

#include <QApplication>
#include <QTimer>

#include <iostream>

int main(int argc, char *argv[])
{
    // Before QApplication: it would need a display even to print the version.
    const CommandLine command = parseCommandLine(argc, argv, std::cout, std::cerr);
    if (command.action == CommandLine::Action::Exit)
        return command.exitCode;
    if (command.action == CommandLine::Action::WriteAct) {
        // Laying out the act needs fonts, not a display.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication application(argc, argv);
        installProgramTranslations(application);
        return runCommandLine(command);
    }
    if (command.action != CommandLine::Action::OpenWindow) {
        // The scripted modes need no display.
        QCoreApplication application(argc, argv);
        installProgramTranslations(application);
        return runCommandLine(command);
    }

    QApplication application(argc, argv);
    installProgramTranslations(application);
    Kestrik_KCC window;
    window.show();
    QTimer::singleShot(0, &window, &Kestrik_KCC::reportInterruptedWipes);
    return application.exec();
}
