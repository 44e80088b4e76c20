// The one argument parser of rmtool's commands: a table of each command's options and one
// loop over it (ParseCommandArgs).
//
// Ours rather than CLI11's: the viewer's options that rmtool hands on (-f, -max, -w, ...)
// are single-dash words matched without regard to case, and take their value by the viewer's
// rule (the next argument unless it looks like an option), which CLI11 would read as bundled
// short flags; each must reach the viewer's own parser in order and unparsed, so that it
// means there what it means to the viewer. Our messages, exit status 2 and hand-written
// usage texts would all have to be rebuilt over CLI11's. What is left for a library to do is
// a loop of forty lines.
#include "tools/rmtool/command_args.h"

#include <strings.h>

#include <algorithm>

#include "tools/rmtool/tool_common.h"
#include "tools/rmtool/viewer_reader.h"

bool CommandArgs::Has(const std::string& name) const {
    return std::any_of(own.begin(), own.end(), [&](const auto& o) { return o.first == name; });
}

bool CommandArgs::HasViewerArg(const char* name) const {
    return std::any_of(viewerArgs.begin(), viewerArgs.end(),
                       [&](const std::string& a) { return strcasecmp(a.c_str(), name) == 0; });
}

std::string CommandArgs::Value(const std::string& name) const {
    for (auto o = own.rbegin(); o != own.rend(); ++o)
        if (o->first == name) return o->second;
    return "";
}

std::string CommandArgs::OneMetafile(const std::string& command) const {
    if (files.empty())
        ThrowUsageError(command + ": no metafile given (see rmtool " + command + " --help)");
    if (files.size() > 1)
        ThrowUsageError(command + ": one metafile only ('" + files[0] + "' and '" + files[1] +
                        "')");
    return files[0];
}

void RefuseStandardOutput(const std::string& command, const std::string& name,
                          const std::string& what) {
    if (name == "-")
        ThrowUsageError(command + ": the " + what +
                        " is written to a file, not to standard output");
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

namespace {

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& arg) {
    for (const OptionRule& rule : rules) {
        const bool same = rule.kind == OptionKind::Viewer ? strcasecmp(rule.name, arg.c_str()) == 0
                                                          : arg == rule.name;
        if (same) return &rule;
    }
    return nullptr;
}

}  // namespace

CommandArgs ParseCommandArgs(const std::string& command, const std::vector<std::string>& args,
                             const std::vector<OptionRule>& rules) {
    CommandArgs out;
    auto unknown = [&](const std::string& a) {
        ThrowUsageError(command + ": unknown option '" + a + "' (see rmtool " + command +
                        " --help)");
    };
    size_t i = 0;
    for (; i < args.size() && args[i] != "--";) {
        const std::string& a = args[i];
        const OptionRule* rule = IsOption(a) ? FindRule(rules, a) : nullptr;
        if (!IsOption(a)) {
            out.files.push_back(a);
            ++i;
        } else if (rule == nullptr) {
            unknown(a);
        } else if (rule->kind == OptionKind::Viewer) {
            const size_t used = TakeViewerOption(args, i, out.viewerArgs);
            if (used == 0) unknown(a);  // a rule naming no viewer option rmtool passes on
            i += used;
        } else if (rule->kind == OptionKind::Flag) {
            out.own.emplace_back(a, "");
            ++i;
        } else {
            if (i + 1 >= args.size())
                ThrowUsageError(command + ": " + a + " needs " + rule->valueName);
            out.own.emplace_back(a, args[i + 1]);
            i += 2;
        }
    }
    if (i < args.size()) out.files.insert(out.files.end(), args.begin() + i + 1, args.end());
    return out;
}
