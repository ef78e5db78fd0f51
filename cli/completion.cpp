// Writes the bash or zsh completion of one program from the option table, at
// build time: `kcc_completion bash|zsh cli|window OUTPUT`. The descriptions
// are the help's first lines in English.

#include "commandoptions.h"
#include "language.h"
#include "wipeschedule.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

// What a value of an option is, read from the argument the help shows.
enum class ValueKind { None, Free, File, Pdf, Json, Directory, Algorithm };

ValueKind valueKind(const CommandOption &option, int index)
{
    if (!option.argument)
        return ValueKind::None;
    const QStringList words = QString::fromUtf8(option.argument).split(QLatin1Char(' '));
    const QString word = words.value(index, words.last());
    if (QLatin1String(option.longName) == QLatin1String("--algorithm"))
        return ValueKind::Algorithm;
    if (word.endsWith(QLatin1String(".pdf")))
        return ValueKind::Pdf;
    if (word.endsWith(QLatin1String(".json")))
        return ValueKind::Json;
    if (word.startsWith(QStringLiteral("ФАЙЛ")))
        return ValueKind::File;
    if (word == QStringLiteral("КАТАЛОГ"))
        return ValueKind::Directory;
    return ValueKind::Free;
}

bool shown(const CommandOption &option, CommandProgram program)
{
    return option.help && !(program == CommandProgram::Cli && option.windowOnly);
}

QString algorithms()
{
    QStringList ids;
    for (int i = 0; i < wipeAlgorithmCount; ++i)
        ids << QLatin1String(wipeAlgorithmId(WipeAlgorithm(i)));
    return ids.join(QLatin1Char(' '));
}

QString bashValues(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Algorithm:
        return QStringLiteral("COMPREPLY=($(compgen -W '%1' -- \"$cur\"))").arg(algorithms());
    case ValueKind::File:
        return QStringLiteral("COMPREPLY=($(compgen -f -- \"$cur\"))");
    case ValueKind::Pdf:
        return QStringLiteral("COMPREPLY=($(compgen -f -X '!*.pdf' -- \"$cur\") $(compgen -d -- \"$cur\"))");
    case ValueKind::Json:
        return QStringLiteral("COMPREPLY=($(compgen -f -X '!*.json' -- \"$cur\") $(compgen -d -- \"$cur\"))");
    case ValueKind::Directory:
        return QStringLiteral("COMPREPLY=($(compgen -d -- \"$cur\"))");
    case ValueKind::None:
    case ValueKind::Free:
        break;
    }
    return QStringLiteral("COMPREPLY=()");
}

QString bash(CommandProgram program, const QString &command)
{
    QString function = QStringLiteral("_") + command;
    function.replace(QLatin1Char('-'), QLatin1Char('_'));
    QStringList options, cases, secondCases;
    for (int i = 0; i < kOptionCount; ++i) {
        const CommandOption &option = kOptions[i];
        if (!shown(option, program))
            continue;
        QString names = QLatin1String(option.longName);
        options << names;
        if (option.shortName) {
            names += QStringLiteral("|-") + QLatin1Char(option.shortName);
            options << QStringLiteral("-") + QLatin1Char(option.shortName);
        }
        if (option.values == 1 || option.values == 2)
            cases << QStringLiteral("        %1)\n            %2\n            return ;;").arg(names, bashValues(valueKind(option, 0)));
        if (option.values == 2)
            secondCases << QStringLiteral("        %1)\n            %2\n            return ;;").arg(names, bashValues(valueKind(option, 1)));
    }
    return QStringLiteral(
               "# bash completion for %1, written from its option table\n"
               "%2()\n"
               "{\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} before=\n"
               "    local options='%3'\n"
               "    # --option=value: bash splits the word at the equals sign.\n"
               "    if [[ $cur == = ]]; then\n"
               "        cur=\n"
               "    elif [[ $prev == = ]]; then\n"
               "        prev=${COMP_WORDS[COMP_CWORD-2]}\n"
               "    fi\n"
               "    (( COMP_CWORD > 1 )) && before=${COMP_WORDS[COMP_CWORD-2]}\n"
               "    [[ ${COMP_WORDS[COMP_CWORD-1]} == = ]] && before=\n"
               "    case $prev in\n%4\n    esac\n"
               "    case $before in\n%5\n    esac\n"
               "    if [[ $cur == -* ]]; then\n"
               "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
               "    else\n"
               "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "    fi\n"
               "}\n"
               "complete -o filenames -F %2 %1\n")
        .arg(command, function, options.join(QLatin1Char(' ')), cases.join(QLatin1Char('\n')),
             secondCases.isEmpty() ? QStringLiteral("        *) ;;") : secondCases.join(QLatin1Char('\n')));
}

// The first line of the help in the program's language, made safe inside
// _arguments' brackets and single quotes.
QString zshDescription(const CommandOption &option)
{
    QString text = QCoreApplication::translate("CommandLine", option.help);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('['), QLatin1String("\\["))
        .replace(QLatin1Char(']'), QLatin1String("\\]"))
        .replace(QLatin1Char(':'), QLatin1String("\\:"))
        .replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return text;
}

QString zshValue(const CommandOption &option, int index)
{
    const ValueKind kind = valueKind(option, index);
    switch (kind) {
    case ValueKind::Algorithm:
        return QStringLiteral(":algorithm:(%1)").arg(algorithms());
    case ValueKind::File:
        return QStringLiteral(":file:_files");
    case ValueKind::Pdf:
        return QStringLiteral(":PDF file:_files -g \"*.pdf\"");
    case ValueKind::Json:
        return QStringLiteral(":JSON file:_files -g \"*.json\"");
    case ValueKind::Directory:
        return QStringLiteral(":directory:_files -/");
    case ValueKind::None:
        break;
    case ValueKind::Free: {
        const QStringList words = QCoreApplication::translate("CommandLine", option.argument).split(QLatin1Char(' '));
        return QStringLiteral(":%1: ").arg(words.value(index, words.last()).toLower());
    }
    }
    return QString();
}

QString zsh(CommandProgram program, const QString &command)
{
    QStringList specs;
    for (int i = 0; i < kOptionCount; ++i) {
        const CommandOption &option = kOptions[i];
        if (!shown(option, program))
            continue;
        const bool takesOne = option.values == 1 || option.values == 2;
        const QString longName = QLatin1String(option.longName) + (takesOne ? QStringLiteral("=") : QString());
        QString values;
        if (takesOne)
            values = zshValue(option, 0);
        if (option.values == 2)
            values += zshValue(option, 1);
        const QString description = QLatin1Char('[') + zshDescription(option) + QLatin1Char(']');
        if (option.shortName)
            specs << QStringLiteral("'(-%1 %2)'{-%1,%3}'%4%5'")
                         .arg(QString(QLatin1Char(option.shortName)), QLatin1String(option.longName), longName, description, values);
        else
            specs << QStringLiteral("'%1%2%3'").arg(longName, description, values);
    }
    // --wipe-file takes files up to the next option; the window's program a file to open.
    specs << QStringLiteral("'*:file:_files'");
    return QStringLiteral("#compdef %1\n# zsh completion for %1, written from its option table\n\n"
                          "_arguments -s -S \\\n    %2\n")
        .arg(command, specs.join(QStringLiteral(" \\\n    ")));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    installProgramTranslations(application);
    const QStringList args = application.arguments();
    if (args.size() != 4 || (args[1] != QLatin1String("bash") && args[1] != QLatin1String("zsh"))
        || (args[2] != QLatin1String("cli") && args[2] != QLatin1String("window"))) {
        std::fprintf(stderr, "usage: kcc_completion bash|zsh cli|window OUTPUT\n");
        return 2;
    }
    const CommandProgram program = args[2] == QLatin1String("cli") ? CommandProgram::Cli : CommandProgram::Window;
    const QString command = QLatin1String(programName(program));
    const QString text = args[1] == QLatin1String("bash") ? bash(program, command) : zsh(program, command);
    QFile out(args[3]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text.toUtf8()) < 0) {
        std::fprintf(stderr, "kcc_completion: %s: %s\n", qPrintable(args[3]), qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
