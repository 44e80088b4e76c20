// How every rmtool command reads its arguments: one parser over a table of the command's
// options, so that the seven commands share one set of rules.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class OptionKind {
    Flag,    // stands alone: --force
    Value,   // takes the argument after it, whatever it is: --png DIR, --png -, -s 64
    Viewer,  // one of the viewer's options, handed with its value to the viewer's own parser
};

struct OptionRule {
    const char* name;
    OptionKind kind;
    const char* valueName = "a value";  // for "needs a value"
};

// The viewer options that make sense without a window: -f a,b,c  -w n  -s  -m  -g  -max n
// -p ms.
extern const std::vector<OptionRule> ViewerOptionRules;

struct CommandArgs {
    std::vector<std::string> files;       // the arguments that are no option, in order
    std::vector<std::string> viewerArgs;  // the viewer's options with their values, in order
    std::vector<std::pair<std::string, std::string>> own;  // the command's own, in order

    bool Has(const std::string& name) const;
    // True when `name` is among viewerArgs, matched without regard to case as the viewer does.
    bool HasViewerArg(const char* name) const;
    // The value of the last `name` given; empty when none is.
    std::string Value(const std::string& name) const;
    // The one metafile of info, check and export: a usage error unless there is exactly one.
    std::string OneMetafile(const std::string& command) const;
};

// A usage error when the file to write, `name`, is "-": "CMD: the WHAT is written to a file,
// not to standard output".
void RefuseStandardOutput(const std::string& command, const std::string& name,
                          const std::string& what);

// True when the command line asks for the command's usage: --help or -h anywhere before "--".
bool AsksForHelp(const std::vector<std::string>& args);

// Sorts `args` by `rules`. The rules are the same for every command:
//  - "--" ends the options: every argument after it is a file name;
//  - "-" and "" are file names (what "-" means is the command's: standard input, or refused);
//  - any other argument that begins with '-' is an option, and one not in `rules` is a usage
//    error naming it; the viewer's options are matched without regard to case, as the
//    viewer does, the command's own exactly;
//  - a Value option with nothing after it is a usage error ("-s needs a size"); a viewer
//    option takes its value by the viewer's rule, and the viewer judges it when it parses.
// --help is not looked at here: see AsksForHelp, which main asks first.
CommandArgs ParseCommandArgs(const std::string& command, const std::vector<std::string>& args,
                             const std::vector<OptionRule>& rules);
