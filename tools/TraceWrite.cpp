// kst trace: writes lines through the library's trace log, as a host does.
#include "Commands.h"
#include "KstTraceLog.h"

namespace kstool {
namespace {

int TraceWrite(const std::vector<std::string>& args) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--pipe" && i + 1 < args.size()) {
            if (!cTraceLogGlobal.SetPipeName(".", args[++i].c_str()))
                return UsageError("pipe name too long");
        } else if (args[i] == "--file") {
            cTraceLogGlobal.EnableFile(1);
        } else if (args[i] == "--thread-id") {
            cTraceLogGlobal.EnableThreadId(1);
        } else {
            lines.push_back(args[i]);
        }
    }
    if (lines.empty()) return UsageError("trace [--pipe NAME] [--file] [--thread-id] TEXT...");
    for (const auto& line : lines) CTraceLog_Trace("MESSAGE: kst::trace(); %s\n", line.c_str());
    return 0;
}

CommandRegistration traceCommand({"trace", "[--pipe NAME] [--file] [--thread-id] TEXT...",
                                  "write each TEXT as a trace line, as a host does", TraceWrite});

}  // namespace
}  // namespace kstool
