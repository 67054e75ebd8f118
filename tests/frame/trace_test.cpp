// The trace log: the pipe's wire format, busy and absent listeners, many threads on both
// channels, the file's entries and stamps, a full disk; the module's start and end lines and
// the string-list packing.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <tuple>

#include "DebugListener.h"
#include "KstCollections.h"
#include "KstStringService.h"
#include "KstWin32.h"
#include "ProcessState.h"
#include "TraceCapture.h"
#include "platform/system/internal/Faults.h"

namespace {

using namespace std::chrono_literals;

using ksttest::DebugListener;

std::string (*const TraceFilePath)() = ksttest::TraceCapture::Path;

// The groups of each trace file entry matched against the pattern; a line that does not
// match, or a cut line at the end, fails the test.
std::vector<std::vector<std::string>> FileEntries(const std::string& file,
                                                  const std::regex& entry) {
    std::vector<std::vector<std::string>> entries;
    size_t start = 0, end;
    for (; (end = file.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = file.substr(start, end - start);
        std::smatch match;
        if (std::regex_match(line, match, entry))
            entries.emplace_back(match.begin(), match.end());
        else
            ADD_FAILURE() << line;
    }
    EXPECT_EQ(start, file.size()) << "a cut line at the end";
    return entries;
}

// Points the global log at a pipe of the test's own and puts the defaults back afterwards.
class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pipe = std::string("kst-test-") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                 std::to_string(getpid());
        ASSERT_TRUE(cTraceLogGlobal.SetPipeName(".", m_pipe.c_str()));
    }
    void TearDown() override {
        cTraceLogGlobal.SetPipeName(".", "AtlsDbgPipe");
        cTraceLogGlobal.EnableFile(0);
        cTraceLogGlobal.EnableThreadId(0);
        cTraceLogGlobal.EnableOutput(1);
    }
    std::string m_pipe;
};

TEST_F(TraceLogTest, MessageBytesFollowTheWireFormat) {
    DebugListener listener(m_pipe);
    CTraceLog_Trace("ERROR: A::B(); failed %d\n", 42);
    auto messages = listener.WaitFor(1);
    ASSERT_EQ(messages.size(), 1u);
    char computer[16];
    DWORD length = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &length));
    std::string text = "ERROR: A::B(); failed 42\n";
    // Words: 0, the process, the name's and the text's sizes, 0 for no debugger attached.
    std::string head;
    for (uint32_t word :
         {0u, uint32_t(getpid()), uint32_t(length + 1), uint32_t(text.size() + 1), 0u})
        head.append(reinterpret_cast<const char*>(&word), 4);
    EXPECT_EQ(ksttest::Hex(messages[0]),
              ksttest::Hex(head + std::string(computer, length) + '\0' + text + '\0'));
    // Long texts are cut inside the formatting buffer.
    CTraceLog_Trace("%s", std::string(2000, 'x').c_str());
    auto both = listener.WaitFor(2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(DebugListener::Text(both[1]), std::string(511, 'x'));
}

TEST_F(TraceLogTest, BusyListenerGetsTheLinesOnceItAccepts) {
    // A backlog of one that is not served for a while: writers find the pipe busy and wait.
    DebugListener listener(m_pipe, 1, 600ms);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 5; ++i) CTraceLog_Trace("MESSAGE: busy %d/%d\n", t, i);
        });
    }
    for (auto& w : writers) w.join();
    // Every writer returned: each line was answered before, none may be missing or twice.
    std::multiset<std::string> lines;
    for (auto until = std::chrono::steady_clock::now() + 5s;
         lines.size() < 20 && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(5ms)) {
        lines.clear();
        for (const auto& m : listener.WaitFor(0))
            if (!m.empty()) lines.insert(DebugListener::Text(m));
    }
    std::multiset<std::string> expected;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 5; ++i)
            expected.insert("MESSAGE: busy " + std::to_string(t) + "/" + std::to_string(i) + "\n");
    EXPECT_EQ(lines, expected);
}

TEST_F(TraceLogTest, ManyThreadsWriteWholeLinesToBothChannels) {
    constexpr int kThreads = 8, kLines = 2000;
    DebugListener listener(m_pipe, 512);
    cTraceLogGlobal.EnableFile(1);
    cTraceLogGlobal.ClearFile();
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                CTraceLog_Trace("MESSAGE: T::W(); thread %d line %d\n", t, i);
        });
    }
    for (auto& w : writers) w.join();
    cTraceLogGlobal.EnableFile(0);

    auto messages = listener.WaitFor(kThreads * kLines);
    ASSERT_EQ(messages.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    std::regex pattern("MESSAGE: T::W\\(\\); thread (\\d) line (\\d+)\n");
    for (const auto& m : messages) {
        std::smatch match;
        std::string text = DebugListener::Text(m);
        ASSERT_TRUE(std::regex_match(text, match, pattern)) << text;
        int t = std::stoi(match[1]);
        EXPECT_EQ(std::stoi(match[2]), next[t]++);  // each thread's lines in its order
    }

    std::vector<int> fileNext(kThreads, 0);
    auto entries = FileEntries(ksttest::ReadFile(TraceFilePath()),
                               std::regex(".*; MESSAGE: T::W\\(\\); thread (\\d) line (\\d+)\r"));
    for (const auto& match : entries)
        EXPECT_EQ(std::stoi(match[2]), fileNext[std::stoi(match[1])]++);
    EXPECT_EQ(entries.size(), static_cast<size_t>(kThreads * kLines));
}

// Every member may be called while other threads trace: lines stay whole on both channels
// while one thread moves the pipe between two listeners, switches the channels and empties
// the file, and the tracing threads also write entries directly and debug output.
TEST_F(TraceLogTest, SettingsChangeWhileEightThreadsTrace) {
    std::string other = m_pipe + "-b";
    DebugListener first(m_pipe, 512), second(other, 512);
    cTraceLogGlobal.EnableFile(1);
    cTraceLogGlobal.ClearFile();
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([t, &stop] {
            for (int i = 0; !stop; ++i) {
                if (i % 16 == 0)
                    cTraceLogGlobal.WriteString(CString("MESSAGE: direct\n"));
                else if (i % 16 == 1)
                    OutputDebugStringA("MESSAGE: debug\n");
                else
                    CTraceLog_Trace("MESSAGE: T::W(); thread %d line %d\n", t, i);
            }
        });
    }
    auto until = std::chrono::steady_clock::now() + 2s;
    for (int round = 0; std::chrono::steady_clock::now() < until; ++round) {
        EXPECT_TRUE(cTraceLogGlobal.SetPipeName(".", (round % 2 ? other : m_pipe).c_str()));
        cTraceLogGlobal.EnableThreadId(round % 3 == 0);
        cTraceLogGlobal.EnableOutput(round % 5 != 0);
        cTraceLogGlobal.EnableFile(round % 7 != 0);
        if (round % 50 == 0) cTraceLogGlobal.ClearFile();
        std::this_thread::sleep_for(1ms);
    }
    stop = true;
    for (auto& w : writers) w.join();
    cTraceLogGlobal.EnableFile(0);

    std::regex message("(\\{\\d+\\}; )?MESSAGE: (T::W\\(\\); thread \\d line \\d+|debug)\n");
    for (DebugListener* listener : {&first, &second}) {
        auto messages = listener->WaitFor(1, 10s);
        EXPECT_FALSE(messages.empty());
        for (const auto& m : messages)
            ASSERT_TRUE(std::regex_match(DebugListener::Text(m), message))
                << DebugListener::Text(m);
    }
    EXPECT_GT(FileEntries(ksttest::ReadFile(TraceFilePath()),
                          std::regex("[^;{}]*; (\\{\\d+\\}; )?MESSAGE: "
                                     "(T::W\\(\\); thread \\d line \\d+|direct)\r"))
                  .size(),
              0u);
}

TEST_F(TraceLogTest, FileEntriesCarryTimeAndThreadIdAndClearFileEmptiesTheFile) {
    CTraceLog log;
    log.EnableOutput(0);
    log.EnableFile(1);
    log.EnableThreadId(1);
    log.ClearFile();  // closed: opens, empties, closes
    EXPECT_EQ(ksttest::ReadFile(TraceFilePath()), "");
    log.Trace("ERROR: A::B(); failed\n");
    log.EnableFile(0);
    log.WriteString("direct\n");  // whatever the file switch says
    auto entries = FileEntries(ksttest::ReadFile(TraceFilePath()), std::regex("[^;{}]+; (.*)\r"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][1],
              "{" + std::to_string(GetCurrentThreadId()) + "}; ERROR: A::B(); failed");
    EXPECT_EQ(entries[1][1], "direct");
    log.ClearFile();  // open: empties in place, stays open
    log.EnableThreadId(0);
    log.WriteString("after\n");
    EXPECT_EQ(
        FileEntries(ksttest::ReadFile(TraceFilePath()), std::regex("[^;{}]+; (after)\r")).size(),
        1u);
}

// The stamp follows the zone the process has when the entry is written, also within the
// second in which an earlier entry was stamped in another zone.
TEST_F(TraceLogTest, TimeStampFollowsAZoneChangeAtOnce) {
    ksttest::TimeZoneScope keep("UTC0");  // puts the zone back whatever the test sets
    auto stampIn = [](const char* tz, time_t at) {
        setenv("TZ", tz, 1);
        tzset();
        struct tm fields;
        localtime_r(&at, &fields);
        char text[128];
        strftime(text, sizeof text, "%c; ", &fields);
        return std::string(text);
    };
    CTraceLog log;
    std::string file;
    time_t at;
    do {  // both entries in one second, so that only the zone tells them apart
        log.ClearFile();
        at = time(nullptr);
        setenv("TZ", "UTC0", 1);
        log.WriteString("utc\n");
        setenv("TZ", "<+0530>-5:30", 1);
        log.WriteString("india\n");
        file = ksttest::ReadFile(TraceFilePath());
    } while (time(nullptr) != at);
    std::string expected =
        stampIn("UTC0", at) + "utc\r\n" + stampIn("<+0530>-5:30", at) + "india\r\n";
    EXPECT_EQ(file, expected);
}

TEST_F(TraceLogTest, ClearFileThatCannotEmptyLeavesTheFileClosed) {
    // A device cannot be cut to length: the clearing fails after the file was opened. The
    // global log may hold the real file open: it is set aside meanwhile and put back.
    std::string path = TraceFilePath(), aside = path + ".aside";
    std::error_code ignored;
    std::filesystem::rename(path, aside, ignored);
    ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
    CTraceLog log;
    log.ClearFile();
    std::filesystem::remove(path);
    // Still open, the entry would go to the device; closed, it makes the file anew.
    log.WriteString("fresh\n");
    std::string file = ksttest::ReadFile(path);
    std::filesystem::rename(aside, path, ignored);
    EXPECT_NE(file.find("; fresh\r\n"), std::string::npos) << file;
}

// The file channel on a disk that fills up: its entries stop (whole or cut at the limit) and
// start again once there is room; the pipe channel loses none of its lines.
TEST_F(TraceLogTest, FullDiskStopsTheFileButNotThePipe) {
    constexpr int kLines = 200;
    DebugListener listener(m_pipe);
    CTraceLog log;
    log.EnableFile(1);
    log.ClearFile();
    kst::detail::FaultPlan plan;
    plan.pathPart = ").Trace";
    plan.writeLimit = 1000;
    kst::detail::SetFaults(plan);
    for (int i = 0; i < kLines; ++i) log.Trace(("line " + std::to_string(i) + "\n").c_str());
    kst::detail::ClearFaults();
    log.Trace("after the disk was freed\n");
    auto messages = listener.WaitFor(kLines + 1);
    ASSERT_EQ(messages.size(), static_cast<size_t>(kLines + 1));
    for (int i = 0; i < kLines; ++i)
        EXPECT_EQ(DebugListener::Text(messages[i]), "line " + std::to_string(i) + "\n");
    std::string file = ksttest::ReadFile(TraceFilePath());
    EXPECT_GE(file.size(), 1000u);
    EXPECT_LT(file.size(), 1100u) << "entries written to the full disk came back";
    const std::string last = "; after the disk was freed\r\n";
    ASSERT_GT(file.size(), last.size());
    EXPECT_EQ(file.substr(file.size() - last.size()), last);
    EXPECT_NE(file.find("; line 0\r\n"), std::string::npos);
}

// A thread that impersonates before a line still does after it: the token is put back.
TEST_F(TraceLogTest, ImpersonationSurvivesALineOnThePipe) {
    DebugListener listener(m_pipe);
    std::thread([&] {
        ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
        CTraceLog_Trace("MESSAGE: as someone\n");
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token));
        if (token) CloseHandle(token);
        RevertToSelf();
    }).join();
    EXPECT_EQ(listener.WaitFor(1).size(), 1u);
}

TEST_F(TraceLogTest, CommandLineSwitchesTheGlobalFileChannel) {
    CTraceLog other;
    ksttest::WriteFile(TraceFilePath(), "old entry\r\n");
    cTraceLogGlobal.EnableOutput(0);
    // {command line, clear, the file's entries after the line of this row's number}
    const std::tuple<const char*, int, const char*> cases[] = {
        {"app.exe", 1, "old entry"},  // no switch: off, file untouched
        {"app.exe -TRACE", 1, "2"},   // on, emptied
        {"x-tracer", 0, "2 3"},       // a plain substring counts; not cleared
        {"-Trac", 0, "2 3"},
    };
    int line = 0;
    for (auto [command, clear, expected] : cases) {
        other.SetByCommandLine(command, clear);
        cTraceLogGlobal.Trace(CString(std::to_string(++line).c_str()) + "\n");
        std::string seen;
        for (const auto& e :
             FileEntries(ksttest::ReadFile(TraceFilePath()), std::regex("(?:[^;]+; )?(.+)\r")))
            seen += (seen.empty() ? "" : " ") + e[1];
        EXPECT_EQ(seen, expected) << command;
    }
}

TEST_F(TraceLogTest, PipeNameMustFitTheModuleBuffer) {
    std::string machine(100, 'm');
    EXPECT_EQ(cTraceLogGlobal.SetPipeName(machine.c_str(), std::string(151, 'p').c_str()), 1);
    EXPECT_EQ(cTraceLogGlobal.SetPipeName(machine.c_str(), std::string(152, 'q').c_str()), 0);
    // The refused name left the accepted one in place: lines to it go nowhere, without delay.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) CTraceLog_Trace("MESSAGE: nobody listens %d\n", i);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    ASSERT_TRUE(cTraceLogGlobal.SetPipeName(".", m_pipe.c_str()));
    DebugListener listener(m_pipe);
    CTraceLog_Trace("MESSAGE: back home\n");
    auto messages = listener.WaitFor(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(DebugListener::Text(messages[0]), "MESSAGE: back home\n");
}

TEST(ModuleEntry, HostThatLoadsTheLibrarySeesStartFirstAndEndLast) {
    std::string runtime = ksttest::ScratchDir();
    DebugListener listener(runtime + "/kst-pipe/AtlsDbgPipe");
    std::string host = std::string(KST_HOST_DIR) + "/kst_host_dlopen_host";
    ASSERT_EQ(ksttest::RunCommand("XDG_RUNTIME_DIR=" + runtime + " " + host + " one two"), 0);
    std::vector<std::string> texts;
    for (const auto& m : listener.WaitFor(4, 10s)) texts.push_back(DebugListener::Text(m));
    EXPECT_EQ(texts, (std::vector<std::string>{"KstSystem.DLL Initializing!\n", "one\n", "two\n",
                                               "KstSystem.DLL Terminating!\n"}));
}

TEST(TraceListener, PrintsOneLinePerMessageFromRealProcesses) {
    std::string runtime = ksttest::ScratchDir();
    std::string env = "XDG_RUNTIME_DIR=" + runtime + " ";
    std::string out = runtime + "/listener.out";
    std::string tool = ksttest::ToolPath();
    pid_t listener = fork();
    if (listener == 0) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        freopen(out.c_str(), "w", stdout);
        execl(tool.c_str(), tool.c_str(), "trace-listen", "--pipe", "demo", "--count", "8",
              nullptr);
        _exit(127);
    }
    std::string socketPath = runtime + "/kst-pipe/demo";
    for (int i = 0; i < 500 && access(socketPath.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(access(socketPath.c_str(), F_OK), 0);
    // Two writers at once, three lines each and the library's end line (its start line went
    // to the default pipe, before the program named its own).
    std::string write = env + tool + " trace --pipe demo first second third";
    ASSERT_EQ(ksttest::RunCommand("(" + write + " & " + write + "; wait)"), 0);
    EXPECT_EQ(ksttest::WaitChild(listener), 0);
    std::string printed = ksttest::ReadFile(out);
    std::regex line(
        "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[\\d+\\] [A-Z0-9-]+: "
        "(?:MESSAGE: kst::trace\\(\\); (\\w+)|KstSystem.DLL (Terminating)!)");
    std::map<std::string, int> seen;
    for (const auto& match : FileEntries(printed, line)) ++seen[match[1] + match[2]];
    EXPECT_EQ(seen, (std::map<std::string, int>{
                        {"Terminating", 2}, {"first", 2}, {"second", 2}, {"third", 2}}));
    EXPECT_NE(access(socketPath.c_str(), F_OK), 0);  // removed on the way out
}

TEST(ModuleEntry, EndLineReachesTheFileWithItsTimeStamp) {
    // The end line is traced while the process exits, after the thread's own objects are gone.
    std::string tool = ksttest::ToolPath();
    auto traceFile = std::filesystem::path(tool).parent_path() / "(kst).Trace";
    std::filesystem::remove(traceFile);
    ASSERT_EQ(ksttest::RunCommand(tool + " trace --file last"), 0);
    std::string file = ksttest::ReadFile(traceFile.string());
    std::regex entries(
        "[^;\r\n]+; MESSAGE: kst::trace\\(\\); last\r\n[^;\r\n]+; KstSystem.DLL Terminating!\r\n");
    EXPECT_TRUE(std::regex_match(file, entries)) << file;
}

// ---- string lists -----------------------------------------------------------------------

std::vector<std::string> Items(const CStringArray& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetSize(); ++i) out.push_back(list.GetAt(i).str());
    return out;
}

using Strings = std::vector<std::string>;

TEST(StringService, PackAndUnpackAtADelimiterOrAnyOfASet) {
    struct Case {
        const char* text;
        const char* delimiters;
        int set;  // -1: a delimiter string; 0 or 1: any of a set, trimmed when 1
        Strings items;
    };
    const Case cases[] = {
        {"a;;b;", ";", -1, {"a", "", "b"}},
        {";a", ";", -1, {"", "a"}},
        {"", ";", -1, {}},
        {"a::b:c", "::", -1, {"a", "b:c"}},
        {"abc", "", -1, {"abc"}},  // terminates, text whole
        {"a, b ;c", ",;", 1, {"a", "b", "c"}},
        {"a, b ;c", ",;", 0, {"a", " b ", "c"}},
        {"a; ", ";", 1, {"a", ""}},
        {",,", ",", 0, {"", ""}},
    };
    for (const auto& c : cases) {
        CStringArray list;
        list.Add("stale");
        if (c.set < 0)
            CStringService::UnpackFromString(list, c.text, c.delimiters);
        else
            CStringService::UnpackFromString2(list, c.text, c.delimiters, c.set == 1);
        EXPECT_EQ(Items(list), c.items) << '"' << c.text << "\" at \"" << c.delimiters << '"';
    }
    // Packing then unpacking gives the list back, with or without the trailing delimiter.
    CStringArray list, back;
    CString packed("stale");
    CStringService::PackToString(list, packed, ";", 1);
    EXPECT_EQ(packed, "");
    for (const char* s : {"one", "", "три", "four five"}) list.Add(s);
    for (auto [trailing, expected] :
         {std::pair{0, "one||три|four five"}, {1, "one||три|four five|"}}) {
        CStringService::PackToString(list, packed, "|", trailing);
        EXPECT_EQ(packed, expected);
        CStringService::UnpackFromString(back, packed, "|");
        EXPECT_EQ(Items(back), Items(list));
    }
}

}  // namespace
