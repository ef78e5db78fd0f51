#include "commandline.h"
#include "installation.h"
#include "kcc_version.h"
#include "kestrik_kcc.h"
#include "language.h"

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <iostream>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

// The names the window was started with. Windows hands main its arguments in
// the ANSI code page, which cannot spell every file name: they are read again
// from the UTF-16 command line.
QStringList namesToOpen(const CommandLine &command)
{
    QStringList names;
#ifdef Q_OS_WIN
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
#endif
    for (size_t i = 0; i < command.openFiles.size(); ++i) {
        QString name = QFile::decodeName(QByteArray::fromStdString(command.openFiles[i]));
#ifdef Q_OS_WIN
        const int index = command.openFileIndexes[i];
        if (wide && index < count)
            name = QString::fromWCharArray(wide[index]);
#endif
        names << name;
    }
#ifdef Q_OS_WIN
    LocalFree(wide);
#endif
    return names;
}

// Qt aborts (status 134, "Reinstalling the application may fix this
// problem") when its X11 or Wayland plugin finds no display; say why instead.
// Another platform (offscreen, vnc, eglfs) needs none.
bool noDisplayForWindow(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            platforms = QString::fromLocal8Bit(argv[i + 1]);
    for (const QString &platform : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = platform.section(QLatin1Char(':'), 0, 0);
        if (!name.startsWith(QLatin1String("xcb")) && !name.startsWith(QLatin1String("wayland")))
            return false;
    }
    return true;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return false;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything asks where the journal lives: one record for both programs.
    installation::nameApplication();
    // Before QApplication: it would need a display even to print the version.
    const CommandLine command = parseCommandLine(argc, argv, std::cout, std::cerr);
    if (command.action == CommandLine::Action::Exit)
        return command.exitCode;
    if (command.action == CommandLine::Action::WriteAct) {
        // Laying out the act needs fonts, not a display.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication application(argc, argv);
        installProgramTranslations(application);
        return runCommandLine(command, writeActCommand);
    }
    if (command.action != CommandLine::Action::OpenWindow) {
        // The scripted modes need no display.
        QCoreApplication application(argc, argv);
        installProgramTranslations(application);
        return runCommandLine(command);
    }

    if (noDisplayForWindow(argc, argv)) {
        QCoreApplication application(argc, argv);
        installProgramTranslations(application);
        std::cerr << KCC_PROGRAM << ": "
                  << QCoreApplication::translate("main", "нет дисплея для окна (не заданы %1 и %2); сценарии обходятся "
                                                         "без него: %3")
                         .arg(QLatin1String("DISPLAY"), QLatin1String("WAYLAND_DISPLAY"),
                              QLatin1String(KCC_PROGRAM "-cli --help"))
                         .toLocal8Bit()
                         .constData()
                  << std::endl;
        return kExitFailure;
    }
    QApplication application(argc, argv);
    installProgramTranslations(application);
    Kestrik_KCC window;
    const QStringList names = namesToOpen(command);
    window.show();
    if (!names.isEmpty())
        QTimer::singleShot(0, &window, [&window, names] { window.openNamedFiles(names); });
    QTimer::singleShot(0, &window, &Kestrik_KCC::reportInterruptedWipes);
    return application.exec();
}
