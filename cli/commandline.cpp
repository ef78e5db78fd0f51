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

void printHelp(std::ostream &out)
{
    out << text(early(QT_TRANSLATE_NOOP(
                          "CommandLine",
                          "Использование: %1 [--help] [--version] [ФАЙЛ]\n"
                          "       %1 --wipe-file ФАЙЛ... --algorithm ИМЯ [--search-volume] [--fill-freed] [--yes] [--no-journal]\n"
                          "       %1 --wipe-token НОМЕР --algorithm ИМЯ (--pin-stdin | --pin-file ФАЙЛ) [--yes] [--no-journal]\n"
                          "       %1 --list-tokens\n"
                          "       %1 --journal | --verify-journal [--key КЛЮЧ] | --act ФАЙЛ.pdf [--from ДАТА] [--to ДАТА]\n"
                          "       %1 --public-key | --certificate НОМЕР ФАЙЛ.json | --verify-certificate ФАЙЛ.json [--key КЛЮЧ]\n"
                          "       %1 --verify-collection КАТАЛОГ\n"
                          "\n"
                          "Без параметров открывает окно, которое перезаписывает и удаляет один\n"
                          "ключевой контейнер: файл или ключевой контейнер на носителе PKCS#11.\n"
                          "С именем ФАЙЛА окно открывается с этим файлом в поле пути; удаляется\n"
                          "он только после подтверждения в окне.\n"
                          "\n"
                          "Параметры:\n"
                          "  -h, --help              вывести эту справку и выйти\n"
                          "      --version           вывести версию и выйти\n"
                          "      --wipe-file ФАЙЛ... перезаписать и удалить каждый файл по очереди\n"
                          "      --wipe-token НОМЕР  перезаписать и удалить ключевой контейнер на носителе\n"
                          "                          с этим серийным номером\n"
                          "      --list-tokens       перечислить носители: серийный номер, метка, модель\n"
                          "      --journal           вывести журнал уничтожения в формате CSV\n"
                          "      --verify-journal    проверить цепочку хешей журнала, подписи записей (ключом\n"
                          "                          этой установки или ключом из --key) и его конец\n"
                          "      --act ФАЙЛ.pdf      записать акт уничтожения по записям журнала,\n"
                          "                          с даты и по дату (ГГГГ-ММ-ДД), если они указаны\n"
                          "      --public-key        вывести открытый ключ, которым подписаны журнал и сертификаты\n"
                          "      --certificate НОМЕР ФАЙЛ.json  записать подписанный сертификат уничтожения\n"
                          "                          по записи журнала с этим номером\n"
                          "      --verify-certificate ФАЙЛ.json  проверить подпись сертификата ключом из\n"
                          "                          --key или закрепленным ключом организации\n"
                          "      --verify-collection КАТАЛОГ  проверить закрепленными ключами все журналы\n"
                          "                          (*.jsonl с *.jsonl.head) и сертификаты (*.json),\n"
                          "                          собранные с многих хостов, и вывести сводку\n"
                          "  -a, --algorithm ИМЯ     gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr или\n"
                          "                          schneier (или его номер, от 0 до 7)\n"
                          "      --pin-stdin         прочитать PIN-код из первой строки стандартного ввода\n"
                          "      --pin-file ФАЙЛ     прочитать PIN-код из первой строки ФАЙЛА\n"
                          "      --search-volume     после удаления файла прочитать весь его том и найти\n"
                          "                          оставшиеся блоки ключа (нужны права на чтение устройства)\n"
                          "      --fill-freed        если проходы легли на новое место, заполнить\n"
                          "                          освобождённое место, пока оно не покроет прежние блоки\n"
                          "  -y, --yes               не спрашивать подтверждения\n"
                          "      --no-journal        удалять, даже если запись о начале удаления не удалось\n"
                          "                          сохранить в журнале (выбор уходит в системный журнал)\n"
                          "\n"
                          "Без --yes подтверждение запрашивается в терминале; без терминала\n"
                          "ничего не удаляется. Сообщения выводятся в стандартный поток ошибок.\n"
                          "\n"
                          "Код возврата: 0 уничтожено, 1 другая ошибка, 2 неверный вызов,\n"
                          "3 не подтверждено, 4 не найдено, 5 отказано (не обычный файл),\n"
                          "6 не завершено (файл оставлен), 7 отказ носителя, 8 удалено, но носитель\n"
                          "или файловая система не дали перезаписать контейнер на месте, 9 журнал\n"
                          "нарушен или не читается, 10 удалено, но перезапись на месте не проверить,\n"
                          "11 на томе остались блоки ключа, 12 том проверить не удалось,\n"
                          "13 сертификат не прошёл проверку, 14 удаление носителем не проверено,\n"
                          "15 журнал или сертификат не проверен (нет ключа, ключ не из списка\n"
                          "организации, нет головы),\n"
                          "16 удаление не начато: запись о нем не сохранена в журнале,\n"
                          "17 завершающая запись удаления не сохранена в журнале.\n"
                          "При нескольких файлах итог - самый серьёзный код.\n"
                          "\n"
                          "Параметры самой Qt (-platform, -style, ...) тоже принимаются.\n"
                          "VELMUX_PKCS11_MODULE=<файл модуля> - использовать только этот модуль PKCS#11.\n"
                          "KCC_LANGUAGE=ru|en - язык программы (по умолчанию - язык системы).\n"))
                    .arg(QStringLiteral(KCC_PROGRAM)));
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

CommandLine usageError(std::ostream &err, const QString &message)
{
    err << KCC_PROGRAM ": " << text(message) << "\n"
        << text(early(QT_TRANSLATE_NOOP("CommandLine", "Подробнее: %1 --help")).arg(QStringLiteral(KCC_PROGRAM)))
        << "\n";
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
            return usageError(err, early(QT_TRANSLATE_NOOP("CommandLine", "PIN-код никогда не берётся из командной строки: укажите --pin-stdin или --pin-file")));
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
            // A file for the window; with a scripted mode it is refused below.
            command.openFiles.push_back(arg);
            command.openFileIndexes.push_back(i);
            continue;
        }

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
