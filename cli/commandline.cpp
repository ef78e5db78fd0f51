#include "commandline.h"

#include "kcc_version.h"
#include "language.h"
#include "wipeschedule.h"

#include <QCoreApplication>
#include <QString>

#include <cstdlib>
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

// Local 8-bit, like every other message of the program on a terminal.
std::string text(const QString &message)
{
    return message.toLocal8Bit().toStdString();
}

// lupdate reads the texts from the QT_TRANSLATE_NOOP around them.
QString early(const char *source)
{
    return translateEarly("CommandLine", source);
}

QString local(const std::string &argument)
{
    return QString::fromLocal8Bit(argument.c_str());
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

// The program whose command line is being read, for its messages.
CommandProgram currentProgram = CommandProgram::Window;

CommandLine usageError(std::ostream &err, const QString &message)
{
    const char *program = programName(currentProgram);
    err << program << ": " << text(message) << "\n"
        << text(early(QT_TRANSLATE_NOOP("CommandLine", "Подробнее: %1 --help")).arg(QLatin1String(program)))
        << "\n";
    return exitWith(kExitUsage);
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err, CommandProgram program)
{
    currentProgram = program;
    const bool cli = program == CommandProgram::Cli;
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
            printUsage(out, program);
            return exitWith(0);
        }
        if (arg == "--version") {
            out << programName(program) << " " KCC_VERSION "\n";
            return exitWith(0);
        }
        if (arg == "--wipe-file") {
            if (!setAction(CommandLine::Action::WipeFiles))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "выберите что-то одно: --wipe-file, --wipe-token или --list-tokens")));
            // Every argument up to the next option names a file; "--" ends the options.
            while (i + 1 < argc && (argv[i + 1][0] != '-' || argv[i + 1][1] == '\0'))
                command.files.push_back(argv[++i]);
            continue;
        }
        if (arg == "--") {
            if (command.action == CommandLine::Action::OpenWindow) {
                while (i + 1 < argc) {
                    command.openFiles.push_back(argv[++i]);
                    command.openFileIndexes.push_back(i);
                }
                continue;
            }
            if (command.action != CommandLine::Action::WipeFiles)
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "«--» ставится перед именами файлов для --wipe-file")));
            while (i + 1 < argc)
                command.files.push_back(argv[++i]);
            continue;
        }
        if (arg == "--wipe-token") {
            if (!setAction(CommandLine::Action::WipeToken) || !value(command.serial))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--wipe-token требует один серийный номер и никакого другого режима")));
            continue;
        }
        if (arg == "--list-tokens") {
            if (!setAction(CommandLine::Action::ListTokens))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "выберите что-то одно: --wipe-file, --wipe-token или --list-tokens")));
            continue;
        }
        if (arg == "--journal" || arg == "--verify-journal") {
            if (!setAction(arg == "--journal" ? CommandLine::Action::PrintJournal : CommandLine::Action::VerifyJournal))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "выберите один режим")));
            continue;
        }
        if (arg == "--act") {
            if (!setAction(CommandLine::Action::WriteAct) || !value(command.actFile))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--act требует имя PDF-файла для записи и никакого другого режима")));
            continue;
        }
        if (arg == "--public-key") {
            if (!setAction(CommandLine::Action::PrintPublicKey))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "выберите один режим")));
            continue;
        }
        if (arg == "--certificate") {
            std::string sequence;
            if (!setAction(CommandLine::Action::WriteCertificate) || !value(sequence)
                || !value(command.certificateFile) || (command.sequence = std::atoll(sequence.c_str())) <= 0)
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--certificate требует номер записи журнала и имя файла")));
            continue;
        }
        if (arg == "--verify-certificate") {
            if (!setAction(CommandLine::Action::VerifyCertificate) || !value(command.certificateFile))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--verify-certificate требует имя файла")));
            continue;
        }
        if (arg == "--verify-collection") {
            if (!setAction(CommandLine::Action::VerifyCollection) || !value(command.collectionDirectory))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--verify-collection требует каталог")));
            continue;
        }
        if (arg == "--key") {
            if (!value(command.publicKey))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--key требует открытый ключ (64 шестнадцатеричные цифры)")));
            continue;
        }
        if (arg == "--from" || arg == "--to") {
            if (!value(arg == "--from" ? command.from : command.to))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "%1 требует дату в виде ГГГГ-ММ-ДД")).arg(local(arg)));
            continue;
        }
        if (arg == "-a" || arg == "--algorithm") {
            std::string name;
            if (!value(name) || (command.algorithm = algorithmByName(name)) < 0)
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--algorithm требует одно из: gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr, schneier")));
            continue;
        }
        if (arg == "--pin-stdin") {
            command.pinSource = CommandLine::PinSource::StandardInput;
            continue;
        }
        if (arg == "--pin-file") {
            command.pinSource = CommandLine::PinSource::File;
            if (!value(command.pinFile))
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--pin-file требует имя файла")));
            continue;
        }
        if (arg == "--pin")
            return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "PIN-код никогда не берется из командной строки: укажите --pin-stdin или --pin-file")));
        if (arg == "--search-volume" || arg == "--fill-freed") {
            (arg == "--search-volume" ? command.searchVolume : command.fillFreed) = true;
            continue;
        }
        if (arg == "--no-journal") {
            command.noJournal = true;
            continue;
        }
        if (arg == "-y" || arg == "--yes") {
            command.assumeYes = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (cli && command.action == CommandLine::Action::OpenWindow)
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "«%1»: сначала укажите режим (--wipe-file ФАЙЛ...); окно с файлом открывает %2"))
                                           .arg(local(arg), QLatin1String(programName(CommandProgram::Window))));
            // A file for the window; with a scripted mode it is refused below.
            command.openFiles.push_back(arg);
            command.openFileIndexes.push_back(i);
            continue;
        }

        if (cli)
            return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "неизвестный параметр «%1»")).arg(local(arg)));
        // Qt takes its options with one dash or two, and -style=name too.
        std::string name = arg.substr(arg.compare(0, 2, "--") == 0 ? 2 : 1);
        const bool inlineValue = name.find('=') != std::string::npos;
        name = name.substr(0, name.find('='));
        if (contains(qtFlags, name) && !inlineValue)
            continue;
        if (contains(qtOptionsWithValue, name)) {
            if (!inlineValue && ++i >= argc)
                return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "параметру «%1» нужно значение")).arg(local(arg)));
            continue;
        }
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "неизвестный параметр «%1»")).arg(local(arg)));
    }

    if (cli && command.action == CommandLine::Action::WriteAct)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "акт уничтожения (--act) рисуется графическими средствами Qt, и их в %1 нет: "
                                                                      "запишите акт командой %2 --act ФАЙЛ.pdf"))
                                   .arg(QLatin1String(programName(program)), QLatin1String(programName(CommandProgram::Window))));
    if (cli && command.action == CommandLine::Action::OpenWindow)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "укажите режим: --wipe-file, --wipe-token, --list-tokens, --journal и другие; окно открывает %1"))
                                   .arg(QLatin1String(programName(CommandProgram::Window))));
    if (!command.openFiles.empty() && command.action != CommandLine::Action::OpenWindow)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "лишний аргумент «%1»")).arg(local(command.openFiles.front())));
    if (!command.publicKey.empty() && command.action != CommandLine::Action::VerifyCertificate
        && command.action != CommandLine::Action::VerifyJournal)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--key указывается только с --verify-certificate или --verify-journal")));
    if (command.action != CommandLine::Action::WriteAct && (!command.from.empty() || !command.to.empty()))
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--from и --to указываются только с --act")));
    const bool wipes = command.action == CommandLine::Action::WipeFiles
        || command.action == CommandLine::Action::WipeToken;
    if (command.action == CommandLine::Action::WipeFiles && command.files.empty())
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--wipe-file требует хотя бы один файл")));
    if (wipes && command.algorithm < 0)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "для удаления нужен --algorithm")));
    if (!wipes && command.noJournal)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--no-journal указывается только с --wipe-file или --wipe-token")));
    if (!wipes && (command.algorithm >= 0 || command.assumeYes))
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--algorithm и --yes указываются только с --wipe-file или --wipe-token")));
    if ((command.searchVolume || command.fillFreed) && command.action != CommandLine::Action::WipeFiles)
        return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "--search-volume и --fill-freed указываются только с --wipe-file")));
    if ((command.action == CommandLine::Action::WipeToken) != (command.pinSource != CommandLine::PinSource::None))
        return usageError(err, command.action == CommandLine::Action::WipeToken
                                   ? early(QT_TRANSLATE_NOOP("CommandLine", "--wipe-token требует --pin-stdin или --pin-file"))
                                   : early(QT_TRANSLATE_NOOP("CommandLine", "--pin-stdin и --pin-file указываются только с --wipe-token")));
    return command;
}
