// What the global trace log writes to its file beside the test program while an object lives.
#pragma once

#include <string>
#include <vector>

#include "KstTest.h"
#include "KstTraceLog.h"

namespace ksttest {

class TraceCapture {
public:
    TraceCapture() : m_file(Path()) {
        cTraceLogGlobal.ClearFile();
        cTraceLogGlobal.EnableFile(1);
    }
    ~TraceCapture() {
        cTraceLogGlobal.EnableFile(0);
        cTraceLogGlobal.ClearFile();  // leaves an empty file beside the program
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // The trace file beside this program.
    static std::string Path() {
        std::string exe = SelfExe();
        size_t slash = exe.rfind('/');
        return exe.substr(0, slash + 1) + "(" + exe.substr(slash + 1) + ").Trace";
    }
    std::string Text() const { return ReadFile(m_file); }
    // The lines without their time stamps.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string text = Text();
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            size_t stamp = line.find("; ");
            lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
            at = end + 2;
        }
        return lines;
    }

private:
    std::string m_file;
};

}  // namespace ksttest
