<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="ru_RU">
<context>
    <name>CommandAct</name>
    <message numerus="yes">
        <source>записей в акте: %n. </source>
        <translation>
            <numerusform>записей в акте: %n. </numerusform>
            <numerusform>записей в акте: %n. </numerusform>
            <numerusform>записей в акте: %n. </numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FileWipeReport</name>
    <message numerus="yes">
        <source>Данные занимали %1 байт из %2 байт размера файла; остальное — пустоты без места на носителе, их проходы не записывали.</source>
        <translation>
            <numerusform>Данные занимали %1 байт из %2 байт размера файла; остальное — пустоты без места на носителе, их проходы не записывали.</numerusform>
            <numerusform>Данные занимали %1 байта из %2 байт размера файла; остальное — пустоты без места на носителе, их проходы не записывали.</numerusform>
            <numerusform>Данные занимали %1 байт из %2 байт размера файла; остальное — пустоты без места на носителе, их проходы не записывали.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormSelectMedia</name>
    <message numerus="yes">
        <source>Не показано носителей: %1 (список вмещает %n носителя каждого типа).</source>
        <translation>
            <numerusform>Не показано носителей: %1 (список вмещает %n носитель каждого типа).</numerusform>
            <numerusform>Не показано носителей: %1 (список вмещает %n носителя каждого типа).</numerusform>
            <numerusform>Не показано носителей: %1 (список вмещает %n носителей каждого типа).</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>JournalTexts</name>
    <message numerus="yes">
        <source>%1 байт</source>
        <translation>
            <numerusform>%1 байт</numerusform>
            <numerusform>%1 байта</numerusform>
            <numerusform>%1 байт</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>VerifyResult</name>
    <message numerus="yes">
        <source> Не завершено удалений (нет завершающей записи): %n.</source>
        <translation>
            <numerusform> Не завершено удалений (нет завершающей записи): %n.</numerusform>
            <numerusform> Не завершено удалений (нет завершающей записи): %n.</numerusform>
            <numerusform> Не завершено удалений (нет завершающей записи): %n.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Журнал проверен: записей %n, цепочка хешей не нарушена.</source>
        <translation>
            <numerusform>Журнал проверен: записей %n, цепочка хешей не нарушена.</numerusform>
            <numerusform>Журнал проверен: записей %n, цепочка хешей не нарушена.</numerusform>
            <numerusform>Журнал проверен: записей %n, цепочка хешей не нарушена.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>WipeRecord</name>
    <message numerus="yes">
        <source>Файл на месте (%1 байт): удаление нужно повторить.</source>
        <translation>
            <numerusform>Файл на месте (%1 байт): удаление нужно повторить.</numerusform>
            <numerusform>Файл на месте (%1 байта): удаление нужно повторить.</numerusform>
            <numerusform>Файл на месте (%1 байт): удаление нужно повторить.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>WipeSession</name>
    <message numerus="yes">
        <source>Размер: %1 байт
</source>
        <translation>
            <numerusform>Размер: %1 байт
</numerusform>
            <numerusform>Размер: %1 байта
</numerusform>
            <numerusform>Размер: %1 байт
</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n блоков, где лежал ключ; файл заполнения удален.</source>
        <translation>
            <numerusform>Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n блока, где лежал ключ; файл заполнения удален.</numerusform>
            <numerusform>Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n блоков, где лежал ключ; файл заполнения удален.</numerusform>
            <numerusform>Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n блоков, где лежал ключ; файл заполнения удален.</numerusform>
        </translation>
    </message>
</context>
</TS>
