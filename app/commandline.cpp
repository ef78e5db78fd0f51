#include "commandline.h"

#include "kcc_version.h"

#include <cstring>
#include <ostream>
#include <string>

namespace {

// QGuiApplication and QApplication consume these themselves.
const char *const qtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
    "style", "stylesheet",
};
const char *const qtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <size_t N>
bool contains(const char *const (&names)[N], const std::string &name)
{
    for (const char *candidate : names)
        if (name == candidate)
            return true;
    return false;
}

void printHelp(std::ostream &out)
{
    out << "Usage: " KCC_PROGRAM " [--help] [--version]\n"
           "\n"
           "Opens the window that overwrites and deletes one cryptographic key\n"
           "container: a file, or the key container on a PKCS#11 token.\n"
           "\n"
           "Options:\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n"
           "\n"
           "Qt's own options (-platform, -style, ...) are accepted as well.\n"
           "VELMUX_PKCS11_MODULE=<module file> uses that PKCS#11 module alone.\n";
}

CommandLine usageError(std::ostream &err, const std::string &message)
{
    err << KCC_PROGRAM ": " << message << "\n"
        << "Try '" KCC_PROGRAM " --help' for more information.\n";
    return {CommandLine::Action::Exit, kExitUsage};
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printHelp(out);
            return {CommandLine::Action::Exit, 0};
        }
        if (arg == "--version") {
            out << KCC_PROGRAM " " KCC_VERSION "\n";
            return {CommandLine::Action::Exit, 0};
        }
        if (arg.size() < 2 || arg[0] != '-')
            return usageError(err, "unexpected argument '" + arg + "'");

        // Qt takes its options with one dash or two, and -style=name too.
        std::string name = arg.substr(arg.compare(0, 2, "--") == 0 ? 2 : 1);
        const bool inlineValue = name.find('=') != std::string::npos;
        name = name.substr(0, name.find('='));
        if (contains(qtFlags, name) && !inlineValue)
            continue;
        if (contains(qtOptionsWithValue, name)) {
            if (!inlineValue && ++i >= argc)
                return usageError(err, "option '" + arg + "' needs a value");
            continue;
        }
        return usageError(err, "unknown option '" + arg + "'");
    }
    return {};
}
