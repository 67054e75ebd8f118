// kst trace: writes lines through the library's trace log, as a host does.
#include "Commands.h"
#include "KstTraceLog.h"

namespace kstool {
namespace {

struct {
    std::string pipe;
    bool file = false, threadId = false;
    std::vector<std::string> lines;
} trace;

int TraceWrite() {
    if (!trace.pipe.empty() && !cTraceLogGlobal.SetPipeName(".", trace.pipe.c_str()))
        return UsageError("pipe name too long: " + trace.pipe);
    if (trace.file) cTraceLogGlobal.EnableFile(1);
    if (trace.threadId) cTraceLogGlobal.EnableThreadId(1);
    for (const auto& line : trace.lines)
        CTraceLog_Trace("MESSAGE: kst::trace(); %s\n", line.c_str());
    return 0;
}

Registration traceCommands({"trace"}, [](CLI::App& kst) {
    CLI::App* cmd =
        AddCommand(kst, "trace", "write each TEXT as a trace line, as a host does", TraceWrite);
    cmd->add_option("TEXT", trace.lines, "a line to trace")->required();
    cmd->add_option("--pipe", trace.pipe, "the listener's pipe name");
    cmd->add_flag("--file", trace.file, "also append the lines to the trace file");
    cmd->add_flag("--thread-id", trace.threadId, "stamp the lines with the thread id");
});

}  // namespace
}  // namespace kstool
