#include "commandline.h"

#include "commandoptions.h"

#include "language.h"

#include <QCoreApplication>
#include <QString>

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

enum class QtOption { None, Alone, WithValue };

// Qt takes its options with one dash or two, and -style=name too; they stay
// in argv for QApplication. WithValue: the next argument is the value.
QtOption qtOption(const std::string &argument)
{
    std::string name = argument.substr(argument.compare(0, 2, "--") == 0 ? 2 : 1);
    const bool inlineValue = name.find('=') != std::string::npos;
    name = name.substr(0, name.find('='));
    if (contains(qtFlags, name) && !inlineValue)
        return QtOption::Alone;
    if (!contains(qtOptionsWithValue, name))
        return QtOption::None;
    return inlineValue ? QtOption::Alone : QtOption::WithValue;
}

// Local 8-bit, like every other message of the program on a terminal.
std::string localText(const QString &message)
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

CommandLine exitWith(int code)
{
    CommandLine command;
    command.action = CommandLine::Action::Exit;
    command.exitCode = code;
    return command;
}

CommandLine usageError(std::ostream &err, CommandProgram program, const QString &message)
{
    const char *name = programName(program);
    err << name << ": " << localText(message) << "\n"
        << localText(early(QT_TRANSLATE_NOOP("CommandLine", "Подробнее: %1 --help")).arg(QLatin1String(name)))
        << "\n";
    return exitWith(kExitUsage);
}

const CommandOption *optionNamed(const std::string &longName)
{
    for (int i = 0; i < kOptionCount; ++i)
        if (longName == kOptions[i].longName)
            return &kOptions[i];
    return nullptr;
}

const CommandOption *optionLetter(char letter)
{
    for (int i = 0; i < kOptionCount; ++i)
        if (kOptions[i].shortName && kOptions[i].shortName == letter)
            return &kOptions[i];
    return nullptr;
}

bool looksLikeOption(const char *argument)
{
    return argument[0] == '-' && argument[1] != '\0';
}

// Reads argv the way getopt_long does, with the table of options: --name
// VALUE and --name=VALUE, bundled short options (-ya dod, -adod), "--" ending
// the options. What the modes say about each other is checked at the end.
class Reader
{
public:
    Reader(int argc, const char *const *argv, std::ostream &out, std::ostream &err, CommandProgram program)
        : m_argc(argc), m_argv(argv), m_out(out), m_err(err), m_program(program)
    {
        m_command.program = program;
    }

    CommandLine read()
    {
        for (m_index = 1; m_index < m_argc; ++m_index)
            if (!readArgument(m_argv[m_index]))
                return m_command;
        return checked(m_command);
    }

private:
    // Each step returns false when the reading is over: m_command is then the result.
    bool readArgument(const std::string &argument)
    {
        if (m_optionsEnded || !looksLikeOption(argument.c_str()))
            return readOperand(argument);
        if (argument == "--") {
            m_optionsEnded = true;
            return true;
        }
        const QtOption qt = window() ? qtOption(argument) : QtOption::None;
        if (qt != QtOption::None)
            return skipQtOption(argument, qt);
        if (argument.compare(0, 2, "--") == 0)
            return readLong(argument);
        return readLetters(argument);
    }

    bool readLong(const std::string &argument)
    {
        const size_t equals = argument.find('=');
        const CommandOption *option = optionNamed(argument.substr(0, equals));
        if (option)
            return use(*option, equals == std::string::npos ? nullptr : m_argv[m_index] + equals + 1);
        return fail(early(QT_TRANSLATE_NOOP("CommandLine", "неизвестный параметр «%1»")).arg(local(argument)));
    }

    // -yq is -y -q; a letter that takes a value takes the rest (-adod) or the next argument.
    bool readLetters(const std::string &argument)
    {
        for (size_t at = 1; at < argument.size(); ++at) {
            const CommandOption *option = optionLetter(argument[at]);
            if (!option)
                return fail(early(QT_TRANSLATE_NOOP("CommandLine", "неизвестный параметр «%1»"))
                                .arg(local(at == 1 ? argument : std::string{'-', argument[at]})));
            const bool rest = option->values != 0 && at + 1 < argument.size();
            if (!use(*option, rest ? m_argv[m_index] + at + 1 : nullptr))
                return false;
            if (option->values != 0)
                break;
        }
        return true;
    }

    bool skipQtOption(const std::string &argument, QtOption kind)
    {
        if (kind == QtOption::WithValue && ++m_index >= m_argc)
            return fail(early(QT_TRANSLATE_NOOP("CommandLine", "параметру «%1» нужно значение")).arg(local(argument)));
        return true;
    }

    bool use(const CommandOption &option, const char *inlineValue)
    {
        const QString name = QLatin1String(option.longName);
        if (option.selects != CommandLine::Action::OpenWindow) {
            if (m_mode && m_command.action != option.selects)
                return fail(early(QT_TRANSLATE_NOOP("CommandLine", "%1 и %2 нельзя указывать вместе"))
                                .arg(QLatin1String(m_mode->longName), name));
            m_command.action = option.selects;
            m_mode = &option;
        }
        std::vector<std::string> values;
        if (inlineValue && option.values == 0)
            return fail(early(QT_TRANSLATE_NOOP("CommandLine", "%1 не принимает значения")).arg(name));
        if (inlineValue)
            values.push_back(inlineValue);
        if (option.values == kValuesUpToNextOption) {
            while (m_index + 1 < m_argc && !looksLikeOption(m_argv[m_index + 1]))
                values.push_back(m_argv[++m_index]);
        }
        while (int(values.size()) < option.values && m_index + 1 < m_argc)
            values.push_back(m_argv[++m_index]);
        OptionUse given{m_command, values, m_out, m_program};
        if (int(values.size()) < option.values || !option.apply(given))
            return fail(early(option.misuse).replace(QLatin1String("%1"), name));
        return m_command.action != CommandLine::Action::Exit;
    }

    // A name without an option: a file for the window, or for --wipe-file after "--".
    bool readOperand(const std::string &argument)
    {
        const bool noMode = m_command.action == CommandLine::Action::OpenWindow;
        if (!window() && noMode && !m_optionsEnded)
            return fail(early(QT_TRANSLATE_NOOP("CommandLine", "«%1»: сначала укажите режим (--wipe-file ФАЙЛ...); окно с файлом открывает %2"))
                            .arg(local(argument), QLatin1String(programName(CommandProgram::Window))));
        if (m_optionsEnded && m_command.action == CommandLine::Action::WipeFiles) {
            m_command.files.push_back(argument);
            return true;
        }
        // With a scripted mode it is refused at the end.
        m_command.openFiles.push_back(argument);
        m_command.openFileIndexes.push_back(m_index);
        return true;
    }

    bool fail(const QString &message)
    {
        m_command = usageError(m_err, m_program, message);
        return false;
    }

    bool window() const { return m_program == CommandProgram::Window; }

    CommandLine checked(const CommandLine &command) const;

    const int m_argc;
    const char *const *m_argv;
    std::ostream &m_out;
    std::ostream &m_err;
    const CommandProgram m_program;
    int m_index = 1;
    CommandLine m_command;
    const CommandOption *m_mode = nullptr; // the option that chose the mode
    bool m_optionsEnded = false;
};

// The options each mode takes, and the ones it needs.
CommandLine Reader::checked(const CommandLine &command) const
{
    const bool cli = !window();
    const CommandProgram program = m_program;
    const auto refused = [this](const QString &message) { return usageError(m_err, m_program, message); };
    if (cli && command.action == CommandLine::Action::WriteAct)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "акт уничтожения (--act) рисуется графическими средствами Qt, и их в %1 нет: "
                                                              "запишите акт командой %2 --act ФАЙЛ.pdf"))
                           .arg(QLatin1String(programName(program)), QLatin1String(programName(CommandProgram::Window))));
    if (cli && command.action == CommandLine::Action::OpenWindow)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "укажите режим: --wipe-file, --wipe-token, --list-tokens, --journal и другие; окно открывает %1"))
                           .arg(QLatin1String(programName(CommandProgram::Window))));
    if (!command.openFiles.empty() && command.action != CommandLine::Action::OpenWindow)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "лишний аргумент «%1»")).arg(local(command.openFiles.front())));
    if (!command.publicKey.empty() && command.action != CommandLine::Action::VerifyCertificate
        && command.action != CommandLine::Action::VerifyJournal)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--key указывается только с --verify-certificate или --verify-journal")));
    if (command.action != CommandLine::Action::WriteAct && (!command.from.empty() || !command.to.empty()))
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--from и --to указываются только с --act")));
    const bool wipes = command.action == CommandLine::Action::WipeFiles
        || command.action == CommandLine::Action::WipeToken;
    if (command.action == CommandLine::Action::WipeFiles && command.files.empty())
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--wipe-file требует хотя бы один файл")));
    if (wipes && command.algorithm < 0)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "для удаления нужен --algorithm")));
    if (!wipes && command.noJournal)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--no-journal указывается только с --wipe-file или --wipe-token")));
    if (!wipes && (command.algorithm >= 0 || command.assumeYes))
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--algorithm и --yes указываются только с --wipe-file или --wipe-token")));
    // The act is a PDF, and the window's result is on the screen.
    if (command.json && command.action == CommandLine::Action::WriteAct)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--json не указывается с --act: акт записывается в файл PDF")));
    if (command.json && command.action == CommandLine::Action::OpenWindow)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--json указывается с режимом: --wipe-file, --list-tokens, --journal и другими")));
    if (command.quiet && !wipes)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--quiet указывается только с --wipe-file или --wipe-token")));
    if ((command.searchVolume || command.fillFreed) && command.action != CommandLine::Action::WipeFiles)
        return refused(early(QT_TRANSLATE_NOOP("CommandLine", "--search-volume и --fill-freed указываются только с --wipe-file")));
    if ((command.action == CommandLine::Action::WipeToken) != (command.pinSource != CommandLine::PinSource::None))
        return refused(command.action == CommandLine::Action::WipeToken
                           ? early(QT_TRANSLATE_NOOP("CommandLine", "--wipe-token требует --pin-stdin или --pin-file"))
                           : early(QT_TRANSLATE_NOOP("CommandLine", "--pin-stdin и --pin-file указываются только с --wipe-token")));
    return command;
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err, CommandProgram program)
{
    return Reader(argc, argv, out, err, program).read();
}
