// The commands. Each takes the arguments after its name and returns the exit status;
// a failure throws ToolError, which main reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

int RunInfo(const std::vector<std::string>& args);
// RunInfo with the report written to `out` (the Python module keeps it).
int WriteInfo(const std::vector<std::string>& args, FILE* out);
int RunCheck(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunEncode(const std::vector<std::string>& args);
int RunCut(const std::vector<std::string>& args);
int RunJoin(const std::vector<std::string>& args);

extern const char* const InfoUsage;
extern const char* const CheckUsage;
extern const char* const ExportUsage;
extern const char* const EncodeUsage;
extern const char* const CutUsage;
extern const char* const JoinUsage;

// The command-line pieces the commands share.
bool IsHelp(const std::string& arg);
// A metafile argument: the one positional argument of info, check and export. "--" ends the
// options, so a file whose name begins with '-' can still be given.
struct MetafileArgs {
    std::string path;
    std::vector<std::string> viewerArgs;
    std::vector<std::string> own;  // the command's own options, with their values, in order
};
// Sorts `args` into viewer options, the command's own options (`ownWithValue` take the next
// argument, `ownFlags` do not) and the one file name. Anything else is a usage error.
MetafileArgs SplitMetafileArgs(const std::string& command, const std::vector<std::string>& args,
                               const std::vector<std::string>& ownFlags,
                               const std::vector<std::string>& ownWithValue);
