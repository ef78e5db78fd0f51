#ifndef COMMANDOPTIONS_H
#define COMMANDOPTIONS_H

#include <iosfwd>

// The two programs that read the same command line: the window's, which also
// draws the act, and the one for scripts, which links no GUI library.
enum class CommandProgram { Window, Cli };

const char *programName(CommandProgram program);

// One row of --help. The manual page is checked against this table by
// tests/cli, so the option and its argument are written as they are typed.
struct OptionDoc {
    const char *shortName;   // "-a", or nullptr
    const char *longName;    // "--algorithm"
    const char *argument;    // Russian source text ("ИМЯ"), or nullptr
    const char *help;        // Russian source text; '\n' starts a continuation line
    bool windowOnly;         // drawn with QtGui: not in kestrik-kcc-cli
};

struct ExitDoc {
    int code;
    const char *meaning;     // Russian source text
};

extern const OptionDoc kOptionDocs[];
extern const int kOptionDocCount;
extern const ExitDoc kExitDocs[];
extern const int kExitDocCount;

// The whole --help of one program, in the program's language.
void printUsage(std::ostream &out, CommandProgram program);

#endif // COMMANDOPTIONS_H
