// The yardstick for kestrik-kcc-cli's start: a QtCore program that does
// nothing, built with the same compiler, flags and Qt as the program.
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    std::puts(qPrintable(QCoreApplication::applicationName()));
    return 0;
}
