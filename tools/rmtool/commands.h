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
