#ifndef INSTALLATION_H
#define INSTALLATION_H

#include <QString>

// Where this installation's record lives, the same for the window and the
// command line whatever their executables are called: the journal, its head
// and the signing key in the data directory, the certificate's settings in
// the configuration directory. Computed without an application object (the
// command line reads its options before it makes one) and never from Qt's
// application locations, which follow the executable's name.
namespace installation {

QString name(); // kestrik-kcc; Kestrik_KCC on Windows, as the window's executable
// Gives both programs the one application name; called first in main.
void nameApplication();

QString dataDirectory();   // ~/.local/share/kestrik-kcc, %APPDATA%\Kestrik_KCC
QString configDirectory(); // ~/.config/kestrik-kcc, %LOCALAPPDATA%\Kestrik_KCC

// The journal and key an earlier command line kept apart under its own
// executable's name (~/.local/share/kestrik-kcc-cli). Empty where there is
// no such journal, or where KCC_JOURNAL names the journal to use.
QString earlierJournalPath();
QString earlierKeyPath(); // beside that journal

} // namespace installation

#endif // INSTALLATION_H
