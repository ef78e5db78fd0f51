#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "journalwords.h"

#include <iosfwd>
#include <string>
#include <vector>

// The two programs that read the same command line: the window's, which also
// draws the act, and the one for scripts, which links no GUI library.
enum class CommandProgram { Window, Cli };

// What main does once the arguments are read. Parsing needs no QApplication,
// so --help, --version and argument errors work without a display.
struct CommandLine
{
    enum class Action {
        OpenWindow, Exit, WipeFiles, WipeToken, ListTokens, PrintJournal, VerifyJournal, WriteAct,
        PrintPublicKey, WriteCertificate, VerifyCertificate, VerifyCollection, StampPending,
    };
    enum class PinSource { None, StandardInput, File };

    Action action = Action::OpenWindow;
    CommandProgram program = CommandProgram::Window; // the one that reads it, named in its messages
    int exitCode = 0;
    int algorithm = -1;               // WipeAlgorithm
    std::vector<std::string> files;   // WipeFiles
    std::vector<std::string> openFiles; // OpenWindow: names given without an option; the window takes the first
    std::vector<int> openFileIndexes;   // their places in argv, where Windows reads them again as UTF-16
    std::string serial;               // WipeToken: the token's serial number
    PinSource pinSource = PinSource::None;
    std::string pinFile;
    bool assumeYes = false;           // no question asked
    bool noJournal = false;           // wipe even when the begun entry cannot be put on the medium
    bool searchVolume = false;        // WipeFiles: read the volume for blocks of the key afterwards
    bool fillFreed = false;           // WipeFiles: fill what a relocating file system freed
    bool json = false;                // the wipes' and the list's results as one JSON document on stdout
    bool quiet = false;               // no progress line, and of the results only the failures
    std::string actFile;              // WriteAct: the PDF to write
    std::string from, to;             // WriteAct: YYYY-MM-DD, either may be empty
    long long sequence = 0;           // WriteCertificate: the journal entry's number, or kLastWipe
    std::string certificateFile;      // WriteCertificate, VerifyCertificate
    std::string publicKey;            // VerifyCertificate, VerifyJournal: hex; empty: the pinned keys (a journal: this installation's)
    std::string collectionDirectory;  // VerifyCollection
};

// --certificate last: the journal's last ending entry.
constexpr long long kLastWipe = -1;

// Exit codes of the scripted modes. With several files, the gravest one wins.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;    // anything else (no token library, a PIN that cannot be read)
constexpr int kExitUsage = 2;
constexpr int kExitDeclined = 3;   // the question was answered no, or could not be asked
constexpr int kExitNotFound = 4;   // no such file or token; nothing touched
constexpr int kExitRefused = 5;    // not a regular file, or a name that cannot be used; nothing touched
constexpr int kExitIncomplete = 6; // the wipe stopped after changing the file, which was kept
constexpr int kExitToken = 7;      // the token refused: wrong or locked PIN, a failed call
constexpr int kExitReplaced = 8;   // deleted, but the token or the file system did not let it be overwritten in place
constexpr int kExitOverwriteUnproven = 10;  // deleted; whether the passes reached the key's own blocks cannot be checked
constexpr int kExitSurvivors = 11; // deleted, but blocks of the key are on the volume, or the fill did not reach them all
constexpr int kExitNotSearched = 12; // deleted, but the volume could not be searched as asked
constexpr int kExitBadCertificate = 13; // the certificate does not verify
constexpr int kExitDeletionUnproven = 14; // the token took the deletion, but its absence could not be checked
constexpr int kExitJournalBroken = 9; // the journal's chain is broken or the journal cannot be read
constexpr int kExitJournalNotVerified = 15; // no key to check it with, a key not pinned, or no head guarding its end
constexpr int kExitNoRecord = 16;  // not started: the begun entry is not on the medium; nothing touched
constexpr int kExitEndNotRecorded = 17; // the wipe ran, but its ending entry is not on the medium
constexpr int kExitRewritten = 18; // emptied and removed, but another program wrote into the file meanwhile
constexpr int kExitUntouched = 19; // the wipe stopped before its first change (no write permission); nothing touched

// The exit status a wipe that ended so gives.
int exitStatusOf(EndState state);

// Reads the program's options; help and version go to `out`, errors to `err`.
// The window's program leaves Qt's own options (-platform, -style, ...) for
// QApplication; kestrik-kcc-cli takes neither them, a window nor --act.
CommandLine parseCommandLine(int argc, const char *const *argv, std::ostream &out,
                             std::ostream &err, CommandProgram program = CommandProgram::Window);

// Writes the act of destruction (kcc_cli_act): QtGui, so only the window's
// program has it.
using ActWriter = int (*)(const CommandLine &command);

struct VerifyResult;
// Whether a journal's entries may be exported, printed or certified: its
// chain, signatures and end all hold (a torn last line is an interrupted append).
bool vouches(const VerifyResult &verification);
// The exit status a journal's state gives a mode built on it.
int journalStatus(const VerifyResult &verification);
int writeActCommand(const CommandLine &command);

// Runs a scripted mode. Needs a QCoreApplication, never a display; --act
// needs `writeAct` and a QGuiApplication.
int runCommandLine(const CommandLine &command, ActWriter writeAct = nullptr);

#endif // COMMANDLINE_H
