#ifndef COMMANDOPTIONS_H
#define COMMANDOPTIONS_H

#include "commandline.h"

#include <iosfwd>
#include <string>
#include <vector>

const char *programName(CommandProgram program);

// An option met on the command line, with the values typed after it.
struct OptionUse {
    CommandLine &command;
    const std::vector<std::string> &values;
    std::ostream &out;       // --help and --version print here
    CommandProgram program;
};

// Puts the values into the command line; false when a value cannot be taken.
// An option that ends the reading (--help) sets the action to Exit.
using OptionApply = bool (*)(OptionUse &use);

// Values up to the next argument that looks like an option.
constexpr int kValuesUpToNextOption = -1;

// One option: --help prints it, the parser reads it, and tests/cli checks the
// manual page against it, so the option and its argument are written as they
// are typed.
struct CommandOption {
    char shortName;          // 'a' for -a, or 0
    const char *longName;    // "--algorithm"
    const char *argument;    // Russian source text ("ИМЯ"), or nullptr
    const char *help;        // Russian source text; '\n' starts a continuation line; nullptr: refused, undocumented
    bool windowOnly;         // drawn with QtGui: not in kestrik-kcc-cli
    int values;              // how many values follow it: 0, 1, 2 or kValuesUpToNextOption
    CommandLine::Action selects; // the mode it chooses; OpenWindow: none
    OptionApply apply;
    const char *misuse;      // Russian source text for a missing or wrong value; %1: the option
};

struct ExitDoc {
    int code;
    const char *meaning;     // Russian source text
};

extern const CommandOption kOptions[];
extern const int kOptionCount;
extern const ExitDoc kExitDocs[];
extern const int kExitDocCount;

// The whole --help of one program, in the program's language.
void printUsage(std::ostream &out, CommandProgram program);

#endif // COMMANDOPTIONS_H
