#include <algorithm>

#include "tools/rmtool/commands.h"
#include "tools/rmtool/tool_common.h"
#include "tools/rmtool/viewer_reader.h"

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

MetafileArgs SplitMetafileArgs(const std::string& command, const std::vector<std::string>& args,
                               const std::vector<std::string>& ownFlags,
                               const std::vector<std::string>& ownWithValue) {
    MetafileArgs out;
    bool optionsEnded = false;
    auto takeFile = [&](const std::string& name) {
        if (!out.path.empty())
            FailUsage(command + ": one metafile only ('" + out.path + "' and '" + name + "')");
        out.path = name;
    };
    for (size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            takeFile(a);
            ++i;
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            ++i;
            continue;
        }
        if (std::find(ownFlags.begin(), ownFlags.end(), a) != ownFlags.end()) {
            out.own.push_back(a);
            ++i;
            continue;
        }
        if (std::find(ownWithValue.begin(), ownWithValue.end(), a) != ownWithValue.end()) {
            if (i + 1 >= args.size()) FailUsage(command + ": " + a + " needs a value");
            out.own.push_back(a);
            out.own.push_back(args[i + 1]);
            i += 2;
            continue;
        }
        size_t used = TakeViewerOption(args, i, out.viewerArgs);
        if (used == 0)
            FailUsage(command + ": unknown option '" + a + "' (see rmtool " + command + " --help)");
        i += used;
    }
    if (out.path.empty())
        FailUsage(command + ": no metafile given (see rmtool " + command + " --help)");
    return out;
}
