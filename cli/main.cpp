// kestrik-kcc-cli: the scripted modes without the window. It links QtCore and
// no GUI library, so it runs where no display or Qt GUI package exists.

#include "commandline.h"
#include "installation.h"
#include "language.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char *argv[])
{
    // Before anything asks where the journal lives: one record for both programs.
    installation::nameApplication();
    const CommandLine command = parseCommandLine(argc, argv, std::cout, std::cerr, CommandProgram::Cli);
    if (command.action == CommandLine::Action::Exit)
        return command.exitCode;
    QCoreApplication application(argc, argv);
    installProgramTranslations(application);
    return runCommandLine(command);
}
