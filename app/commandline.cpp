#include "commandline.h"

#include "kcc_version.h"
#include "wipeschedule.h"

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
           "       " KCC_PROGRAM " --wipe-file FILE... --algorithm NAME [--yes]\n"
           "       " KCC_PROGRAM " --wipe-token SERIAL --algorithm NAME (--pin-stdin | --pin-file FILE) [--yes]\n"
           "       " KCC_PROGRAM " --list-tokens\n"
           "       " KCC_PROGRAM " --journal | --verify-journal | --act FILE.pdf [--from DATE] [--to DATE]\n"
           "\n"
           "Without options, opens the window that overwrites and deletes one\n"
           "cryptographic key container: a file, or the key container on a PKCS#11 token.\n"
           "\n"
           "Options:\n"
           "  -h, --help              print this help and exit\n"
           "      --version           print the version and exit\n"
           "      --wipe-file FILE... overwrite and delete each file in turn\n"
           "      --wipe-token SERIAL overwrite and delete the key container on the token\n"
           "                          with this serial number\n"
           "      --list-tokens       list the tokens: serial number, label, model\n"
           "      --journal           print the destruction journal as CSV\n"
           "      --verify-journal    check the journal's hash chain\n"
           "      --act FILE.pdf      write an act of destruction for the journal's entries,\n"
           "                          from and to a date (YYYY-MM-DD) when given\n"
           "  -a, --algorithm NAME    gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr or\n"
           "                          schneier (or its number, 0 to 7)\n"
           "      --pin-stdin         read the PIN from the first line of standard input\n"
           "      --pin-file FILE     read the PIN from the first line of FILE\n"
           "  -y, --yes               do not ask for confirmation\n"
           "\n"
           "Without --yes the confirmation is asked on the terminal; with no terminal\n"
           "nothing is wiped. Messages go to standard error.\n"
           "\n"
           "Exit status: 0 destroyed, 1 other failure, 2 bad usage, 3 not confirmed,\n"
           "4 not found, 5 refused (not a regular file), 6 incomplete (the file was\n"
           "kept), 7 the token refused, 8 deleted but not overwritten in place by the\n"
           "token, 9 the journal is broken or unreadable. With several files the\n"
           "highest status wins.\n"
           "\n"
           "Qt's own options (-platform, -style, ...) are accepted as well.\n"
           "VELMUX_PKCS11_MODULE=<module file> uses that PKCS#11 module alone.\n";
}

int algorithmByName(const std::string &name)
{
    for (int i = 0; i < wipeAlgorithmCount; ++i)
        if (name == wipeAlgorithmId(WipeAlgorithm(i)) || name == std::to_string(i))
            return i;
    return -1;
}

CommandLine exitWith(int code)
{
    CommandLine command;
    command.action = CommandLine::Action::Exit;
    command.exitCode = code;
    return command;
}

CommandLine usageError(std::ostream &err, const std::string &message)
{
    err << KCC_PROGRAM ": " << message << "\n"
        << "Try '" KCC_PROGRAM " --help' for more information.\n";
    return exitWith(kExitUsage);
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err)
{
    CommandLine command;
    auto setAction = [&](CommandLine::Action action) {
        const bool clash = command.action != CommandLine::Action::OpenWindow && command.action != action;
        command.action = action;
        return !clash;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            printHelp(out);
            return exitWith(0);
        }
        if (arg == "--version") {
            out << KCC_PROGRAM " " KCC_VERSION "\n";
            return exitWith(0);
        }
        if (arg == "--wipe-file") {
            if (!setAction(CommandLine::Action::WipeFiles))
                return usageError(err, "choose one of --wipe-file, --wipe-token and --list-tokens");
            // Every argument up to the next option names a file; "--" ends the options.
            while (i + 1 < argc && (argv[i + 1][0] != '-' || argv[i + 1][1] == '\0'))
                command.files.push_back(argv[++i]);
            continue;
        }
        if (arg == "--") {
            if (command.action != CommandLine::Action::WipeFiles)
                return usageError(err, "'--' stands before file names of --wipe-file");
            while (i + 1 < argc)
                command.files.push_back(argv[++i]);
            continue;
        }
        if (arg == "--wipe-token") {
            if (!setAction(CommandLine::Action::WipeToken) || !value(command.serial))
                return usageError(err, "--wipe-token needs one serial number, and no other mode");
            continue;
        }
        if (arg == "--list-tokens") {
            if (!setAction(CommandLine::Action::ListTokens))
                return usageError(err, "choose one of --wipe-file, --wipe-token and --list-tokens");
            continue;
        }
        if (arg == "--journal" || arg == "--verify-journal") {
            if (!setAction(arg == "--journal" ? CommandLine::Action::PrintJournal : CommandLine::Action::VerifyJournal))
                return usageError(err, "choose one mode");
            continue;
        }
        if (arg == "--act") {
            if (!setAction(CommandLine::Action::WriteAct) || !value(command.actFile))
                return usageError(err, "--act needs the PDF file to write, and no other mode");
            continue;
        }
        if (arg == "--from" || arg == "--to") {
            if (!value(arg == "--from" ? command.from : command.to))
                return usageError(err, arg + " needs a date, YYYY-MM-DD");
            continue;
        }
        if (arg == "-a" || arg == "--algorithm") {
            std::string name;
            if (!value(name) || (command.algorithm = algorithmByName(name)) < 0)
                return usageError(err, "--algorithm needs one of gost, dod, hmg-bs, hmg-es, rcmp, "
                                       "ar380, vsitr, schneier");
            continue;
        }
        if (arg == "--pin-stdin") {
            command.pinSource = CommandLine::PinSource::StandardInput;
            continue;
        }
        if (arg == "--pin-file") {
            command.pinSource = CommandLine::PinSource::File;
            if (!value(command.pinFile))
                return usageError(err, "--pin-file needs a file name");
            continue;
        }
        if (arg == "--pin")
            return usageError(err, "a PIN is never taken from the command line: use --pin-stdin or --pin-file");
        if (arg == "-y" || arg == "--yes") {
            command.assumeYes = true;
            continue;
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

    if (command.action != CommandLine::Action::WriteAct && (!command.from.empty() || !command.to.empty()))
        return usageError(err, "--from and --to go with --act");
    const bool wipes = command.action == CommandLine::Action::WipeFiles
        || command.action == CommandLine::Action::WipeToken;
    if (command.action == CommandLine::Action::WipeFiles && command.files.empty())
        return usageError(err, "--wipe-file needs at least one file");
    if (wipes && command.algorithm < 0)
        return usageError(err, "a wipe needs --algorithm");
    if (!wipes && (command.algorithm >= 0 || command.assumeYes))
        return usageError(err, "--algorithm and --yes go with --wipe-file or --wipe-token");
    if ((command.action == CommandLine::Action::WipeToken) != (command.pinSource != CommandLine::PinSource::None))
        return usageError(err, command.action == CommandLine::Action::WipeToken
                                   ? "--wipe-token needs --pin-stdin or --pin-file"
                                   : "--pin-stdin and --pin-file go with --wipe-token");
    return command;
}
