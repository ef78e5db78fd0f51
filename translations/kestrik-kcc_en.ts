<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru_RU">
<context>
    <name>Certificate</name>
    <message>
        <source>это не сертификат уничтожения</source>
        <translation>this is not a certificate of destruction</translation>
    </message>
    <message>
        <source>нет ключа, которому можно доверять: ключи организации не закреплены и --key не указан; ключ внутри сертификата ничего не доказывает</source>
        <translation>no key to trust: the organisation&apos;s keys are not pinned and --key is not given; the key inside the certificate proves nothing</translation>
    </message>
    <message>
        <source>подписан ключом %1…, которого нет среди закрепленных ключей</source>
        <translation>signed with the key %1…, which is not among the pinned keys</translation>
    </message>
    <message>
        <source>ключ в сертификате не тот, который он называет</source>
        <translation>the key in the certificate is not the one it names</translation>
    </message>
    <message>
        <source>подпись не верна: сертификат изменен</source>
        <translation>the signature does not hold: the certificate was changed</translation>
    </message>
</context>
<context>
    <name>Collection</name>
    <message>
        <source>подписан ключом %1…, которого нет среди закрепленных ключей</source>
        <translation>signed with the key %1…, which is not among the pinned keys</translation>
    </message>
    <message>
        <source>слишком велик для сертификата</source>
        <translation>too large for a certificate</translation>
    </message>
    <message>
        <source>не совпадает с записью %1 журнала %2: запись в сертификате изменена или подменена</source>
        <translation>does not match entry %1 of the journal %2: the entry in the certificate was changed or replaced</translation>
    </message>
    <message>
        <source>событий</source>
        <translation>the events</translation>
    </message>
    <message>
        <source>записи %1 нет ни в собранных журналах, ни среди событий ее установки</source>
        <translation>entry %1 is neither in the collected journals nor among its installation&apos;s events</translation>
    </message>
    <message>
        <source>время записи %1 расходится со временем службы меток: </source>
        <translation>entry %1&apos;s own time disagrees with the authority&apos;s: </translation>
    </message>
</context>
<context>
    <name>CommandAct</name>
    <message>
        <source>дата записывается как ГГГГ-ММ-ДД.</source>
        <translation>a date is written YYYY-MM-DD.</translation>
    </message>
    <message numerus="yes">
        <source>записей в акте: %n. </source>
        <translation>
            <numerusform>%n entry in the act. </numerusform>
            <numerusform>%n entries in the act. </numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Подробнее: %1 --help</source>
        <translation>Try &apos;%1 --help&apos; for more information.</translation>
    </message>
    <message>
        <source>%1 требует дату в виде ГГГГ-ММ-ДД</source>
        <translation>%1 needs a date, YYYY-MM-DD</translation>
    </message>
    <message>
        <source>--algorithm требует одно из: gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr, schneier</source>
        <translation>--algorithm needs one of gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr, schneier</translation>
    </message>
    <message>
        <source>--pin-file требует имя файла</source>
        <translation>--pin-file needs a file name</translation>
    </message>
    <message>
        <source>лишний аргумент «%1»</source>
        <translation>unexpected argument &apos;%1&apos;</translation>
    </message>
    <message>
        <source>параметру «%1» нужно значение</source>
        <translation>option &apos;%1&apos; needs a value</translation>
    </message>
    <message>
        <source>неизвестный параметр «%1»</source>
        <translation>unknown option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--from и --to указываются только с --act</source>
        <translation>--from and --to go with --act</translation>
    </message>
    <message>
        <source>--wipe-file требует хотя бы один файл</source>
        <translation>--wipe-file needs at least one file</translation>
    </message>
    <message>
        <source>для удаления нужен --algorithm</source>
        <translation>a wipe needs --algorithm</translation>
    </message>
    <message>
        <source>--algorithm и --yes указываются только с --wipe-file или --wipe-token</source>
        <translation>--algorithm and --yes go with --wipe-file or --wipe-token</translation>
    </message>
    <message>
        <source>--wipe-token требует --pin-stdin или --pin-file</source>
        <translation>--wipe-token needs --pin-stdin or --pin-file</translation>
    </message>
    <message>
        <source>--pin-stdin и --pin-file указываются только с --wipe-token</source>
        <translation>--pin-stdin and --pin-file go with --wipe-token</translation>
    </message>
    <message>
        <source>--search-volume и --fill-freed указываются только с --wipe-file</source>
        <translation>--search-volume and --fill-freed go only with --wipe-file</translation>
    </message>
    <message>
        <source>--certificate требует номер записи журнала и имя файла</source>
        <translation>--certificate needs a journal entry&apos;s number and a file name</translation>
    </message>
    <message>
        <source>--verify-certificate требует имя файла</source>
        <translation>--verify-certificate needs a file name</translation>
    </message>
    <message>
        <source>--key требует открытый ключ (64 шестнадцатеричные цифры)</source>
        <translation>--key needs a public key (64 hexadecimal digits)</translation>
    </message>
    <message>
        <source>--key указывается только с --verify-certificate или --verify-journal</source>
        <translation>--key goes only with --verify-certificate or --verify-journal</translation>
    </message>
    <message>
        <source>--no-journal указывается только с --wipe-file или --wipe-token</source>
        <translation>--no-journal goes only with --wipe-file or --wipe-token</translation>
    </message>
    <message>
        <source>--verify-collection требует каталог</source>
        <translation>--verify-collection needs a directory</translation>
    </message>
    <message>
        <source>«%1»: сначала укажите режим (--wipe-file ФАЙЛ...); окно с файлом открывает %2</source>
        <translation>&apos;%1&apos;: name a mode first (--wipe-file FILE...); %2 opens the window with a file</translation>
    </message>
    <message>
        <source>акт уничтожения (--act) рисуется графическими средствами Qt, и их в %1 нет: запишите акт командой %2 --act ФАЙЛ.pdf</source>
        <translation>the act of destruction (--act) is drawn with Qt&apos;s graphical classes, which %1 does not have: write the act with %2 --act FILE.pdf</translation>
    </message>
    <message>
        <source>укажите режим: --wipe-file, --wipe-token, --list-tokens, --journal и другие; окно открывает %1</source>
        <translation>name a mode: --wipe-file, --wipe-token, --list-tokens, --journal and others; %1 opens the window</translation>
    </message>
    <message>
        <source>вывести эту справку и выйти</source>
        <translation>print this help and exit</translation>
    </message>
    <message>
        <source>вывести версию и выйти</source>
        <translation>print the version and exit</translation>
    </message>
    <message>
        <source>ФАЙЛ...</source>
        <translation>FILE...</translation>
    </message>
    <message>
        <source>перезаписать и удалить каждый файл по очереди</source>
        <translation>overwrite and delete each file in turn</translation>
    </message>
    <message>
        <source>НОМЕР</source>
        <translation>SERIAL</translation>
    </message>
    <message>
        <source>перезаписать и удалить ключевой контейнер на носителе
с этим серийным номером</source>
        <translation>overwrite and delete the key container on the token
with this serial number</translation>
    </message>
    <message>
        <source>перечислить носители: серийный номер, метка, модель</source>
        <translation>list the tokens: serial number, label, model</translation>
    </message>
    <message>
        <source>вывести журнал уничтожения в формате CSV</source>
        <translation>print the destruction journal as CSV</translation>
    </message>
    <message>
        <source>ФАЙЛ.pdf</source>
        <translation>FILE.pdf</translation>
    </message>
    <message>
        <source>записать акт уничтожения в PDF по записям журнала</source>
        <translation>write an act of destruction as PDF for the journal&apos;s entries</translation>
    </message>
    <message>
        <source>ДАТА</source>
        <translation>DATE</translation>
    </message>
    <message>
        <source>с --act: только записи с этой даты (ГГГГ-ММ-ДД)</source>
        <translation>with --act: only the entries from this date (YYYY-MM-DD)</translation>
    </message>
    <message>
        <source>с --act: только записи по эту дату (ГГГГ-ММ-ДД)</source>
        <translation>with --act: only the entries up to this date (YYYY-MM-DD)</translation>
    </message>
    <message>
        <source>НОМЕР ФАЙЛ.json</source>
        <translation>NUMBER FILE.json</translation>
    </message>
    <message>
        <source>ФАЙЛ.json</source>
        <translation>FILE.json</translation>
    </message>
    <message>
        <source>КЛЮЧ</source>
        <translation>KEY</translation>
    </message>
    <message>
        <source>ИМЯ</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr или
schneier (или его номер, от 0 до 7)</source>
        <translation>gost, dod, hmg-bs, hmg-es, rcmp, ar380, vsitr or
schneier (or its number, 0 to 7)</translation>
    </message>
    <message>
        <source>прочитать PIN-код из первой строки стандартного ввода</source>
        <translation>read the PIN from the first line of standard input</translation>
    </message>
    <message>
        <source>ФАЙЛ</source>
        <translation>FILE</translation>
    </message>
    <message>
        <source>прочитать PIN-код из первой строки ФАЙЛА</source>
        <translation>read the PIN from the first line of FILE</translation>
    </message>
    <message>
        <source>после удаления файла прочитать весь его том и найти
оставшиеся блоки ключа (нужны права на чтение устройства)</source>
        <translation>after deleting a file, read its whole volume and find
blocks of the key left there (needs read access to the device)</translation>
    </message>
    <message>
        <source>если проходы легли на новое место, заполнить
освобожденное место, пока оно не покроет прежние блоки</source>
        <translation>where the passes went elsewhere, fill the freed space
until it covers the former blocks</translation>
    </message>
    <message>
        <source>не спрашивать подтверждения</source>
        <translation>do not ask for confirmation</translation>
    </message>
    <message>
        <source>все цели уничтожены</source>
        <translation>every target destroyed</translation>
    </message>
    <message>
        <source>другая ошибка (нет библиотеки контейнеров, PIN-код не прочитан)</source>
        <translation>another failure (no container library, a PIN that could not be read)</translation>
    </message>
    <message>
        <source>неверный вызов</source>
        <translation>bad usage</translation>
    </message>
    <message>
        <source>не подтверждено</source>
        <translation>not confirmed</translation>
    </message>
    <message>
        <source>нет такого файла, носителя или контейнера; ничего не тронуто</source>
        <translation>no such file, token or container; nothing touched</translation>
    </message>
    <message>
        <source>отказано: не обычный файл, непригодное имя, два носителя
с этим номером, два контейнера; ничего не тронуто</source>
        <translation>refused: not a regular file, an unusable name, two tokens
with the serial, two containers; nothing touched</translation>
    </message>
    <message>
        <source>отказ носителя: неверный, заблокированный или не заданный
PIN-код, сбой записи или удаления</source>
        <translation>the token refused: wrong, locked or unset PIN,
a failed write or deletion</translation>
    </message>
    <message>
        <source>удалено, но носитель или файловая система не дали
перезаписать контейнер на месте</source>
        <translation>deleted, but the token or the file system did not let
the container be overwritten in place</translation>
    </message>
    <message>
        <source>цепочка журнала нарушена, или журнал не читается</source>
        <translation>the journal&apos;s chain is broken, or the journal cannot be read</translation>
    </message>
    <message>
        <source>удалено, но дошли ли проходы до собственных блоков
файла, проверить нельзя</source>
        <translation>deleted, but whether the passes reached the file&apos;s
own blocks cannot be checked</translation>
    </message>
    <message>
        <source>удалено, но на томе остались блоки ключа, или заполнение
дошло не до всех</source>
        <translation>deleted, but blocks of the key are left on the volume,
or the fill did not reach them all</translation>
    </message>
    <message>
        <source>удалено, но проверить том, как просили, не удалось</source>
        <translation>deleted, but the volume could not be searched as asked</translation>
    </message>
    <message>
        <source>сертификат не прошел проверку</source>
        <translation>the certificate does not verify</translation>
    </message>
    <message>
        <source>носитель принял удаление, но проверить, что контейнера
больше нет, не удалось</source>
        <translation>the token took the deletion, but its absence
could not be checked</translation>
    </message>
    <message>
        <source>[ФАЙЛ]</source>
        <translation>[FILE]</translation>
    </message>
    <message>
        <source>--act ФАЙЛ.pdf [--from ДАТА] [--to ДАТА]</source>
        <translation>--act FILE.pdf [--from DATE] [--to DATE]</translation>
    </message>
    <message>
        <source>--public-key | --certificate НОМЕР ФАЙЛ.json | --verify-certificate ФАЙЛ.json [--key КЛЮЧ]</source>
        <translation>--public-key | --certificate NUMBER FILE.json | --verify-certificate FILE.json [--key KEY]</translation>
    </message>
    <message>
        <source>Использование:</source>
        <translation>Usage:</translation>
    </message>
    <message>
        <source>Без параметров открывает окно, которое перезаписывает и удаляет один
ключевой контейнер: файл или ключевой контейнер на носителе PKCS#11.
С именем ФАЙЛА окно открывается с этим файлом в поле пути; удаляется
он только после подтверждения в окне. Те же режимы без окна
и без графических библиотек — у %1.</source>
        <translation>Without options, opens the window that overwrites and deletes one
cryptographic key container: a file, or the key container on a PKCS#11 token.
With a FILE, the window opens with that file in its path field; it is
deleted only once confirmed in the window. The same modes without a window
or graphical libraries: %1.</translation>
    </message>
    <message>
        <source>Перезаписывает и удаляет ключевые контейнеры без окна и без дисплея:
файлы и ключевые контейнеры на носителях PKCS#11. Окно и акт
уничтожения в PDF (--act) — у %1: акт рисуется графическими
средствами Qt.</source>
        <translation>Overwrites and deletes cryptographic key containers without a window or a
display: files, and key containers on PKCS#11 tokens. The window and the act
of destruction as PDF (--act) are %1&apos;s: the act is drawn with Qt&apos;s
graphical classes.</translation>
    </message>
    <message>
        <source>Параметры:</source>
        <translation>Options:</translation>
    </message>
    <message>
        <source>
(только %1)</source>
        <translation>
(%1 only)</translation>
    </message>
    <message>
        <source>Без --yes подтверждение запрашивается в терминале; без терминала
ничего не удаляется. Сообщения выводятся в стандартный поток ошибок.</source>
        <translation>Without --yes the confirmation is asked on the terminal; with no terminal
nothing is wiped. Messages go to standard error.</translation>
    </message>
    <message>
        <source>Коды возврата:</source>
        <translation>Exit status:</translation>
    </message>
    <message>
        <source>При нескольких файлах итог — самый серьезный код.</source>
        <translation>With several files the gravest status wins.</translation>
    </message>
    <message>
        <source>Параметры самой Qt (-platform, -style, ...) тоже принимаются.</source>
        <translation>Qt&apos;s own options (-platform, -style, ...) are accepted as well.</translation>
    </message>
    <message>
        <source>VELMUX_PKCS11_MODULE=ФАЙЛ[:ФАЙЛ...] — искать носители только в этих
модулях PKCS#11 (в Windows — один файл DLL).</source>
        <translation>VELMUX_PKCS11_MODULE=FILE[:FILE...] looks for tokens in these PKCS#11
modules alone (on Windows one DLL).</translation>
    </message>
    <message>
        <source>KCC_LANGUAGE=ru|en — язык программы (по умолчанию — язык системы).</source>
        <translation>KCC_LANGUAGE=ru|en chooses the language (by default the system&apos;s).</translation>
    </message>
    <message>
        <source>проверить цепочку хешей журнала, подписи записей (ключом
из --key или закрепленным ключом организации) и его конец</source>
        <translation>check the journal&apos;s hash chain, the entries&apos; signatures (with the key
from --key or the organisation&apos;s pinned key) and its end</translation>
    </message>
    <message>
        <source>проверить подпись сертификата ключом из --key
или закрепленным ключом организации</source>
        <translation>check a certificate&apos;s signature with the key from --key
or the organisation&apos;s pinned key</translation>
    </message>
    <message>
        <source>КАТАЛОГ</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>проверить закрепленными ключами все журналы
(*.jsonl с *.jsonl.head) и сертификаты (*.json),
собранные с многих хостов, и вывести сводку</source>
        <translation>check every journal (*.jsonl with
*.jsonl.head) and certificate (*.json) collected
from many hosts with the pinned keys; print a summary</translation>
    </message>
    <message>
        <source>удалять, даже если запись о начале удаления не удалось
сохранить в журнале (выбор уходит в системный журнал)</source>
        <translation>wipe even when the wipe&apos;s start could not be
recorded in the journal (the choice goes to the system log)</translation>
    </message>
    <message>
        <source>журнал или сертификат не проверен: нет ключа, ключ
не из списка организации или нет головы журнала</source>
        <translation>the journal or certificate is not verified: no key, a key
not on the organisation&apos;s list, or no journal head</translation>
    </message>
    <message>
        <source>удаление не начато: запись о нем не сохранена в журнале</source>
        <translation>the wipe was not started: its record could not be written to the journal</translation>
    </message>
    <message>
        <source>завершающая запись удаления не сохранена в журнале</source>
        <translation>the wipe&apos;s ending entry could not be written to the journal</translation>
    </message>
    <message>
        <source>--journal | --verify-journal [--key КЛЮЧ]</source>
        <translation>--journal | --verify-journal [--key KEY]</translation>
    </message>
    <message>
        <source>--verify-collection КАТАЛОГ</source>
        <translation>--verify-collection DIR</translation>
    </message>
    <message>
        <source>PIN-код никогда не берется из командной строки: укажите --pin-stdin или --pin-file</source>
        <translation>a PIN is never taken from the command line: use --pin-stdin or --pin-file</translation>
    </message>
    <message>
        <source>файл опустошен и удален, но другая программа тем временем
записала в него снова: ключ может быть в нем</source>
        <translation>the file was emptied and removed, but another program wrote
into it meanwhile: the key may be in it</translation>
    </message>
    <message>
        <source>%1 и %2 нельзя указывать вместе</source>
        <translation>%1 and %2 cannot be used together</translation>
    </message>
    <message>
        <source>%1 не принимает значения</source>
        <translation>%1 takes no value</translation>
    </message>
    <message>
        <source>--wipe-token требует серийный номер носителя</source>
        <translation>--wipe-token needs the serial number of a token</translation>
    </message>
    <message>
        <source>--act требует имя PDF-файла для записи</source>
        <translation>--act needs the PDF file to write</translation>
    </message>
    <message>
        <source>вывести открытый ключ, которым подписаны журнал
и сертификаты; на новой установке сначала
создать его</source>
        <translation>print the public key the journal and the
certificates are signed with; on a new
installation, make it first</translation>
    </message>
    <message>
        <source>с --verify-journal или --verify-certificate: открытый
ключ (64 шестнадцатеричные цифры), не его отпечаток</source>
        <translation>with --verify-journal or --verify-certificate: the public
key (64 hexadecimal digits), not its fingerprint</translation>
    </message>
    <message>
        <source>записать подписанный сертификат уничтожения
по записи журнала с этим номером (last: по последнему
удалению)</source>
        <translation>write a signed certificate of destruction
from the journal entry with this number (last: from the
last wipe)</translation>
    </message>
    <message>
        <source>--quiet указывается только с --wipe-file или --wipe-token</source>
        <translation>--quiet goes only with --wipe-file or --wipe-token</translation>
    </message>
    <message>
        <source>без строки хода удаления; из итогов только неудачи</source>
        <translation>no progress line; of the results only the failures</translation>
    </message>
    <message>
        <source>не завершено: удаление остановлено после изменения файла,
файл оставлен (ключ мог быть перезаписан, файл опустошен)</source>
        <translation>incomplete: the wipe stopped after changing the file, which
was kept (the key may be overwritten, the file emptied)</translation>
    </message>
    <message>
        <source>удаление остановлено до первого изменения (нет права
на запись, отмена до записи); ничего не тронуто</source>
        <translation>the wipe stopped before its first change (no write
permission, cancelled before writing); nothing touched</translation>
    </message>
    <message>
        <source>--wipe-file ФАЙЛ... --algorithm ИМЯ [--search-volume] [--fill-freed] [--yes] [--no-journal] [--json] [--quiet]</source>
        <translation>--wipe-file FILE... --algorithm NAME [--search-volume] [--fill-freed] [--yes] [--no-journal] [--json] [--quiet]</translation>
    </message>
    <message>
        <source>--wipe-token НОМЕР --algorithm ИМЯ (--pin-stdin | --pin-file ФАЙЛ) [--yes] [--no-journal] [--json] [--quiet]</source>
        <translation>--wipe-token SERIAL --algorithm NAME (--pin-stdin | --pin-file FILE) [--yes] [--no-journal] [--json] [--quiet]</translation>
    </message>
    <message>
        <source>запросить у службы меток времени из настроек
метки для всех записей, которые их ждут</source>
        <translation>ask the time-stamping authority of the settings
for every stamp still pending</translation>
    </message>
    <message>
        <source>--json не указывается с --act: акт записывается в файл PDF</source>
        <translation>--json is not taken with --act: the act is written to a PDF file</translation>
    </message>
    <message>
        <source>--json указывается с режимом: --wipe-file, --list-tokens, --journal и другими</source>
        <translation>--json goes with a mode: --wipe-file, --list-tokens, --journal and others</translation>
    </message>
    <message>
        <source>итог режима одним документом JSON в стандартный
вывод (кроме --act)</source>
        <translation>the mode&apos;s result as one JSON document on standard
output (all but --act)</translation>
    </message>
</context>
<context>
    <name>CommandRun</name>
    <message>
        <source>ничего не удалено: удаление не подтверждено: ответ «нет».</source>
        <translation>nothing was wiped: not confirmed: the answer was no.</translation>
    </message>
    <message>
        <source>ничего не удалено: удаление не подтверждено (ответьте в терминале или укажите --yes).</source>
        <translation>nothing was wiped: not confirmed (answer on a terminal, or pass --yes).</translation>
    </message>
    <message>
        <source>[да/нет]: </source>
        <translation>[yes/no]: </translation>
    </message>
    <message>
        <source>PIN-код не прочитан; ничего не удалено.</source>
        <translation>the PIN could not be read; nothing was wiped.</translation>
    </message>
    <message>
        <source>%1: PIN-код не прочитан: %2; ничего не удалено.</source>
        <translation>%1: the PIN could not be read: %2; nothing was wiped.</translation>
    </message>
    <message>
        <source>модуль PKCS#11 не загружен: %1.</source>
        <translation>PKCS#11 module not loaded: %1.</translation>
    </message>
    <message>
        <source>носитель с таким серийным номером не найден.</source>
        <translation>no token with this serial number was found.</translation>
    </message>
    <message>
        <source>носителей с таким серийным номером несколько (%1); ничего не изменено.</source>
        <translation>there are several tokens with this serial number (%1); nothing was changed.</translation>
    </message>
    <message>
        <source>--key требует открытый ключ (64 шестнадцатеричные цифры)</source>
        <translation>--key needs a public key (64 hexadecimal digits)</translation>
    </message>
    <message>
        <source>--key: это отпечаток ключа, а не сам ключ; открытый ключ печатает --public-key</source>
        <translation>--key: that is the key&apos;s fingerprint, not the key; --public-key prints the public key</translation>
    </message>
    <message>
        <source>служба меток времени не настроена (%1, %2).</source>
        <translation>no time-stamping authority is set (%1, %2).</translation>
    </message>
    <message>
        <source>Метки времени поставлены: %1, еще ожидают: %2.</source>
        <translation>Timestamps made: %1, still pending: %2.</translation>
    </message>
    <message>
        <source>метка времени отложена: %1</source>
        <translation>timestamp pending: %1</translation>
    </message>
    <message>
        <source>(журнал прежней версии %1) </source>
        <translation>(the journal of an earlier %1) </translation>
    </message>
    <message>
        <source>ключ подписи этой установки создан: %1 (отпечаток ключа %2).</source>
        <translation>this installation&apos;s signing key was made: %1 (key fingerprint %2).</translation>
    </message>
    <message>
        <source>в журнале нет завершающих записей.</source>
        <translation>the journal has no ending entries.</translation>
    </message>
    <message>
        <source>в журнале нет завершающей записи с номером %1.</source>
        <translation>the journal has no ending entry numbered %1.</translation>
    </message>
    <message>
        <source>запись %1 — метка времени записи %2; сертификат выдается по записи %2.</source>
        <translation>entry %1 is the timestamp of entry %2; the certificate is written from entry %2.</translation>
    </message>
    <message>
        <source>запись %1 открывает или продолжает удаление, а не завершает его; сертификат выдается по его завершающей записи %2.</source>
        <translation>entry %1 begins or continues a wipe and does not end it; the certificate is written from its ending entry %2.</translation>
    </message>
    <message>
        <source>запись %1 открывает или продолжает удаление, у которого нет завершающей записи: оно не завершено.</source>
        <translation>entry %1 begins or continues a wipe that has no ending entry: it did not finish.</translation>
    </message>
    <message>
        <source>сертификат не выдается: %1</source>
        <translation>no certificate is issued: %1</translation>
    </message>
    <message>
        <source>удаление было прервано, что осталось на носителе, неизвестно</source>
        <translation>the wipe was interrupted; what is left on the medium is unknown</translation>
    </message>
    <message>
        <source>контейнер не уничтожен или его уничтожение не доказано</source>
        <translation>the container was not destroyed, or its destruction is not proven</translation>
    </message>
    <message>
        <source>запись %1 заканчивается состоянием %2: %3; сертификат не выдается.</source>
        <translation>entry %1 ends in the state %2: %3; no certificate is issued.</translation>
    </message>
    <message>
        <source>метка времени ожидается (выдан до нее).</source>
        <translation>timestamp pending (written before it came).</translation>
    </message>
    <message>
        <source>метка времени подлинная: %1 по службе меток.</source>
        <translation>the timestamp is genuine: %1 by the authority.</translation>
    </message>
    <message>
        <source>метка времени не проверена: %1.</source>
        <translation>the timestamp is not verified: %1.</translation>
    </message>
    <message>
        <source>метка времени не прошла проверку: %1.</source>
        <translation>the timestamp does not verify: %1.</translation>
    </message>
    <message>
        <source>ключа из --key нет среди закрепленных ключей (%1)</source>
        <translation>the key given with --key is not among the pinned keys (%1)</translation>
    </message>
    <message>
        <source>сертификат подлинный (отпечаток ключа %1…).</source>
        <translation>the certificate is genuine (key fingerprint %1…).</translation>
    </message>
    <message>
        <source>сертификат не проверен: %1.</source>
        <translation>the certificate is not verified: %1.</translation>
    </message>
    <message>
        <source>сертификат не прошел проверку: %1.</source>
        <translation>the certificate does not verify: %1.</translation>
    </message>
    <message>
        <source>Файлов событий: %1, событий с записями: %2; установок (хост и ключ): %3, записей по событиям: %4.</source>
        <translation>Event files: %1, events carrying entries: %2; installations (host and key): %3, entries from the events: %4.</translation>
    </message>
    <message>
        <source>Удаления по итогу (события):</source>
        <translation>Wipes by outcome (events):</translation>
    </message>
    <message>
        <source>Хосты, чьи записи целы: %1.</source>
        <translation>Hosts whose records are whole: %1.</translation>
    </message>
    <message>
        <source>Хосты с находками: %1.</source>
        <translation>Hosts with findings: %1.</translation>
    </message>
    <message>
        <source>каталога нет.</source>
        <translation>no such directory.</translation>
    </message>
    <message>
        <source>Не проверено: нет закрепленных ключей организации (%1). Журналов: %2, сертификатов: %3.</source>
        <translation>Not verified: the organisation&apos;s keys are not pinned (%1). Journals: %2, certificates: %3.</translation>
    </message>
    <message>
        <source>Хостов: %1, ключей подписи: %2.</source>
        <translation>Hosts: %1, signing keys: %2.</translation>
    </message>
    <message>
        <source>Журналов: %1, записей в них: %2.</source>
        <translation>Journals: %1, entries in them: %2.</translation>
    </message>
    <message>
        <source>Удаления по итогу:</source>
        <translation>Wipes by end state:</translation>
    </message>
    <message>
        <source>Сертификатов: %1, сверено с записями журналов: %2, не сверено (журнал не собран или не прошел проверку): %3.</source>
        <translation>Certificates: %1, matched with their journal entries: %2, not matched (the journal not collected or not verified): %3.</translation>
    </message>
    <message>
        <source>Не проверено: записи ключей о последней подписанной записи (файлы *.last рядом с ключами) не собираются; журнал, удаленный на хосте вместе с головой, виден только там (--verify-journal).</source>
        <translation>Not checked: the keys&apos; records of the last entry they signed (the *.last files beside the keys) are not collected; a journal deleted on its host together with its head is seen only there (--verify-journal).</translation>
    </message>
    <message>
        <source>Ошибок: %1.</source>
        <translation>Failures: %1.</translation>
    </message>
    <message>
        <source>Метки времени: поставлено %1, ожидают %2, без метки %3.</source>
        <translation>Timestamps: stamped %1, pending %2, unstamped %3.</translation>
    </message>
    <message>
        <source>Метки не проверены: %1.</source>
        <translation>Timestamps not verified: %1.</translation>
    </message>
    <message>
        <source>запись %1 завершает удаление, которое потом было дописано; сертификат выдается по его последней завершающей записи %2.</source>
        <translation>entry %1 ends a wipe that was completed later; the certificate is written from its last ending entry %2.</translation>
    </message>
</context>
<context>
    <name>FileWipeReport</name>
    <message>
        <source>«%1»</source>
        <translation>“%1”</translation>
    </message>
    <message>
        <source>%1 — это каталог, а не файл.</source>
        <translation>%1 is a directory, not a file.</translation>
    </message>
    <message>
        <source>%1 — символическая ссылка на %2. Ссылка не может быть ключевым контейнером: укажите сам файл.</source>
        <translation>%1 is a symbolic link to %2. A link cannot be a key container: choose the file itself.</translation>
    </message>
    <message>
        <source>%1 — именованный канал, а не файл.</source>
        <translation>%1 is a named pipe, not a file.</translation>
    </message>
    <message>
        <source>%1 — сокет, а не файл.</source>
        <translation>%1 is a socket, not a file.</translation>
    </message>
    <message>
        <source>%1 — устройство, а не файл.</source>
        <translation>%1 is a device, not a file.</translation>
    </message>
    <message>
        <source>Путь содержит символы, которые не могут входить в имя файла в этой системе.</source>
        <translation>The path contains characters that cannot be part of a file name on this system.</translation>
    </message>
    <message>
        <source>Имя %1 было подменено другим объектом во время открытия.</source>
        <translation>The name %1 was replaced by another object while it was being opened.</translation>
    </message>
    <message>
        <source>%1 не является обычным файлом.</source>
        <translation>%1 is not a regular file.</translation>
    </message>
    <message>
        <source>На носитель записано проходов: %1 из %2.</source>
        <translation>Passes written to the storage medium: %1 of %2.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны на носитель, но файл не удалось усечь.</source>
        <translation>All passes (%1) were written to the storage medium, but the file could not be truncated.</translation>
    </message>
    <message>
        <source> Пустой файл остался под именем %1.</source>
        <translation> An empty file remains under the name %1.</translation>
    </message>
    <message>
        <source>Удаление отменено. </source>
        <translation>The wipe was cancelled. </translation>
    </message>
    <message>
        <source>%1: %2.</source>
        <translation>%1: %2.</translation>
    </message>
    <message>
        <source> Ничего не изменено.</source>
        <translation> Nothing was changed.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны, но при чтении обратно с байта %2 на носителе не то, что записал последний проход.</source>
        <translation>All passes (%1) were written, but reading back from byte %2 the medium does not hold what the last pass wrote.</translation>
    </message>
    <message>
        <source>неизвестна</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source> и прочитаны обратно в обход кэша: на носителе то, что записал последний проход</source>
        <translation> and read back past the cache: the medium holds what the last pass wrote</translation>
    </message>
    <message>
        <source> и прочитаны обратно (чтение могло быть получено из кэша системы): совпадает с последним проходом</source>
        <translation> and read back (the read may have been answered from the system&apos;s cache): it matches the last pass</translation>
    </message>
    <message>
        <source>; прочитать их обратно для сравнения не удалось</source>
        <translation>; they could not be read back for comparison</translation>
    </message>
    <message>
        <source>Проходы записаны поверх собственных блоков файла (файловая система %1)</source>
        <translation>The passes were written over the file&apos;s own blocks (file system %1)</translation>
    </message>
    <message>
        <source>Проходы записаны и прочитаны обратно, но не поверх блоков, где лежал ключ.</source>
        <translation>The passes were written and read back, but not over the blocks that held the key.</translation>
    </message>
    <message>
        <source>Попали ли проходы на блоки, где лежал ключ, проверить нельзя (файловая система %1).</source>
        <translation>Whether the passes reached the blocks that held the key cannot be checked (file system %1).</translation>
    </message>
    <message>
        <source>Файловая система %1 записывает изменения на новое место (копирование при записи): блоки, где лежит ключ, проходы не перезапишут.</source>
        <translation>The file system %1 writes changes to new blocks (copy-on-write): the passes will not overwrite the blocks that hold the key.</translation>
    </message>
    <message>
        <source>Блоки файла общие с другим файлом или снимком файловой системы: там ключ останется.</source>
        <translation>The file&apos;s blocks are shared with another file or a file-system snapshot: the key stays there.</translation>
    </message>
    <message>
        <source>Файл хранится сжатым: каждый проход ложится на новое место.</source>
        <translation>The file is stored compressed: every pass lands in a new place.</translation>
    </message>
    <message>
        <source>После прохода файловая система разместила файл в других блоках: прежние блоки не перезаписаны.</source>
        <translation>After a pass the file system placed the file in other blocks: the former blocks were not overwritten.</translation>
    </message>
    <message>
        <source>Файл лежит на сетевой файловой системе (%1): что происходит с блоками на сервере, проверить нельзя.</source>
        <translation>The file is on a network file system (%1): what happens to the blocks on the server cannot be checked.</translation>
    </message>
    <message>
        <source>Файл лежит на файловой системе FUSE (%1): как она хранит данные, проверить нельзя.</source>
        <translation>The file is on a FUSE file system (%1): how it stores data cannot be checked.</translation>
    </message>
    <message>
        <source>Файл лежит на наложенной файловой системе (overlay): нижние слои проверить нельзя.</source>
        <translation>The file is on an overlay file system: its lower layers cannot be checked.</translation>
    </message>
    <message>
        <source>Файл лежит в памяти (%1): проходы перезаписывают его страницы, но выгруженные ранее в файл подкачки копии проверить нельзя.</source>
        <translation>The file is in memory (%1): the passes overwrite its pages, but copies swapped out earlier cannot be checked.</translation>
    </message>
    <message>
        <source>Файловая система %1 не сообщает, где лежат блоки файла.</source>
        <translation>The file system %1 does not tell where the file&apos;s blocks are.</translation>
    </message>
    <message>
        <source>Как файловая система %1 размещает перезаписанные данные, неизвестно.</source>
        <translation>How the file system %1 places overwritten data is not known.</translation>
    </message>
    <message>
        <source>Данные шифруются ниже файловой системы: на носитель попадает только шифротекст.</source>
        <translation>The data is encrypted below the file system: only ciphertext reaches the medium.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны на носитель, файл усечен до нуля и имя %2 удалено, но записать удаление на носитель не удалось: при сбое питания пустой файл может снова появиться под этим именем.</source>
        <translation>All passes (%1) were written to the storage medium, the file was truncated to zero and the name %2 was removed, but the removal could not be written to the medium: after a power failure an empty file may appear under this name again.</translation>
    </message>
    <message>
        <source>Файл лежит на наложенной файловой системе (overlay): проходы пишутся в копию файла в верхнем слое, а исходный файл %1 в нижнем слое они не затрагивают. Ключ в нем остается, удалить его можно только на файловой системе этого слоя.</source>
        <translation>The file is on an overlay file system: the passes go to the file&apos;s copy in the upper layer and do not touch the original file %1 in the lower layer. The key stays in it; it can only be deleted on that layer&apos;s file system.</translation>
    </message>
    <message>
        <source>Носитель — флеш-память (%1): контроллер может хранить переназначенные копии, которые уничтожает только собственная очистка всего носителя (sanitize, crypto erase); перезапись файла до них не доходит.</source>
        <translation>The medium is flash memory (%1): its controller may keep remapped copies that only the whole device&apos;s own sanitize or crypto erase destroys; overwriting a file does not reach them.</translation>
    </message>
    <message>
        <source> Файл оставлен на месте и не удален; удаление можно повторить.</source>
        <translation> The file was left in place and not deleted; the wipe can be retried.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны на носитель и файл усечен до нуля, но его не удалось удалить.</source>
        <translation>All passes (%1) were written to the storage medium and the file was truncated to zero, but it could not be deleted.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны на носитель и файл усечен до нуля, но имя %2 теперь ведет к другому объекту, поэтому оно не тронуто.</source>
        <translation>All passes (%1) were written to the storage medium and the file was truncated to zero, but the name %2 now leads to another object, so it was left untouched.</translation>
    </message>
    <message>
        <source>Во время удаления файл изменила другая программа (изменился размер или файл подменен), поэтому удаление остановлено. </source>
        <translation>Another program changed the file during the wipe (its size changed or the file was replaced), so the wipe was stopped. </translation>
    </message>
    <message>
        <source>Удаление отменено. Файл не изменен.</source>
        <translation>The wipe was cancelled. The file was not changed.</translation>
    </message>
    <message>
        <source>Файл не изменен.</source>
        <translation>The file was not changed.</translation>
    </message>
    <message>
        <source>У файла были и другие имена (жесткие ссылки): %1. Они ведут к тому же файлу, теперь перезаписанному и пустому.</source>
        <translation>The file had other names as well (hard links): %1. They lead to the same file, now overwritten and empty.</translation>
    </message>
    <message>
        <source>Файловая система ведет журнал данных: копии ключа остаются в ее журнале.</source>
        <translation>The file system journals data: copies of the key stay in its journal.</translation>
    </message>
    <message>
        <source>Содержимое файла хранится в служебных записях файловой системы и пишется через ее журнал.</source>
        <translation>The file&apos;s content is kept in the file system&apos;s own records and written through its journal.</translation>
    </message>
    <message>
        <source>Файловая система лежит в файле-образе на другой файловой системе; ее ограничения тоже действуют.</source>
        <translation>The file system lies in an image file on another file system, whose limits apply too.</translation>
    </message>
    <message>
        <source>PID %1</source>
        <translation>PID %1</translation>
    </message>
    <message>
        <source>%1 (PID %2)</source>
        <translation>%1 (PID %2)</translation>
    </message>
    <message>
        <source>Файл %1 открыт другой программой.</source>
        <translation>The file %1 is open in another program.</translation>
    </message>
    <message>
        <source>Файл %1 открыт другой программой: %2.</source>
        <translation>The file %1 is open in another program: %2.</translation>
    </message>
    <message>
        <source> Пока файл открыт, она может снова записать в него ключ, поэтому удаление не начато. Закройте ее и повторите удаление. Файл не изменен.</source>
        <translation> While the file is open, it can write the key into it again, so the deletion was not started. Close that program and repeat the deletion. The file is unchanged.</translation>
    </message>
    <message>
        <source>Все проходы (%1) записаны на носитель, файл усечен до нуля и имя %2 удалено, но после усечения в файл записала данные другая программа, у которой он открыт: в них может быть ключ. Файл без имени остается на носителе, пока эта программа его не закроет.</source>
        <translation>All passes (%1) reached the medium, the file was truncated to zero and the name %2 removed, but after the truncation another program that has the file open wrote data into it, which may hold the key. The nameless file stays on the medium until that program closes it.</translation>
    </message>
    <message>
        <source>В файле не было данных, только пустоты, не занимавшие места на носителе: перезаписывать было нечего, проходы не записывались.</source>
        <translation>The file held no data, only holes that took no space on the medium: there was nothing to overwrite, and no pass was written.</translation>
    </message>
    <message>
        <source>Файл был пуст: перезаписывать было нечего, проходы не записывались.</source>
        <translation>The file was empty: there was nothing to overwrite, and no pass was written.</translation>
    </message>
    <message numerus="yes">
        <source>Данные занимали %1 байт из %2 байт размера файла; остальное — пустоты без места на носителе, их проходы не записывали.</source>
        <translation>
            <numerusform>The data took %1 byte of the file&apos;s %2 bytes; the rest are holes with no space on the medium, which the passes did not write.</numerusform>
            <numerusform>The data took %1 bytes of the file&apos;s %2 bytes; the rest are holes with no space on the medium, which the passes did not write.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FleetCheck</name>
    <message>
        <source>хост %1, ключ %2…: </source>
        <translation>host %1, key %2…: </translation>
    </message>
    <message>
        <source>ключа нет среди закрепленных ключей: события не проверены</source>
        <translation>the key is not among the pinned keys: the events are not checked</translation>
    </message>
    <message>
        <source>событие несет не запись журнала</source>
        <translation>the event carries no journal entry</translation>
    </message>
    <message>
        <source>событие записи %1 не несет самой записи (длиннее строки системного журнала), а в собранном журнале ее нет</source>
        <translation>the event of entry %1 does not carry the entry (longer than a syslog line), and the collected journal does not hold it</translation>
    </message>
    <message>
        <source>две разные записи %1 (другая: %2:%3)</source>
        <translation>two different entries %1 (the other: %2:%3)</translation>
    </message>
    <message>
        <source>записей %1–%2 нет среди событий (перед записью %3)</source>
        <translation>entries %1–%2 are missing from the events (before entry %3)</translation>
    </message>
    <message>
        <source>запись %1 не сцеплена с записью %2: одна из них изменена</source>
        <translation>entry %1 does not chain onto entry %2: one of them was changed</translation>
    </message>
    <message>
        <source>подпись записи %1 не сходится: запись изменена</source>
        <translation>the signature of entry %1 does not hold: the entry was changed</translation>
    </message>
    <message>
        <source>запись %1 без подписи</source>
        <translation>entry %1 is not signed</translation>
    </message>
    <message>
        <source>подпись головы журнала в событии не сходится</source>
        <translation>the signature of the journal head in the event does not hold</translation>
    </message>
    <message>
        <source>голова называет запись %1, а последняя среди событий — %2: записей %3–%1 нет</source>
        <translation>the head names entry %1, but the last among the events is %2: entries %3–%1 are missing</translation>
    </message>
    <message>
        <source>запись %1 отличается от записи журнала %2:%3</source>
        <translation>entry %1 differs from the journal&apos;s entry at %2:%3</translation>
    </message>
    <message>
        <source>хост %1, ключ %2…: журнал кончается записью %3, а события идут до записи %4 (%5:%6): журнал обрезан</source>
        <translation>host %1, key %2…: the journal ends at entry %3, but the events go on to entry %4 (%5:%6): the journal was cut</translation>
    </message>
    <message>
        <source>журнала этой установки среди собранных нет, а у хоста собран журнал другого ключа (%1): журнал удален или заменен; события хранят записи до %2</source>
        <translation>this installation&apos;s journal is not among those collected, but a journal of another key was collected from the host (%1): the journal was deleted or replaced; the events hold the entries up to %2</translation>
    </message>
</context>
<context>
    <name>FormAbout</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Модуль гарантированного удаления
ключевых контейнеров</source>
        <translation>Secure Key Container
Deletion Module</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Версия: #version#&lt;/p&gt;&lt;p&gt;Модуль гарантированного удаления ключевых контейнеров системы криптографической защиты информации &amp;quot;Kestrik&amp;quot;&lt;/p&gt;&lt;p&gt;www: &lt;a href=&quot;https://kestrik.example/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;https://kestrik.example/&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;p&gt;email: &lt;a href=&quot;mailto:sales@kestrik.example&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;sales@kestrik.example&lt;/span&gt;&lt;/a&gt;&lt;br/&gt;&lt;/p&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Version: #version#&lt;/p&gt;&lt;p&gt;Secure key container deletion module of the &amp;quot;Kestrik&amp;quot; cryptographic information protection system&lt;/p&gt;&lt;p&gt;www: &lt;a href=&quot;https://kestrik.example/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;https://kestrik.example/&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;p&gt;email: &lt;a href=&quot;mailto:sales@kestrik.example&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;sales@kestrik.example&lt;/span&gt;&lt;/a&gt;&lt;br/&gt;&lt;/p&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>FormSelectMedia</name>
    <message>
        <source>Выбор носителя</source>
        <translation>Select Token</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Носители не найдены. Подключите токен и откройте этот список снова кнопкой «...». Показываются только инициализированные носители, не защищенные от записи.</source>
        <translation>No tokens found. Connect a token and open this list again with the &quot;...&quot; button. Only initialised tokens that are not write-protected are shown.</translation>
    </message>
    <message numerus="yes">
        <source>Не показано носителей: %1 (список вмещает %n носителя каждого типа).</source>
        <translation>
            <numerusform>Tokens not shown: %1 (the list holds %n token of each type).</numerusform>
            <numerusform>Tokens not shown: %1 (the list holds %n tokens of each type).</numerusform>
        </translation>
    </message>
    <message>
        <source>Модуль PKCS#11 не загружен: %1. Исправьте путь в VELMUX_PKCS11_MODULE и откройте этот список снова кнопкой «...».</source>
        <translation>PKCS#11 module not loaded: %1. Correct the path in VELMUX_PKCS11_MODULE and open this list again with the &quot;...&quot; button.</translation>
    </message>
</context>
<context>
    <name>Journal</name>
    <message>
        <source>ключа подписи %1 нет, а записи журнала подписаны</source>
        <translation>the signing key %1 is missing, but the journal&apos;s entries are signed</translation>
    </message>
    <message>
        <source>подписи записей не соответствуют этому ключу (отпечаток ключа %1…)</source>
        <translation>the entries&apos; signatures do not match this key (key fingerprint %1…)</translation>
    </message>
    <message>
        <source>; голова журнала называет ключ с отпечатком %1…</source>
        <translation>; the journal&apos;s head names the key with fingerprint %1…</translation>
    </message>
    <message>
        <source>журнал, который прежняя версия %1 вела отдельно, лежит в %2; его проверяет своим ключом %1 --verify-journal, акт по нему: KCC_JOURNAL=%2 KCC_SIGNING_KEY=%3 %4 --act ФАЙЛ.pdf</source>
        <translation>the journal an earlier %1 kept apart lies in %2; %1 --verify-journal checks it with its own key, its act: KCC_JOURNAL=%2 KCC_SIGNING_KEY=%3 %4 --act FILE.pdf</translation>
    </message>
    <message>
        <source>ключа подписи %1 нет, а рядом с ним записано, что он подписал записи по номер %2</source>
        <translation>the signing key %1 is missing, while the record beside it says it signed entries up to number %2</translation>
    </message>
</context>
<context>
    <name>JournalAct</name>
    <message>
        <source>Акт уничтожения ключевой информации</source>
        <translation>Act of destruction of key information</translation>
    </message>
    <message>
        <source>сертификат:</source>
        <translation>certificate:</translation>
    </message>
    <message>
        <source>сертификат не выдается: удаление контейнера не подтверждено</source>
        <translation>no certificate: removal of the container is not established</translation>
    </message>
    <message>
        <source>Сертификат к строке %1 (поля как в файле JSON), отпечаток SHA-256 %2</source>
        <translation>Certificate for row %1 (fields as in the JSON file), SHA-256 fingerprint %2</translation>
    </message>
    <message>
        <source>АКТ&lt;br&gt;уничтожения ключевой информации</source>
        <translation>ACT&lt;br&gt;of destruction of key information</translation>
    </message>
    <message>
        <source>Составлен %1</source>
        <translation>Drawn up on %1</translation>
    </message>
    <message>
        <source>Комиссия в составе: председатель ______________________________, члены комиссии ______________________________, ______________________________ составила настоящий акт о том, что перечисленные ниже ключевые контейнеры уничтожены программой %1. Сведения взяты из журнала уничтожения программы.</source>
        <translation>The commission consisting of: chair ______________________________, members ______________________________, ______________________________ has drawn up this act stating that the key containers listed below were destroyed with the program %1. The details are taken from the program&apos;s destruction journal.</translation>
    </message>
    <message>
        <source>№</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Журнал: %1. %2</source>
        <translation>Journal: %1. %2</translation>
    </message>
    <message>
        <source>Период: с %1 по %2.</source>
        <translation>Period: from %1 to %2.</translation>
    </message>
    <message>
        <source>Председатель комиссии</source>
        <translation>Chair of the commission</translation>
    </message>
    <message>
        <source>Члены комиссии</source>
        <translation>Members of the commission</translation>
    </message>
    <message>
        <source>(подпись)&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;(Ф.И.О.)</source>
        <translation>(signature)&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;&amp;nbsp;(full name)</translation>
    </message>
</context>
<context>
    <name>JournalAppend</name>
    <message>
        <source>ключа подписи %1 нет, а записи журнала подписаны</source>
        <translation>the signing key %1 is missing, but the journal&apos;s entries are signed</translation>
    </message>
    <message>
        <source>ключа подписи %1 нет, а рядом с ним записано, что он подписал записи по номер %2</source>
        <translation>the signing key %1 is missing, while the record beside it says it signed entries up to number %2</translation>
    </message>
    <message>
        <source>. Новый журнал начинается, только если убрать в сторону ключ и его файл .last вместе с журналом и его головой</source>
        <translation>. A new journal starts only when the key and its .last file are moved aside together with the journal and its head</translation>
    </message>
    <message>
        <source>Запись в журнал %1 не сделана: %2</source>
        <translation>No entry was written to the journal %1: %2</translation>
    </message>
</context>
<context>
    <name>JournalCheck</name>
    <message>
        <source>ключа подписи нет: подписи записей не проверены</source>
        <translation>there is no signing key: the entries&apos; signatures were not checked</translation>
    </message>
    <message>
        <source>головы журнала нет: его конец не охраняется</source>
        <translation>the journal has no head: its end is not guarded</translation>
    </message>
</context>
<context>
    <name>JournalDialog</name>
    <message>
        <source>Журнал уничтожения</source>
        <translation>Destruction Journal</translation>
    </message>
    <message>
        <source>Записи с</source>
        <translation>Entries from</translation>
    </message>
    <message>
        <source>dd.MM.yyyy</source>
        <translation>dd.MM.yyyy</translation>
    </message>
    <message>
        <source>по</source>
        <translation>to</translation>
    </message>
    <message>
        <source>Акт и CSV-файл составляются по выделенным записям, а если ничего не выделено — по всем записям за период.</source>
        <translation>The act and the CSV file cover the selected entries or, when none is selected, every entry of the period.</translation>
    </message>
    <message>
        <source>Акт в PDF…</source>
        <translation>Act as PDF…</translation>
    </message>
    <message>
        <source>Печать акта…</source>
        <translation>Print Act…</translation>
    </message>
    <message>
        <source>Экспорт в CSV…</source>
        <translation>Export to CSV…</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Записей: %1 из %2</source>
        <translation>Entries: %1 of %2</translation>
    </message>
    <message>
        <source>Сохранить акт</source>
        <translation>Save Act</translation>
    </message>
    <message>
        <source>akt-unichtozheniya.pdf</source>
        <translation>act-of-destruction.pdf</translation>
    </message>
    <message>
        <source>Экспорт журнала</source>
        <translation>Export Journal</translation>
    </message>
    <message>
        <source>zhurnal-unichtozheniya.csv</source>
        <translation>destruction-journal.csv</translation>
    </message>
    <message>
        <source>Акт не сохранен: %1</source>
        <translation>The act was not saved: %1</translation>
    </message>
    <message>
        <source>Файл не сохранен: %1</source>
        <translation>The file was not saved: %1</translation>
    </message>
</context>
<context>
    <name>JournalTail</name>
    <message>
        <source>подпись головы журнала не верна: голова подменена</source>
        <translation>the signature of the journal&apos;s head does not hold: the head was replaced</translation>
    </message>
    <message>
        <source>журнал кончается записью %1, а его голова называет запись %2: конец журнала отрезан или изменен</source>
        <translation>the journal ends with entry %1, but its head names entry %2: the journal&apos;s end was cut off or changed</translation>
    </message>
</context>
<context>
    <name>JournalTexts</name>
    <message numerus="yes">
        <source>%1 байт</source>
        <translation>
            <numerusform>%1 byte</numerusform>
            <numerusform>%1 bytes</numerusform>
        </translation>
    </message>
    <message>
        <source>на месте</source>
        <translation>in place</translation>
    </message>
    <message>
        <source>на новом месте</source>
        <translation>relocated</translation>
    </message>
    <message>
        <source>не проверить</source>
        <translation>not provable</translation>
    </message>
    <message>
        <source>в обход кэша</source>
        <translation>past the cache</translation>
    </message>
    <message>
        <source>возможно, из кэша</source>
        <translation>possibly from a cache</translation>
    </message>
    <message>
        <source>не с чем сравнить</source>
        <translation>nothing to compare with</translation>
    </message>
    <message>
        <source>не совпало</source>
        <translation>mismatch</translation>
    </message>
    <message>
        <source>не выполнена</source>
        <translation>not done</translation>
    </message>
    <message>
        <source>Дата и время</source>
        <translation>Date and time</translation>
    </message>
    <message>
        <source>Пользователь</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Объект уничтожения</source>
        <translation>Destroyed object</translation>
    </message>
    <message>
        <source>Алгоритм</source>
        <translation>Algorithm</translation>
    </message>
    <message>
        <source>Проходов записано</source>
        <translation>Passes written</translation>
    </message>
    <message>
        <source>Результат</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Пояснение</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Итог</source>
        <translation>End state</translation>
    </message>
    <message>
        <source>Версия</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Хеш записи журнала (SHA-256)</source>
        <translation>Journal entry hash (SHA-256)</translation>
    </message>
    <message>
        <source>неизвестно</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>%1 из %2</source>
        <translation>%1 of %2</translation>
    </message>
    <message>
        <source>файл %1, %2</source>
        <translation>file %1, %2</translation>
    </message>
    <message>
        <source>носитель «%1» (модель %2, серийный номер %3), контейнер «%4», %5</source>
        <translation>token “%1” (model %2, serial number %3), container “%4”, %5</translation>
    </message>
    <message>
        <source>; файловая система %1, устройство %2; проходы: %3; проверка чтением: %4</source>
        <translation>; file system %1, device %2; passes: %3; read back: %4</translation>
    </message>
    <message>
        <source>; том %1 прочитан (%2), найдено блоков ключа: %3</source>
        <translation>; volume %1 read (%2), blocks of the key found: %3</translation>
    </message>
    <message>
        <source>; свободное место заполнено (%1): %2</source>
        <translation>; free space filled (%1): %2</translation>
    </message>
    <message>
        <source>ВНИМАНИЕ: журнал не прошел проверку. %1 Записи ниже им не подтверждены.</source>
        <translation>WARNING: the journal did not pass verification. %1 It does not vouch for the entries below.</translation>
    </message>
    <message>
        <source>Номер записи</source>
        <translation>Entry number</translation>
    </message>
    <message>
        <source>Не завершено: прервано</source>
        <translation>Not finished: interrupted</translation>
    </message>
    <message>
        <source>Не завершено: идет или прервано</source>
        <translation>Not finished: running or interrupted</translation>
    </message>
    <message>
        <source>Завершающей записи нет; номер — запись начала удаления.</source>
        <translation>No ending entry; the number is the wipe&apos;s begun entry.</translation>
    </message>
</context>
<context>
    <name>Kestrik_KCC</name>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Файловые контейнеры (*.nctx *.pfx *.p12);;Все файлы (%1)</source>
        <translation>Container files (*.nctx *.pfx *.p12);;All files (%1)</translation>
    </message>
    <message>
        <source>Выберите ключевой контейнер.       </source>
        <translation>Choose a key container.       </translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Найдены прерванные удаления ключевых контейнеров: %1.</source>
        <translation>Interrupted key container wipes found: %1.</translation>
    </message>
    <message>
        <source>«%1» — ссылка на другой файл. Укажите сам файл ключевого контейнера.</source>
        <translation>“%1” is a link to another file. Choose the key container file itself.</translation>
    </message>
    <message>
        <source>Файл «%1» не найден.</source>
        <translation>File “%1” not found.</translation>
    </message>
    <message>
        <source>«%1» — папка, а не файл. Укажите файл ключевого контейнера.</source>
        <translation>“%1” is a folder, not a file. Choose a key container file.</translation>
    </message>
    <message>
        <source>«%1» — не обычный файл. Укажите файл ключевого контейнера.</source>
        <translation>“%1” is not a regular file. Choose a key container file.</translation>
    </message>
    <message>
        <source>Ключевые контейнеры удаляются по одному: взят первый из названных файлов, остальные не взяты (%1).</source>
        <translation>Key containers are destroyed one at a time: the first of the files named was taken, the others were not (%1).</translation>
    </message>
    <message>
        <source>Перетащено файлов: %1. Ключевые контейнеры удаляются по одному: перетащите один файл.</source>
        <translation>Files dropped: %1. Key containers are destroyed one at a time: drop one file.</translation>
    </message>
    <message>
        <source>«%1» — не файл на этом компьютере. Удалить можно только локальный файл ключевого контейнера.</source>
        <translation>“%1” is not a file on this computer. Only a local key container file can be destroyed.</translation>
    </message>
</context>
<context>
    <name>Kestrik_KCCClass</name>
    <message>
        <source>Модуль гарантированного удаления ключевых контейнеров</source>
        <translation>Secure Key Container Deletion Module</translation>
    </message>
    <message>
        <source>Тип ключевого контейнера</source>
        <translation>Key container type</translation>
    </message>
    <message>
        <source>Файловый &amp;контейнер</source>
        <translation>File &amp;container</translation>
    </message>
    <message>
        <source>Ус&amp;тройство PKCS#11</source>
        <translation>PKCS#11 &amp;token</translation>
    </message>
    <message>
        <source>Путь к файлу ключевого контейнера</source>
        <translation>Path to the key container file</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Выбрать файл</source>
        <translation>Choose a file</translation>
    </message>
    <message>
        <source>Носитель PKCS#11</source>
        <translation>PKCS#11 token</translation>
    </message>
    <message>
        <source>Выбрать носитель</source>
        <translation>Choose a token</translation>
    </message>
    <message>
        <source>&amp;PIN:</source>
        <translation>&amp;PIN:</translation>
    </message>
    <message>
        <source>PIN-код</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>Алгоритм гарантированого уничтожения</source>
        <translation>Secure destruction algorithm</translation>
    </message>
    <message>
        <source>&amp;ГОСТ Р50739-95</source>
        <translation>&amp;GOST R 50739-95</translation>
    </message>
    <message>
        <source>HMG IS5 E&amp;S</source>
        <translation>HMG IS5 E&amp;S</translation>
    </message>
    <message>
        <source>&amp;DoD 5220.22-M</source>
        <translation>&amp;DoD 5220.22-M</translation>
    </message>
    <message>
        <source>&amp;VSITR</source>
        <translation>&amp;VSITR</translation>
    </message>
    <message>
        <source>RC&amp;MP TSSIT OPS-II</source>
        <translation>RC&amp;MP TSSIT OPS-II</translation>
    </message>
    <message>
        <source>Алгоритм &amp;Шнайера</source>
        <translation>Sch&amp;neier algorithm</translation>
    </message>
    <message>
        <source>HMG IS5 &amp;BS</source>
        <translation>HMG IS5 &amp;BS</translation>
    </message>
    <message>
        <source>AR&amp;380-19</source>
        <translation>AR&amp;380-19</translation>
    </message>
    <message>
        <source>&amp;Удалить ключевой контейнер</source>
        <translation>&amp;Wipe key container</translation>
    </message>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Справка</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;Журнал</source>
        <translation>&amp;Journal</translation>
    </message>
    <message>
        <source>&amp;Выход</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;О программе</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>Журнал уничтожения…</source>
        <translation>Destruction Journal…</translation>
    </message>
    <message>
        <source>&amp;Проверить том после удаления</source>
        <translation>Check the vol&amp;ume after deleting</translation>
    </message>
    <message>
        <source>После удаления прочитать весь том и найти блоки ключа, которые файловая система оставила на прежнем месте</source>
        <translation>After deleting, read the whole volume and find blocks of the key the file system left in their former place</translation>
    </message>
</context>
<context>
    <name>KeyLast</name>
    <message>
        <source>записи ключа подписи о последней подписанной им записи (%1) нет</source>
        <translation>the signing key&apos;s record of the last entry it signed (%1) is missing</translation>
    </message>
    <message>
        <source>запись ключа подписи о последней подписанной им записи (%1) не прочитана или ее подпись не верна</source>
        <translation>the signing key&apos;s record of the last entry it signed (%1) cannot be read or its signature does not hold</translation>
    </message>
    <message>
        <source>журнала нет или он пуст, а ключ подписи уже подписал записи по номер %1 (%2)</source>
        <translation>the journal is missing or empty, while the signing key has signed entries up to number %1 (%2)</translation>
    </message>
    <message>
        <source>журнал кончается записью %1, а ключ подписи подписал запись %2 (%3)</source>
        <translation>the journal ends with entry %1, while the signing key signed entry %2 (%3)</translation>
    </message>
    <message>
        <source>головы журнала нет, а ключ подписи уже подписал записи по номер %1 (%2)</source>
        <translation>the journal&apos;s head is missing, while the signing key has signed entries up to number %1 (%2)</translation>
    </message>
</context>
<context>
    <name>Stamps</name>
    <message>
        <source>время на метки при запуске вышло</source>
        <translation>the time allowed for stamps at start ran out</translation>
    </message>
    <message>
        <source>время в метке не читается</source>
        <translation>the time in the timestamp cannot be read</translation>
    </message>
    <message>
        <source>время записи %1 позже времени службы меток %2 больше чем на %3 с: часы станции шли вперед</source>
        <translation>the entry&apos;s time %1 is later than the authority&apos;s %2 by more than %3 s: the workstation&apos;s clock was ahead</translation>
    </message>
    <message>
        <source>время службы меток %1 позже времени, записанного после метки (%2), больше чем на %3 с: часы станции были переведены назад</source>
        <translation>the authority&apos;s time %1 is later than the time recorded after the stamp (%2) by more than %3 s: the workstation&apos;s clock was set back</translation>
    </message>
    <message>
        <source>метка названа для записи %1, которой в журнале нет</source>
        <translation>the timestamp names entry %1, which the journal does not hold</translation>
    </message>
    <message>
        <source>метка записи %1: %2</source>
        <translation>the timestamp of entry %1: %2</translation>
    </message>
    <message>
        <source>Метки времени: поставлено %1, ожидают %2, без метки %3.</source>
        <translation>Timestamps: stamped %1, pending %2, unstamped %3.</translation>
    </message>
    <message>
        <source>Метки не проверены: %1.</source>
        <translation>Timestamps not verified: %1.</translation>
    </message>
    <message>
        <source>время записи %1 расходится со временем службы меток: </source>
        <translation>entry %1&apos;s own time disagrees with the authority&apos;s: </translation>
    </message>
</context>
<context>
    <name>TerminalProgress</name>
    <message>
        <source>Проход %1 из %2</source>
        <translation>Pass %1 of %2</translation>
    </message>
    <message>
        <source>Все проходы записаны, файл читается для проверки</source>
        <translation>All passes written, reading the file back to check it</translation>
    </message>
    <message>
        <source>Проход %1 из %2: записано %3 из %4</source>
        <translation>Pass %1 of %2: %3 of %4 written</translation>
    </message>
    <message>
        <source>, %1/с, осталось около %2 с</source>
        <translation>, %1/s, about %2 s left</translation>
    </message>
</context>
<context>
    <name>Timestamp</name>
    <message>
        <source>метки времени на этой платформе не поддерживаются</source>
        <translation>timestamps are not supported on this platform</translation>
    </message>
    <message>
        <source>запрос метки времени не составлен</source>
        <translation>the timestamp request could not be made</translation>
    </message>
    <message>
        <source>политика %1 в настройках — не идентификатор объекта</source>
        <translation>the policy %1 in the settings is not an object identifier</translation>
    </message>
    <message>
        <source>служба меток времени %1 не ответила за %2 с</source>
        <translation>the time-stamping authority %1 did not answer within %2 s</translation>
    </message>
    <message>
        <source>служба меток времени %1: %2</source>
        <translation>the time-stamping authority %1: %2</translation>
    </message>
    <message>
        <source>ответ службы меток времени не прочитан</source>
        <translation>the authority&apos;s reply could not be read</translation>
    </message>
    <message>
        <source>служба меток времени отказала (состояние %1)</source>
        <translation>the time-stamping authority refused (status %1)</translation>
    </message>
    <message>
        <source>метка времени выдана не на эту запись</source>
        <translation>the timestamp was not made for this entry</translation>
    </message>
    <message>
        <source>в метке времени не то случайное число, что в запросе</source>
        <translation>the timestamp&apos;s nonce is not the request&apos;s</translation>
    </message>
    <message>
        <source>случайное число для запроса не получено</source>
        <translation>no random nonce for the request</translation>
    </message>
    <message>
        <source>служба меток времени %1 прислала пустой ответ</source>
        <translation>the time-stamping authority %1 sent an empty reply</translation>
    </message>
    <message>
        <source>в настройках не указан файл удостоверяющего центра службы меток времени (%1)</source>
        <translation>the settings name no certificate authority file of the time-stamping authority (%1)</translation>
    </message>
    <message>
        <source>%1: сертификатов в файле нет</source>
        <translation>%1: the file holds no certificates</translation>
    </message>
    <message>
        <source>метка времени не читается</source>
        <translation>the timestamp cannot be read</translation>
    </message>
    <message>
        <source>в метке времени не то случайное число, что записано в журнале</source>
        <translation>the timestamp&apos;s nonce is not the one the journal kept</translation>
    </message>
    <message>
        <source>метка времени не прошла проверку</source>
        <translation>the timestamp does not verify</translation>
    </message>
</context>
<context>
    <name>TokenWipeReport</name>
    <message>
        <source>Ответ носителя: %1.</source>
        <translation>The token answered: %1.</translation>
    </message>
    <message>
        <source>Ответ носителя: %1 (%2).</source>
        <translation>The token answered: %1 (%2).</translation>
    </message>
</context>
<context>
    <name>VerifyResult</name>
    <message numerus="yes">
        <source> Не завершено удалений (нет завершающей записи): %n.</source>
        <translation>
            <numerusform> Wipes not finished (no ending entry): %n.</numerusform>
            <numerusform> Wipes not finished (no ending entry): %n.</numerusform>
        </translation>
    </message>
    <message>
        <source>идет сейчас</source>
        <translation>running now</translation>
    </message>
    <message>
        <source>прервано</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>идет или прервано на другом компьютере (%1)</source>
        <translation>running or interrupted on another computer (%1)</translation>
    </message>
    <message>
        <source> Запись %1: %2, начато %3, проходов на носителе %4 из %5, %6.</source>
        <translation> Entry %1: %2, begun %3, passes on the medium %4 of %5, %6.</translation>
    </message>
    <message>
        <source>Журнала еще нет: ни одного удаления не записано.</source>
        <translation>No journal yet: no wipe has been recorded.</translation>
    </message>
    <message numerus="yes">
        <source>Журнал проверен: записей %n, цепочка хешей не нарушена.</source>
        <translation>
            <numerusform>Journal verified: %n entry, the hash chain is intact.</numerusform>
            <numerusform>Journal verified: %n entries, the hash chain is intact.</numerusform>
        </translation>
    </message>
    <message>
        <source>Последняя строка журнала (строка %1) оборвана: запись прервалась. Записи до нее (%2) проверены, цепочка не нарушена.</source>
        <translation>The last line of the journal (line %1) is torn: an entry was interrupted. The entries before it (%2) are verified and the chain is intact.</translation>
    </message>
    <message>
        <source>запись изменена после записи следующей</source>
        <translation>the entry was changed after the next one was written</translation>
    </message>
    <message>
        <source>перед записью удалены записи</source>
        <translation>entries were removed before this entry</translation>
    </message>
    <message>
        <source>записи переставлены</source>
        <translation>entries are out of order</translation>
    </message>
    <message>
        <source>запись не подписана, и не доказано, что она сделана до появления ключа</source>
        <translation>the entry is not signed, and nothing proves it was written before the key existed</translation>
    </message>
    <message>
        <source>строка повреждена, а следующая запись этого не отметила</source>
        <translation>the line is damaged, and the entry after it does not say so</translation>
    </message>
    <message>
        <source>строка не является записью журнала</source>
        <translation>the line is not a journal entry</translation>
    </message>
    <message>
        <source>Конец журнала отрезан или изменен: журнал кончается записью %1, а его подписанная голова называет запись %2.</source>
        <translation>The journal&apos;s end was cut off or changed: the journal ends with entry %1, but its signed head names entry %2.</translation>
    </message>
    <message>
        <source>Журнал опустошен: записей в нем нет, а его подписанная голова называет запись %1.</source>
        <translation>The journal was emptied: it holds no entries, but its signed head names entry %1.</translation>
    </message>
    <message>
        <source>Подпись головы журнала не верна: голова подменена.</source>
        <translation>The signature of the journal&apos;s head does not hold: the head was replaced.</translation>
    </message>
    <message>
        <source>Конец журнала отрезан или изменен: %1.</source>
        <translation>The journal&apos;s end was cut off or changed: %1.</translation>
    </message>
    <message>
        <source>Цепочка журнала нарушена в строке %1: %2.</source>
        <translation>The journal chain is broken at line %1: %2.</translation>
    </message>
    <message>
        <source>Журнал не прочитан: %1</source>
        <translation>The journal could not be read: %1</translation>
    </message>
    <message>
        <source>Журнал не проверен: %1. Записей: %2.</source>
        <translation>The journal is not verified: %1. Entries: %2.</translation>
    </message>
    <message>
        <source> Прерванных записей пропущено: %1.</source>
        <translation> Interrupted entries skipped: %1.</translation>
    </message>
    <message>
        <source> Записей без подписи, сделанных до появления ключа: %1.</source>
        <translation> Unsigned entries written before the key existed: %1.</translation>
    </message>
    <message>
        <source> Подписи не проверены: в этой сборке нет библиотеки подписи.</source>
        <translation> Signatures not checked: this build has no signing library.</translation>
    </message>
    <message>
        <source> Ключа подписи еще нет: его создаст первая запись журнала или команда --public-key.</source>
        <translation> No signing key yet: the journal&apos;s first entry or --public-key makes it.</translation>
    </message>
    <message>
        <source> Подписанных записей еще нет; ключ подписи готов (отпечаток ключа %1…).</source>
        <translation> No signed entries yet; the signing key is ready (key fingerprint %1…).</translation>
    </message>
    <message>
        <source> Подписи записей верны (отпечаток ключа %1…).</source>
        <translation> The entries&apos; signatures hold (key fingerprint %1…).</translation>
    </message>
    <message>
        <source> Конец журнала совпадает с его головой (запись %1).</source>
        <translation> The journal&apos;s end matches its head (entry %1).</translation>
    </message>
    <message>
        <source> Ключ подписи подписал последней запись %1, журнал ее содержит.</source>
        <translation> The last entry the signing key signed is entry %1, and the journal holds it.</translation>
    </message>
</context>
<context>
    <name>WipeContainer</name>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Заполнить освобожденное место</source>
        <translation>Fill the freed space</translation>
    </message>
</context>
<context>
    <name>WipeProgressDialog</name>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Алгоритм: %1
Проход %2 из %3</source>
        <translation>Algorithm: %1
Pass %2 of %3</translation>
    </message>
    <message>
        <source>
Записано: %1 из %2</source>
        <translation>
Written: %1 of %2</translation>
    </message>
    <message>
        <source>Алгоритм: %1
Все проходы записаны, файл читается для проверки</source>
        <translation>Algorithm: %1
All passes written, reading the file back to check it</translation>
    </message>
    <message>
        <source>Поиск блоков ключа на томе: прочитано %1 из %2</source>
        <translation>Searching the volume for blocks of the key: %1 read of %2</translation>
    </message>
    <message>
        <source>
%1/с, осталось около %2 с</source>
        <translation>
%1/s, about %2 s left</translation>
    </message>
    <message>
        <source>Заполнение освобожденного места: записано %1 из не более чем %2</source>
        <translation>Filling the freed space: %1 written of at most %2</translation>
    </message>
</context>
<context>
    <name>WipeRecord</name>
    <message>
        <source>Что осталось на носителе, неизвестно: проверьте носитель снова.</source>
        <translation>What is left on the token is not known: check the token again.</translation>
    </message>
    <message>
        <source>Файла под этим именем больше нет.</source>
        <translation>There is no file under this name any more.</translation>
    </message>
    <message>
        <source>Под этим именем теперь другой объект; прежний файл не найден.</source>
        <translation>Another object is under this name now; the former file was not found.</translation>
    </message>
    <message numerus="yes">
        <source>Файл на месте (%1 байт): удаление нужно повторить.</source>
        <translation>
            <numerusform>The file is there (%1 byte): wipe it again.</numerusform>
            <numerusform>The file is there (%1 bytes): wipe it again.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, начато %2, алгоритм %3. Проходов на носителе: %4 из %5. %6</source>
        <translation>%1, begun %2, algorithm %3. Passes on the medium: %4 of %5. %6</translation>
    </message>
    <message>
        <source>Файл на месте и пуст: проходы были записаны и файл усечен, но не удален.</source>
        <translation>The file is there and empty: the passes were written and the file truncated, but not removed.</translation>
    </message>
    <message>
        <source>Файл на месте и пуст, как и до удаления: перезаписывать в нем было нечего, но он не удален.</source>
        <translation>The file is in place and empty, as it was before the deletion: there was nothing in it to overwrite, but it was not removed.</translation>
    </message>
</context>
<context>
    <name>WipeSchedule</name>
    <message>
        <source>ГОСТ Р50739-95</source>
        <translation>GOST R 50739-95</translation>
    </message>
    <message>
        <source>Алгоритм Шнайера</source>
        <translation>Schneier algorithm</translation>
    </message>
</context>
<context>
    <name>WipeSession</name>
    <message>
        <source>Файл: %1</source>
        <translation>File: %1</translation>
    </message>
    <message>
        <source>Носитель: %1</source>
        <translation>Token: %1</translation>
    </message>
    <message>
        <source>Алгоритм: %1, проходов: %2.</source>
        <translation>Algorithm: %1, passes: %2.</translation>
    </message>
    <message>
        <source>Носитель: %1
Модель: %2
Серийный номер: %3
</source>
        <translation>Token: %1
Model: %2
Serial number: %3
</translation>
    </message>
    <message>
        <source>Файл: %1
</source>
        <translation>File: %1
</translation>
    </message>
    <message numerus="yes">
        <source>Размер: %1 байт
</source>
        <translation>
            <numerusform>Size: %1 byte
</numerusform>
            <numerusform>Size: %1 bytes
</numerusform>
        </translation>
    </message>
    <message>
        <source>У файла есть и другие имена (жесткие ссылки): %1. Они останутся, но будут вести к пустому файлу.</source>
        <translation>The file has other names (hard links): %1. They will remain, but lead to an empty file.</translation>
    </message>
    <message>
        <source>Где проходы лягут не на блоки ключа, свободное место тома будет заполнено: это может занять все свободное место, кроме запаса, и долгое время.</source>
        <translation>Where the passes do not land on the key&apos;s blocks, the volume&apos;s free space will be filled: this may take all free space but a reserve, and a long time.</translation>
    </message>
    <message>
        <source>неизвестно</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>Том %1 прочитан целиком (%2 за %3 с)</source>
        <translation>Volume %1 read whole (%2 in %3 s)</translation>
    </message>
    <message>
        <source>Прочитано только %1 (%2 за %3 с)</source>
        <translation>Only %1 read (%2 in %3 s)</translation>
    </message>
    <message>
        <source>%1: блоков ключа не найдено.</source>
        <translation>%1: no blocks of the key found.</translation>
    </message>
    <message>
        <source>%1: найдено блоков ключа: %2 (смещения на устройстве: %3%4).</source>
        <translation>%1: blocks of the key found: %2 (offsets on the device: %3%4).</translation>
    </message>
    <message>
        <source>Эти блоки держит другой файл или снимок файловой системы: заполнение свободного места до них не доходит.</source>
        <translation>Another file or a file-system snapshot holds these blocks: no fill of the free space reaches them.</translation>
    </message>
    <message>
        <source>Не прочитаны устройства той же файловой системы: %1.</source>
        <translation>Devices of the same file system not read: %1.</translation>
    </message>
    <message>
        <source>Том %1 не проверен: нет доступа к устройству %2.</source>
        <translation>Volume %1 not checked: no access to the device %2.</translation>
    </message>
    <message>
        <source>Том не проверен: устройство под файловой системой неизвестно.</source>
        <translation>Volume not checked: the device below the file system is not known.</translation>
    </message>
    <message>
        <source>Проверка тома %1 отменена после %2: том не проверен.</source>
        <translation>Check of volume %1 cancelled after %2: the volume is not checked.</translation>
    </message>
    <message>
        <source>Том %1 проверить не удалось %2.</source>
        <translation>Volume %1 could not be checked %2.</translation>
    </message>
    <message>
        <source>Проверка тома в этой системе недоступна.</source>
        <translation>Checking the volume is not available on this system.</translation>
    </message>
    <message>
        <source>Свободное место заполнено (%1): заполнение заняло все блоки, где лежал ключ (%2); файл заполнения удален.</source>
        <translation>Free space filled (%1): the fill took every block the key lay on (%2); the fill file is removed.</translation>
    </message>
    <message>
        <source>Свободное место заполнено (%1); файл заполнения удален.</source>
        <translation>Free space filled (%1); the fill file is removed.</translation>
    </message>
    <message>
        <source>Свободного места сверх запаса на томе нет: ничего не записано.</source>
        <translation>The volume has no free space beyond its reserve: nothing was written.</translation>
    </message>
    <message>
        <source>Свободное место заполнено до запаса (%1), но это меньше журнала файловой системы (%2): копии ключа в журнале могли остаться; файл заполнения удален.</source>
        <translation>Free space filled down to the reserve (%1), but that is less than the file system&apos;s journal (%2): copies of the key in the journal may remain; the fill file is removed.</translation>
    </message>
    <message>
        <source>Свободное место заполнено до запаса (%1), но размер журнала файловой системы узнать не удалось: копии ключа в журнале могли остаться; файл заполнения удален.</source>
        <translation>Free space filled down to the reserve (%1), but the size of the file system&apos;s journal could not be learnt: copies of the key in the journal may remain; the fill file is removed.</translation>
    </message>
    <message numerus="yes">
        <source>Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n блоков, где лежал ключ; файл заполнения удален.</source>
        <translation>
            <numerusform>Free space filled down to the reserve (%1), but the fill took only %2 of the %n block the key lay on; the fill file is removed.</numerusform>
            <numerusform>Free space filled down to the reserve (%1), but the fill took only %2 of the %n blocks the key lay on; the fill file is removed.</numerusform>
        </translation>
    </message>
    <message>
        <source>Заполнение свободного места отменено; файл заполнения удален.</source>
        <translation>Filling the free space was cancelled; the fill file is removed.</translation>
    </message>
    <message>
        <source>Заполнить свободное место не удалось %1. Файл заполнения удален.</source>
        <translation>The free space could not be filled %1. The fill file is removed.</translation>
    </message>
    <message>
        <source>Заполнение свободного места в этой системе недоступно.</source>
        <translation>Filling the free space is not available on this system.</translation>
    </message>
    <message>
        <source>Удалены файлы заполнения, оставшиеся от прерванного ранее заполнения: %1 (%2).</source>
        <translation>Fill files left by an earlier interrupted fill were removed: %1 (%2).</translation>
    </message>
    <message>
        <source>До заполнения на томе было найдено блоков ключа: %1.</source>
        <translation>Before the fill, blocks of the key found on the volume: %1.</translation>
    </message>
    <message>
        <source>сжатыми и в служебных записях файловой системы</source>
        <translation>compressed and in the file system&apos;s metadata</translation>
    </message>
    <message>
        <source>сжатыми</source>
        <translation>compressed</translation>
    </message>
    <message>
        <source>в служебных записях файловой системы</source>
        <translation>in the file system&apos;s metadata</translation>
    </message>
    <message>
        <source>там, где файловая система их не показывает</source>
        <translation>where the file system does not show them</translation>
    </message>
    <message>
        <source>Блоков ключа, хранившихся %1: %2 из %3. Их копии поиск не узнает, а заполнение не может найти.</source>
        <translation>Blocks of the key stored %1: %2 of %3. The search cannot recognise their copies and the fill cannot locate them.</translation>
    </message>
    <message>
        <source>Поиск узнает только целые блоки нынешнего содержимого ключа на границах блоков тома: прежние версии файла (например, сохраненные заменой), сжатые копии и копии на непрочитанных устройствах он не находит.</source>
        <translation>The search recognises only whole blocks of the key&apos;s current content on the volume&apos;s block boundaries: earlier versions of the file (saved by replacing it, for example), compressed copies and copies on devices not read are not found.</translation>
    </message>
    <message>
        <source>Начало удаления в журнал не записано: %1</source>
        <translation>The start of the wipe is not in the journal: %1</translation>
    </message>
    <message>
        <source>Системный журнал не принял сообщение о начале удаления за секунду: оно не отправлено.</source>
        <translation>The system log did not take the message of the wipe&apos;s start within a second: it was not sent.</translation>
    </message>
    <message>
        <source>Системный журнал не принял сообщение об этом удалении за секунду: оно не отправлено.</source>
        <translation>The system log did not take the message of this wipe within a second: it was not sent.</translation>
    </message>
    <message>
        <source>Запись журнала об этом удалении дополнена.</source>
        <translation>The journal entry of this wipe is amended.</translation>
    </message>
    <message>
        <source>%1
Алгоритм: %2</source>
        <translation>%1
Algorithm: %2</translation>
    </message>
    <message>
        <source>отпечаток ключа не снят</source>
        <translation>the key&apos;s fingerprint was not taken</translation>
    </message>
    <message>
        <source>Проходов на носителе: не понадобилось, данных в файле не было</source>
        <translation>Passes on the storage medium: none needed, the file held no data</translation>
    </message>
    <message>
        <source>Проходов на носителе: %1 из %2</source>
        <translation>Passes on the storage medium: %1 of %2</translation>
    </message>
    <message>
        <source>%1
Алгоритм: %2
%3
Время: %4 с</source>
        <translation>%1
Algorithm: %2
%3
Time: %4 s</translation>
    </message>
    <message>
        <source>Метка времени отложена: %1</source>
        <translation>Timestamp pending: %1</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>нет дисплея для окна (не заданы %1 и %2); сценарии обходятся без него: %3</source>
        <translation>no display for the window (neither %1 nor %2 is set); scripts need none: %3</translation>
    </message>
</context>
<context>
    <name>wipetexts</name>
    <message>
        <source>Удаление ключевого контейнера</source>
        <translation>Key Container Deletion</translation>
    </message>
    <message>
        <source>Вы действительно хотите удалить ключевой контейнер?</source>
        <translation>Do you really want to delete the key container?</translation>
    </message>
    <message>
        <source>Ключевой контейнер очищен и удален успешно.</source>
        <translation>Key container wiped and deleted successfully.</translation>
    </message>
    <message>
        <source>Файл ключевого контейнера не найден. </source>
        <translation>Key container file not found. </translation>
    </message>
    <message>
        <source>Ошибка удаления файла ключевого контейнера.</source>
        <translation>Error deleting the key container file.</translation>
    </message>
    <message>
        <source>Ошибка создания контекста носителя.</source>
        <translation>Error creating the token context.</translation>
    </message>
    <message>
        <source>Невозможно открыть сессию для работы с носителем.</source>
        <translation>Cannot open a session with the token.</translation>
    </message>
    <message>
        <source>Неправильный PIN-код.</source>
        <translation>Wrong PIN.</translation>
    </message>
    <message>
        <source>Невозможно определить размер ключевого контейнера.</source>
        <translation>Cannot determine the size of the key container.</translation>
    </message>
    <message>
        <source>Ошибка записи в ключевой контейнер.</source>
        <translation>Error writing to the key container.</translation>
    </message>
    <message>
        <source>Ошибка удаления ключевого контейнера.</source>
        <translation>Error deleting the key container.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но носитель не позволил перезаписать его на месте. Что носитель хранит от удаленных объектов, зависит от самого носителя.</source>
        <translation>The key container was deleted, but the token did not allow it to be overwritten in place. What the token keeps of deleted objects depends on the token itself.</translation>
    </message>
    <message>
        <source>Каждый проход носитель записал в новый объект, а прежний удалил.</source>
        <translation>The token wrote each pass into a new object and destroyed the previous one.</translation>
    </message>
    <message>
        <source>На носителе нет ключевого контейнера.</source>
        <translation>There is no key container on the token.</translation>
    </message>
    <message>
        <source>На носителе больше одного ключевого контейнера.</source>
        <translation>The token holds more than one key container.</translation>
    </message>
    <message>
        <source>Найдено ключевых контейнеров: %1. Ни один из них не изменен.</source>
        <translation>Key containers found: %1. None of them was changed.</translation>
    </message>
    <message>
        <source>Ни один из них не изменен.</source>
        <translation>None of them was changed.</translation>
    </message>
    <message>
        <source>PIN-код заблокирован.</source>
        <translation>The PIN is locked.</translation>
    </message>
    <message>
        <source>PIN-код пользователя на носителе не задан.</source>
        <translation>The user PIN on the token is not set.</translation>
    </message>
    <message>
        <source>Срок действия PIN-кода истек.</source>
        <translation>The PIN has expired.</translation>
    </message>
    <message>
        <source>Ключевой контейнер не изменен.</source>
        <translation>The key container was not changed.</translation>
    </message>
    <message>
        <source>Записано проходов: %1 из %2.</source>
        <translation>Passes written: %1 of %2.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален с носителя.</source>
        <translation>The key container was deleted from the token.</translation>
    </message>
    <message>
        <source>Ключевой контейнер остался на носителе.</source>
        <translation>The key container remains on the token.</translation>
    </message>
    <message>
        <source>Не удалось проверить, остался ли ключевой контейнер на носителе.</source>
        <translation>Could not check whether the key container remains on the token.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но файловая система записала проходы на новое место. Исходные блоки с ключом не перезаписаны и остаются на носителе, пока их не займут другие данные.</source>
        <translation>Key container deleted, but the file system wrote the passes to a new place. The original blocks holding the key were not overwritten and stay on the medium until other data takes them.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но на томе остались блоки с содержимым ключа.</source>
        <translation>Key container deleted, but blocks holding the key are left on the volume.</translation>
    </message>
    <message>
        <source>Удаление ключевого контейнера было прервано и не завершено.</source>
        <translation>A key container wipe was interrupted and did not finish.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но проверить, перезаписаны ли блоки, где лежал ключ, нельзя.</source>
        <translation>The key container is deleted, but whether the blocks the key lay on were overwritten cannot be checked.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но часть ключа файловая система хранит так, что ни поиск, ни заполнение свободного места до нее не доходят.</source>
        <translation>The key container is deleted, but the file system keeps part of the key where neither the search nor the fill of the free space reaches it.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но проверить том на остатки ключа, как было запрошено, не удалось.</source>
        <translation>The key container is deleted, but the volume could not be checked for remains of the key as asked.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален, но его исходный файл в нижнем слое наложенной файловой системы проходы не затронули: ключ в нем остается.</source>
        <translation>The key container is deleted, but the passes did not touch its original file in the overlay&apos;s lower layer: the key remains in it.</translation>
    </message>
    <message>
        <source>Ключевой контейнер удален носителем, но проверить, что его больше нет, не удалось.</source>
        <translation>The token deleted the key container, but whether it is really gone could not be checked.</translation>
    </message>
    <message>
        <source>Объект «%1» приложения «%2» хранит исходные байты ключа.</source>
        <translation>The object “%1” of application “%2” holds the key&apos;s original bytes.</translation>
    </message>
    <message>
        <source>Объект «%1» приложения «%2» хранит байты прохода %3.</source>
        <translation>The object “%1” of application “%2” holds the bytes of pass %3.</translation>
    </message>
    <message>
        <source>Объект «%1» приложения «%2» найден на носителе после удаления.</source>
        <translation>The object “%1” of application “%2” was found on the token after the deletion.</translation>
    </message>
    <message>
        <source>Удаление не начато: запись о нем не удалось сохранить в журнале уничтожения. Ключевой контейнер не изменен.</source>
        <translation>The wipe was not started: its entry could not be saved in the destruction journal. The key container was not changed.</translation>
    </message>
    <message>
        <source>Запись о начале удаления не удалось сохранить в журнале уничтожения. Удалить ключевой контейнер без записи в журнале?</source>
        <translation>The entry for the wipe&apos;s start could not be saved in the destruction journal. Wipe the key container without a journal entry?</translation>
    </message>
    <message>
        <source>(системная причина: %1)</source>
        <translation>(the system&apos;s reason: %1)</translation>
    </message>
    <message>
        <source>Запись о результате удаления не удалось сохранить в журнале уничтожения. Что сделано с ключевым контейнером, сказано ниже.</source>
        <translation>The result of the wipe could not be saved in the destruction journal. What was done to the key container is said below.</translation>
    </message>
</context>
</TS>
