#include "commandoptions.h"

#include "kcc_version.h"
#include "language.h"
#include "wipeschedule.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <ostream>


namespace {

using Mode = CommandLine::Action;
constexpr Mode kNoMode = Mode::OpenWindow;

// --help and --version end the reading, whatever else was typed.
CommandLine finished()
{
    CommandLine command;
    command.action = Mode::Exit;
    return command;
}

bool help(OptionUse &use)
{
    printUsage(use.out, use.program);
    use.command = finished();
    return true;
}

bool version(OptionUse &use)
{
    use.out << programName(use.program) << " " KCC_VERSION "\n";
    use.command = finished();
    return true;
}

// A mode that takes no value: its row says which.
bool nothing(OptionUse &)
{
    return true;
}

template <std::string CommandLine::*field>
bool store(OptionUse &use)
{
    use.command.*field = use.values.front();
    return true;
}

template <bool CommandLine::*field>
bool raise(OptionUse &use)
{
    use.command.*field = true;
    return true;
}

bool addFiles(OptionUse &use)
{
    use.command.files.insert(use.command.files.end(), use.values.begin(), use.values.end());
    return true;
}

bool certificate(OptionUse &use)
{
    use.command.sequence = use.values[0] == "last" ? kLastWipe : std::atoll(use.values[0].c_str());
    use.command.certificateFile = use.values[1];
    return use.command.sequence > 0 || use.command.sequence == kLastWipe;
}

// By its name or its number in the schedule.
bool algorithm(OptionUse &use)
{
    const std::string &name = use.values.front();
    use.command.algorithm = -1;
    for (int i = 0; i < wipeAlgorithmCount; ++i)
        if (name == wipeAlgorithmId(WipeAlgorithm(i)) || name == std::to_string(i))
            use.command.algorithm = i;
    return use.command.algorithm >= 0;
}

bool pinFromInput(OptionUse &use)
{
    use.command.pinSource = CommandLine::PinSource::StandardInput;
    return true;
}

bool pinFromFile(OptionUse &use)
{
    use.command.pinSource = CommandLine::PinSource::File;
    use.command.pinFile = use.values.front();
    return true;
}

// A PIN typed on the command line would stay in the shell's history and in
// the process list.
bool refuse(OptionUse &)
{
    return false;
}

} // namespace

const CommandOption kOptions[] = {
    {'h', "--help", nullptr, QT_TRANSLATE_NOOP("CommandLine", "вывести эту справку и выйти"), false, 0, kNoMode, help, nullptr},
    {0, "--version", nullptr, QT_TRANSLATE_NOOP("CommandLine", "вывести версию и выйти"), false, 0, kNoMode, version, nullptr},
    {0, "--wipe-file", QT_TRANSLATE_NOOP("CommandLine", "ФАЙЛ..."), QT_TRANSLATE_NOOP("CommandLine", "перезаписать и удалить каждый файл по очереди"), false,
     kValuesUpToNextOption, Mode::WipeFiles, addFiles, nullptr},
    {0, "--wipe-token", QT_TRANSLATE_NOOP("CommandLine", "НОМЕР"),
     QT_TRANSLATE_NOOP("CommandLine", "перезаписать и удалить ключевой контейнер на носителе\nс этим серийным номером"), false,
     1, Mode::WipeToken, store<&CommandLine::serial>, QT_TRANSLATE_NOOP("CommandLine", "--wipe-token требует серийный номер носителя")},
    {0, "--list-tokens", nullptr, QT_TRANSLATE_NOOP("CommandLine", "перечислить носители: серийный номер, метка, модель"), false,
     0, Mode::ListTokens, nothing, nullptr},
    {0, "--journal", nullptr, QT_TRANSLATE_NOOP("CommandLine", "вывести журнал уничтожения в формате CSV"), false,
     0, Mode::PrintJournal, nothing, nullptr},
    {0, "--verify-journal", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "проверить цепочку хешей журнала, подписи записей (ключом\nиз --key или закрепленным ключом организации) и его конец"),
     false, 0, Mode::VerifyJournal, nothing, nullptr},
    {0, "--act", QT_TRANSLATE_NOOP("CommandLine", "ФАЙЛ.pdf"), QT_TRANSLATE_NOOP("CommandLine", "записать акт уничтожения в PDF по записям журнала"), true,
     1, Mode::WriteAct, store<&CommandLine::actFile>, QT_TRANSLATE_NOOP("CommandLine", "--act требует имя PDF-файла для записи")},
    {0, "--from", QT_TRANSLATE_NOOP("CommandLine", "ДАТА"), QT_TRANSLATE_NOOP("CommandLine", "с --act: только записи с этой даты (ГГГГ-ММ-ДД)"), true,
     1, kNoMode, store<&CommandLine::from>, QT_TRANSLATE_NOOP("CommandLine", "%1 требует дату в виде ГГГГ-ММ-ДД")},
    {0, "--to", QT_TRANSLATE_NOOP("CommandLine", "ДАТА"), QT_TRANSLATE_NOOP("CommandLine", "с --act: только записи по эту дату (ГГГГ-ММ-ДД)"), true,
     1, kNoMode, store<&CommandLine::to>, QT_TRANSLATE_NOOP("CommandLine", "%1 требует дату в виде ГГГГ-ММ-ДД")},
    {0, "--public-key", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "вывести открытый ключ, которым подписаны журнал\nи сертификаты; на новой установке сначала\nсоздать его"), false,
     0, Mode::PrintPublicKey, nothing, nullptr},
    {0, "--certificate", QT_TRANSLATE_NOOP("CommandLine", "НОМЕР ФАЙЛ.json"),
     QT_TRANSLATE_NOOP("CommandLine", "записать подписанный сертификат уничтожения\nпо записи журнала с этим номером (last: по последнему\nудалению)"), false,
     2, Mode::WriteCertificate, certificate, QT_TRANSLATE_NOOP("CommandLine", "--certificate требует номер записи журнала и имя файла")},
    {0, "--verify-certificate", QT_TRANSLATE_NOOP("CommandLine", "ФАЙЛ.json"),
     QT_TRANSLATE_NOOP("CommandLine", "проверить подпись сертификата ключом из --key\nили закрепленным ключом организации"), false,
     1, Mode::VerifyCertificate, store<&CommandLine::certificateFile>, QT_TRANSLATE_NOOP("CommandLine", "--verify-certificate требует имя файла")},
    {0, "--verify-collection", QT_TRANSLATE_NOOP("CommandLine", "КАТАЛОГ"),
     QT_TRANSLATE_NOOP("CommandLine", "проверить закрепленными ключами все журналы\n(*.jsonl с *.jsonl.head) и сертификаты (*.json),\nсобранные с многих хостов, и вывести сводку"),
     false, 1, Mode::VerifyCollection, store<&CommandLine::collectionDirectory>, QT_TRANSLATE_NOOP("CommandLine", "--verify-collection требует каталог")},
    {0, "--stamp-pending", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "запросить у службы меток времени из настроек\nметки для всех записей, которые их ждут"),
     false, 0, Mode::StampPending, nothing, nullptr},
    {0, "--key", QT_TRANSLATE_NOOP("CommandLine", "КЛЮЧ"),
     QT_TRANSLATE_NOOP("CommandLine", "с --verify-journal или --verify-certificate: открытый\nключ (64 шестнадцатеричные цифры), не его отпечаток"), false,
     1, kNoMode, store<&CommandLine::publicKey>, QT_TRANSLATE_NOOP("CommandLine", "--key требует открытый ключ (64 шестнадцатеричные цифры)")},
    {'a', "--algorithm", QT_TRANSLATE_NOOP("CommandLine", "ИМЯ"),
     QT_TRANSLATE_NOOP("CommandLine", "gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr или\nschneier (или его номер, от 0 до 7)"), false,
     1, kNoMode, algorithm, QT_TRANSLATE_NOOP("CommandLine", "--algorithm требует одно из: gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr, schneier")},
    {0, "--pin-stdin", nullptr, QT_TRANSLATE_NOOP("CommandLine", "прочитать PIN-код из первой строки стандартного ввода"), false,
     0, kNoMode, pinFromInput, nullptr},
    {0, "--pin-file", QT_TRANSLATE_NOOP("CommandLine", "ФАЙЛ"), QT_TRANSLATE_NOOP("CommandLine", "прочитать PIN-код из первой строки ФАЙЛА"), false,
     1, kNoMode, pinFromFile, QT_TRANSLATE_NOOP("CommandLine", "--pin-file требует имя файла")},
    {0, "--pin", nullptr, nullptr, false, 1, kNoMode, refuse,
     QT_TRANSLATE_NOOP("CommandLine", "PIN-код никогда не берется из командной строки: укажите --pin-stdin или --pin-file")},
    {0, "--search-volume", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "после удаления файла прочитать весь его том и найти\nоставшиеся блоки ключа (нужны права на чтение устройства)"),
     false, 0, kNoMode, raise<&CommandLine::searchVolume>, nullptr},
    {0, "--fill-freed", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "если проходы легли на новое место, заполнить\nосвобожденное место, пока оно не покроет прежние блоки"),
     false, 0, kNoMode, raise<&CommandLine::fillFreed>, nullptr},
    {'y', "--yes", nullptr, QT_TRANSLATE_NOOP("CommandLine", "не спрашивать подтверждения"), false,
     0, kNoMode, raise<&CommandLine::assumeYes>, nullptr},
    {0, "--no-journal", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "удалять, даже если запись о начале удаления не удалось\nсохранить в журнале (выбор уходит в системный журнал)"),
     false, 0, kNoMode, raise<&CommandLine::noJournal>, nullptr},
    {0, "--json", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "итог режима одним документом JSON в стандартный\nвывод (кроме --act)"),
     false, 0, kNoMode, raise<&CommandLine::json>, nullptr},
    {'q', "--quiet", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "без строки хода удаления; из итогов только неудачи"),
     false, 0, kNoMode, raise<&CommandLine::quiet>, nullptr},
};
const int kOptionCount = int(sizeof kOptions / sizeof kOptions[0]);

const ExitDoc kExitDocs[] = {
    {kExitOk, QT_TRANSLATE_NOOP("CommandLine", "все цели уничтожены")},
    {kExitFailure, QT_TRANSLATE_NOOP("CommandLine", "другая ошибка (нет библиотеки контейнеров, PIN-код не прочитан)")},
    {kExitUsage, QT_TRANSLATE_NOOP("CommandLine", "неверный вызов")},
    {kExitDeclined, QT_TRANSLATE_NOOP("CommandLine", "не подтверждено")},
    {kExitNotFound, QT_TRANSLATE_NOOP("CommandLine", "нет такого файла, носителя или контейнера; ничего не тронуто")},
    {kExitRefused, QT_TRANSLATE_NOOP("CommandLine", "отказано: не обычный файл, непригодное имя, два носителя\nс этим номером, два контейнера; ничего не тронуто")},
    {kExitIncomplete, QT_TRANSLATE_NOOP("CommandLine", "не завершено: удаление остановлено после изменения файла,\nфайл оставлен (ключ мог быть перезаписан, файл опустошен)")},
    {kExitToken, QT_TRANSLATE_NOOP("CommandLine", "отказ носителя: неверный, заблокированный или не заданный\nPIN-код, сбой записи или удаления")},
    {kExitReplaced, QT_TRANSLATE_NOOP("CommandLine", "удалено, но носитель или файловая система не дали\nперезаписать контейнер на месте")},
    {kExitJournalBroken, QT_TRANSLATE_NOOP("CommandLine", "цепочка журнала нарушена, или журнал не читается")},
    {kExitOverwriteUnproven, QT_TRANSLATE_NOOP("CommandLine", "удалено, но дошли ли проходы до собственных блоков\nфайла, проверить нельзя")},
    {kExitSurvivors, QT_TRANSLATE_NOOP("CommandLine", "удалено, но на томе остались блоки ключа, или заполнение\nдошло не до всех")},
    {kExitNotSearched, QT_TRANSLATE_NOOP("CommandLine", "удалено, но проверить том, как просили, не удалось")},
    {kExitBadCertificate, QT_TRANSLATE_NOOP("CommandLine", "сертификат не прошел проверку")},
    {kExitDeletionUnproven, QT_TRANSLATE_NOOP("CommandLine", "носитель принял удаление, но проверить, что контейнера\nбольше нет, не удалось")},
    {kExitJournalNotVerified, QT_TRANSLATE_NOOP("CommandLine", "журнал или сертификат не проверен: нет ключа, ключ\nне из списка организации или нет головы журнала")},
    {kExitNoRecord, QT_TRANSLATE_NOOP("CommandLine", "удаление не начато: запись о нем не сохранена в журнале")},
    {kExitEndNotRecorded, QT_TRANSLATE_NOOP("CommandLine", "завершающая запись удаления не сохранена в журнале")},
    {kExitRewritten, QT_TRANSLATE_NOOP("CommandLine", "файл опустошен и удален, но другая программа тем временем\nзаписала в него снова: ключ может быть в нем")},
    {kExitUntouched, QT_TRANSLATE_NOOP("CommandLine", "удаление остановлено до первого изменения (нет права\nна запись, отмена до записи); ничего не тронуто")},
};
const int kExitDocCount = int(sizeof kExitDocs / sizeof kExitDocs[0]);

const char *programName(CommandProgram program)
{
    return program == CommandProgram::Cli ? "kestrik-kcc-cli" : "kestrik-kcc";
}

namespace {

QString translated(const char *source)
{
    return translateEarly("CommandLine", source);
}

// Terminals are 80 columns wide unless told otherwise.
constexpr int kHelpWidth = 80;

// A line cut at spaces to the help's width; its continuations start at indent.
QStringList wrapped(const QString &line, int indent)
{
    QStringList lines;
    QString rest = line;
    while (rest.size() > kHelpWidth) {
        const int at = rest.lastIndexOf(QLatin1Char(' '), kHelpWidth);
        if (at <= indent)
            break; // one word wider than the line: left whole
        lines << rest.left(at);
        rest = QString(indent, QLatin1Char(' ')) + rest.mid(at + 1).trimmed();
    }
    return lines << rest;
}

// A term and its explanation in two columns; the explanation's own lines
// continue under its first.
void addRow(QStringList &lines, const QString &term, const QString &explanation, int column)
{
    const QStringList parts = explanation.split(QLatin1Char('\n'));
    QString first = term;
    first += term.size() >= column ? QStringLiteral("  ") : QString(column - term.size(), QLatin1Char(' '));
    lines << wrapped(first + parts.front(), column);
    for (int i = 1; i < parts.size(); ++i)
        lines << wrapped(QString(column, QLatin1Char(' ')) + parts[i], column);
}

} // namespace

void printUsage(std::ostream &out, CommandProgram program)
{
    const bool window = program == CommandProgram::Window;
    const QString self = QString::fromLatin1(programName(program));
    const QString other = QString::fromLatin1(programName(window ? CommandProgram::Cli : CommandProgram::Window));

    QStringList synopsis;
    synopsis << (window ? QStringLiteral("[--help] [--version] ") + translated(QT_TRANSLATE_NOOP("CommandLine", "[ФАЙЛ]"))
                        : QStringLiteral("--help | --version"))
             << translated(QT_TRANSLATE_NOOP("CommandLine", "--wipe-file ФАЙЛ... --algorithm ИМЯ [--search-volume] [--fill-freed] [--yes] [--no-journal] [--json] [--quiet]"))
             << translated(QT_TRANSLATE_NOOP("CommandLine", "--wipe-token НОМЕР --algorithm ИМЯ (--pin-stdin | --pin-file ФАЙЛ) [--yes] [--no-journal] [--json] [--quiet]"))
             << QStringLiteral("--list-tokens [--json]")
             << translated(QT_TRANSLATE_NOOP("CommandLine", "--journal | --verify-journal [--key КЛЮЧ]"));
    if (window)
        synopsis << translated(QT_TRANSLATE_NOOP("CommandLine", "--act ФАЙЛ.pdf [--from ДАТА] [--to ДАТА]"));
    synopsis << translated(QT_TRANSLATE_NOOP("CommandLine", "--public-key | --certificate НОМЕР ФАЙЛ.json | --verify-certificate ФАЙЛ.json [--key КЛЮЧ]"))
             << translated(QT_TRANSLATE_NOOP("CommandLine", "--verify-collection КАТАЛОГ"))
             << QStringLiteral("--stamp-pending");

    QStringList lines;
    const QString usage = translated(QT_TRANSLATE_NOOP("CommandLine", "Использование:")) + QLatin1Char(' ');
    for (int i = 0; i < synopsis.size(); ++i)
        lines << wrapped((i == 0 ? usage : QString(usage.size(), QLatin1Char(' '))) + self + QLatin1Char(' ') + synopsis[i],
                         usage.size() + self.size() + 3);
    lines << QString();
    lines << (window ? translated(QT_TRANSLATE_NOOP("CommandLine", "Без параметров открывает окно, которое перезаписывает и удаляет один\n"
                                 "ключевой контейнер: файл или ключевой контейнер на носителе PKCS#11.\n"
                                 "С именем ФАЙЛА окно открывается с этим файлом в поле пути; удаляется\n"
                                 "он только после подтверждения в окне. Те же режимы без окна\n"
                                 "и без графических библиотек — у %1."))
                     : translated(QT_TRANSLATE_NOOP("CommandLine", "Перезаписывает и удаляет ключевые контейнеры без окна и без дисплея:\n"
                                 "файлы и ключевые контейнеры на носителях PKCS#11. Окно и акт\n"
                                 "уничтожения в PDF (--act) — у %1: акт рисуется графическими\n"
                                 "средствами Qt.")))
                 .arg(other);
    lines << QString() << translated(QT_TRANSLATE_NOOP("CommandLine", "Параметры:"));
    for (const CommandOption &option : kOptions) {
        if (!option.help)
            continue;
        QString term = QStringLiteral("  ") + (option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName))
                                                                 : QStringLiteral("    "));
        term += QLatin1String(option.longName);
        if (option.argument)
            term += QLatin1Char(' ') + translated(option.argument);
        QString help = translated(option.help);
        if (option.windowOnly && !window)
            help += translated(QT_TRANSLATE_NOOP("CommandLine", "\n(только %1)")).arg(other);
        addRow(lines, term, help, 26);
    }
    lines << QString()
          << translated(QT_TRANSLATE_NOOP("CommandLine", "Без --yes подтверждение запрашивается в терминале; без терминала\n"
                       "ничего не удаляется. Сообщения выводятся в стандартный поток ошибок."));
    lines << QString() << translated(QT_TRANSLATE_NOOP("CommandLine", "Коды возврата:"));
    for (int i = 0; i < kExitDocCount; ++i)
        addRow(lines, QStringLiteral("  %1").arg(kExitDocs[i].code, 2), translated(kExitDocs[i].meaning), 6);
    lines << translated(QT_TRANSLATE_NOOP("CommandLine", "При нескольких файлах итог — самый серьезный код."));
    lines << QString();
    if (window)
        lines << translated(QT_TRANSLATE_NOOP("CommandLine", "Параметры самой Qt (-platform, -style, ...) тоже принимаются."));
    lines << translated(QT_TRANSLATE_NOOP("CommandLine", "VELMUX_PKCS11_MODULE=ФАЙЛ[:ФАЙЛ...] — искать носители только в этих\n"
                       "модулях PKCS#11 (в Windows — один файл DLL)."))
          << translated(QT_TRANSLATE_NOOP("CommandLine", "KCC_LANGUAGE=ru|en — язык программы (по умолчанию — язык системы)."));
    // A paragraph whose translation runs past the width.
    QStringList fitted;
    for (const QString &line : lines.join(QLatin1Char('\n')).split(QLatin1Char('\n')))
    {
        int indent = 0;
        while (indent < line.size() && line[indent] == QLatin1Char(' '))
            ++indent;
        fitted << wrapped(line, indent);
    }
    out << fitted.join(QLatin1Char('\n')).toLocal8Bit().toStdString() << '\n';
}
