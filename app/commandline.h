#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <iosfwd>

// What main does once the arguments are read. Parsing needs no QApplication,
// so --help, --version and argument errors work without a display.
struct CommandLine
{
    enum class Action { OpenWindow, Exit };
    Action action = Action::OpenWindow;
    int exitCode = 0;
};

// Exit codes follow the usual convention: 0 done, 2 bad usage.
constexpr int kExitUsage = 2;

// Reads the program's options; help and version go to `out`, errors to `err`.
// Qt's own options (-platform, -style, ...) are left for QApplication.
CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err);

#endif // COMMANDLINE_H
