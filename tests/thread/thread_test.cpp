// CThread: the life cycle of one worker, trees of children, operations in the wrong order and
// the warning of a destructor run on a running thread.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "KstWin32System.h"
#include "ThreadTestKinds.h"
#include "TraceCapture.h"

namespace {

using namespace std::chrono_literals;
using ksttest::Cooperative;
using ksttest::ExitCode;
using ksttest::Publishing;
using ksttest::Stubborn;
using ksttest::Worker;

// Records when its message loop has ended.
template <class Base>
class LoopWatched : public Base {
public:
    CEvent m_loopEnded;
    void MessageLoop() override {
        Base::MessageLoop();
        m_loopEnded.SetEvent();
    }
};

TEST(ThreadLife, BaseThreadEndsAtOnceAndItsLoopWithIt) {
    LoopWatched<CThread> thread;
    EXPECT_EQ(thread.GetMessageLoopHandle(), INVALID_HANDLE_VALUE);
    thread.Init();
    ASSERT_EQ(thread.GetThreadInfo()->m_arrSync.GetSize(), 2);
    thread.Run();
    ASSERT_EQ(WaitForSingleObject(Worker(thread), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread.m_loopEnded, 5000), WAIT_OBJECT_0);
    // The kept handle still answers.
    EXPECT_EQ(std::pair(thread.IsRunning(), ExitCode(thread)), std::pair(0, 0u));
    EXPECT_EQ(thread.GetMessageLoopHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ((std::vector<long>{thread.Stop(), thread.Kill()}), (std::vector<long>{0, 0}));
}

TEST(ThreadLife, OperationsOnAThreadNeverRun) {
    for (bool init : {false, true}) {
        CThread thread;
        if (init) thread.Init();
        // Stop, whether the stop event was set, Kill, Suspend, Resume, IsSuspended, IsRunning.
        std::vector<long> results = {
            thread.Stop(),
            long(WaitForSingleObject(thread.m_eventStop, 0) == WAIT_TIMEOUT),
            (thread.Stop(100), thread.Kill()),
            thread.Suspend(),
            thread.Resume(),
            thread.IsSuspended(),
            thread.IsRunning()};
        EXPECT_EQ(results, (std::vector<long>{0, 1, 0, 0, 0, 0, 0})) << init;
        EXPECT_EQ(thread.GetMessageLoopHandle(), INVALID_HANDLE_VALUE);
    }
    CThread uninitialized;  // Run without Init starts nothing
    uninitialized.Run();
    EXPECT_EQ(uninitialized.GetThreadInfo()->m_pWinThread, nullptr);
    EXPECT_EQ(uninitialized.IsRunning(), 0);
}

TEST(ThreadLife, StopWithATimeOutKillsAWorkerThatIgnoresIt) {
    LoopWatched<Stubborn> thread;
    thread.Init();
    thread.Run();
    ASSERT_EQ(WaitForSingleObject(thread.m_started, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(thread.IsRunning(), 1);
    EXPECT_EQ(WaitForSingleObject(thread.GetMessageLoopHandle(), 0), DWORD(WAIT_TIMEOUT));
    auto start = std::chrono::steady_clock::now();
    thread.Stop(100);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 100ms);
    EXPECT_LT(took, 1500ms);  // the time-out plus scheduling slack on a busy machine
    EXPECT_EQ(std::pair(thread.IsRunning(), ExitCode(thread)), std::pair(0, 99u));
    EXPECT_EQ(WaitForSingleObject(Worker(thread), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread.m_loopEnded, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(thread.Kill(), 0);  // Kill twice: the second finds nothing running
}

TEST(ThreadLife, RelayEventIsSetOncePerSignal) {
    Cooperative thread;
    thread.Init();
    thread.Run();
    CSyncObject* relay = thread.GetThreadInfo()->m_arrSync[1];
    for (int i = 0; i < 3; ++i) {
        SetEvent(*relay);
        ASSERT_EQ(WaitForSingleObject(thread.m_eventRelay, 5000), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(thread.m_eventRelay, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_EQ(thread.Stop(), 1);
    EXPECT_EQ(WaitForSingleObject(Worker(thread), 5000), WAIT_OBJECT_0);
}

// Ticks every few milliseconds until stopped, so that a suspension shows.
class Ticker : public CThread {
public:
    std::atomic<int> m_ticks{0};
    void Execute() override {
        while (WaitForSingleObject(m_eventStop, 2) == WAIT_TIMEOUT) ++m_ticks;
    }
};

bool Ticks(Ticker& thread) {
    int before = thread.m_ticks;
    Sleep(40);
    return thread.m_ticks != before;
}

TEST(ThreadLife, SuspendTwiceResumeOnceReachesEveryChild) {
    Ticker parent;
    parent.Init();
    for (int i = 0; i < 2; ++i) {
        Ticker* child = new Ticker;
        child->Init();
        EXPECT_EQ(parent.AddThread(child), 1);
        child->Run();
    }
    EXPECT_EQ(parent.AddThread(nullptr), 0);
    EXPECT_EQ(parent.GetCountChildThreads(), 2u);
    parent.Run();
    std::vector<Ticker*> all = {&parent};
    for (int i = 0; i < 2; ++i) all.push_back(static_cast<Ticker*>(parent.m_arrChildren[i]));
    for (Ticker* t : all) EXPECT_TRUE(Ticks(*t));

    EXPECT_EQ((std::vector<long>{parent.Suspend(), parent.Suspend(), parent.Resume()}),
              (std::vector<long>{1, 1, 1}));
    for (Ticker* t : all) {
        EXPECT_EQ(t->IsSuspended(), 1);
        EXPECT_FALSE(Ticks(*t));
    }
    EXPECT_EQ(parent.Resume(), 1);
    for (Ticker* t : all) {
        EXPECT_EQ(t->IsSuspended(), 0);
        EXPECT_TRUE(Ticks(*t));
    }
    EXPECT_EQ(parent.Resume(), 1);  // Resume without Suspend counts, as the platform succeeds
    EXPECT_EQ(parent.IsSuspended(), -1);
    parent.Stop(5000);  // waits for the parent's worker only
    for (Ticker* t : all) {
        EXPECT_EQ(WaitForSingleObject(Worker(*t), 5000), WAIT_OBJECT_0);
        EXPECT_EQ(ExitCode(*t), 0u);
    }
}

TEST(ThreadLife, ChildrenPublishTheirObjectsInOrder) {
    CThread parent;
    parent.Init();
    class Two : public CThread {
        void InitForParentSync() override {
            m_info.m_arrParentSync.Add(new CEvent);
            m_info.m_arrParentSync.Add(new CEvent);
        }
    };
    auto* a = new Two;
    auto* b = new Publishing<CThread>;
    a->Init();
    b->Init();
    parent.AddThread(a);
    parent.AddThread(b);
    auto& published = parent.GetThreadInfo()->m_arrChildSync;
    ASSERT_EQ(published.GetSize(), 3);
    auto& fromA = a->GetThreadInfo()->m_arrParentSync;
    EXPECT_EQ((std::vector{published[0], published[1], published[2]}),
              (std::vector{fromA[0], fromA[1], b->GetThreadInfo()->m_arrParentSync[0]}));
}

// A tree of 3 levels, 4 children each below the top; names "", "2", "2.3", ...
template <class Kind>
class Tree {
public:
    Tree() { Build(m_top, "", 0); }
    Kind m_top;
    std::map<CThread*, std::string> m_names;
    std::vector<Kind*> m_all;

private:
    void Build(Kind& node, const std::string& name, int level) {
        node.Init();
        m_names[&node] = name;
        m_all.push_back(&node);
        if (level == 2) return;
        for (int i = 0; i < 4; ++i) {
            auto* child = new Kind;
            Build(*child, name.empty() ? std::to_string(i) : name + "." + std::to_string(i),
                  level + 1);
            node.AddThread(child);
        }
    }
};

template <class Kind>
void RunAll(Tree<Kind>& tree) {
    for (Kind* node : tree.m_all) node->Run();
}

TEST(ThreadTree, StopFromTheTopReachesEveryWorkerOnce) {
    Tree<Cooperative> tree;
    ASSERT_EQ(tree.m_all.size(), 21u);
    RunAll(tree);
    EXPECT_EQ(tree.m_top.Stop(), 1);
    for (Cooperative* node : tree.m_all) {
        ASSERT_EQ(WaitForSingleObject(Worker(*node), 5000), WAIT_OBJECT_0);
        EXPECT_EQ(node->m_stops.load(), 1) << tree.m_names[node];
        EXPECT_EQ(ExitCode(*node), 0u);
    }
}

TEST(ThreadTree, KillFromTheTopEndsEveryWorker) {
    Tree<Stubborn> tree;
    RunAll(tree);
    for (Stubborn* node : tree.m_all) ASSERT_EQ(WaitForSingleObject(node->m_started, 5000), 0u);
    EXPECT_EQ(tree.m_top.Kill(), 1);
    for (Stubborn* node : tree.m_all) {
        EXPECT_EQ(WaitForSingleObject(Worker(*node), 5000), WAIT_OBJECT_0) << tree.m_names[node];
        EXPECT_EQ(ExitCode(*node), 99u);
    }
}

std::vector<std::string> g_destroyed;
std::map<void*, std::string> g_names;

TEST(ThreadTree, DestroyingTheTopGoesDeepestFirstThenCallsBack) {
    auto* tree = new Tree<Cooperative>;
    g_names.clear();
    for (auto& [node, name] : tree->m_names) {
        g_names[node] = name;
        node->m_mapOnDestroy["record"] = [](void* p) { g_destroyed.push_back(g_names[p]); };
    }
    tree->m_top.m_mapOnDestroy["second"] = [](void*) { g_destroyed.push_back("second"); };
    RunAll(*tree);
    tree->m_top.Stop(5000);
    g_destroyed.clear();
    delete tree;
    // Children from the last to the first, each after its own children; the top's callbacks
    // come last, in the map's order (of 17 buckets, "record" hashes to 1, "second" to 4).
    std::vector<std::string> expected;
    for (int i = 3; i >= 0; --i) {
        for (int j = 3; j >= 0; --j)
            expected.push_back(std::to_string(i) + "." + std::to_string(j));
        expected.push_back(std::to_string(i));
    }
    expected.push_back("");
    expected.push_back("second");
    EXPECT_EQ(g_destroyed, expected);
}

TEST(ThreadTree, ParentWithAKilledChildEndsAndDestroysCleanly) {
    auto* parent = new Cooperative;
    parent->Init();
    auto* child = new Stubborn;
    child->Init();
    parent->AddThread(child);
    child->Run();
    parent->Run();
    ASSERT_EQ(WaitForSingleObject(child->m_started, 5000), WAIT_OBJECT_0);
    EXPECT_EQ((std::pair{child->Kill(), child->Kill()}), std::pair(1, 0));
    parent->Stop(5000);
    EXPECT_EQ(std::pair(ExitCode(*parent), ExitCode(*child)), std::pair(0u, 99u));
    delete parent;
}

TEST(ThreadWarning, DestroyingARunningThreadTracesItAndLeavesNoWorker) {
    ksttest::CodePageScope utf8(65001, 866);
    cTraceLogGlobal.EnableOutput(0);
    auto trace = std::make_unique<ksttest::TraceCapture>();

    // The worker must be inside Execute: deleted before, it would run the base's.
    auto* thread = new Stubborn;
    thread->Init();
    thread->Run();
    ASSERT_EQ(WaitForSingleObject(thread->m_started, 5000), WAIT_OBJECT_0);
    CWinThread* worker = thread->GetThreadInfo()->m_pWinThread;
    HANDLE process = GetCurrentProcess(), copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(process, *worker, process, &copy, 0, FALSE, 0));
    delete thread;
    auto lines = trace->Lines();
    trace.reset();
    cTraceLogGlobal.EnableOutput(1);

    DWORD code = 0;
    EXPECT_TRUE(WaitForSingleObject(copy, 0) == WAIT_OBJECT_0 && GetExitCodeThread(copy, &code));
    EXPECT_EQ(code, 99u);
    CloseHandle(copy);
    char id[16];
    snprintf(id, sizeof id, "%x", GetCurrentThreadId());
    EXPECT_EQ(lines,
              std::vector<std::string>{
                  std::string("WARNING: CThread::~CThread(); Поток еще не остановлен. ") + id});
}

}  // namespace
