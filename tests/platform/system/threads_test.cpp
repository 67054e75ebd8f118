// Threads: suspension with the platform's counting, termination of a thread that calls
// nothing, exit codes and the framework's CWinThread; and what ended threads leave behind:
// nothing but their handles, which still answer waits and exit-code queries, terminated
// threads included, also in the middle of a wait or of the layer's own locks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "KstWin32.h"
#include "KstWinThread.h"
#include "ProcessState.h"

namespace {

using namespace std::chrono_literals;

// Spins on a volatile counter without calling anything.
DWORD Spin(LPVOID parameter) {
    auto* counter = static_cast<volatile uint64_t*>(parameter);
    for (;;) *counter = *counter + 1;
}

bool Advances(volatile uint64_t& counter) {
    uint64_t before = counter;
    std::this_thread::sleep_for(30ms);
    return counter != before;
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

TEST(Thread, SuspendResumeAndTerminateASpinningThread) {
    volatile uint64_t counter = 0;
    HANDLE thread = CreateThread(nullptr, 0, Spin, const_cast<uint64_t*>(&counter), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(Advances(counter));
    EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);

    // Each step's answer, then whether the thread ran on: suspended twice, once is still
    // suspended; not suspended, a resume has nothing to undo.
    std::vector<std::pair<DWORD, bool>> steps;
    for (auto step : {SuspendThread, SuspendThread, ResumeThread, ResumeThread, ResumeThread})
        steps.push_back({step(thread), Advances(counter)});
    EXPECT_EQ(steps, (std::vector<std::pair<DWORD, bool>>{
                         {0, false}, {1, false}, {2, false}, {1, true}, {0, true}}));
    EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);

    EXPECT_TRUE(TerminateThread(thread, 99));
    EXPECT_EQ(ExitCode(thread), 99u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(Advances(counter));
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));  // it is gone
    EXPECT_TRUE(TerminateThread(thread, 5));                   // changes nothing any more
    EXPECT_EQ(ExitCode(thread), 99u);
    CloseHandle(thread);

    // Created suspended, then terminated while suspended.
    thread =
        CreateThread(nullptr, 0, Spin, const_cast<uint64_t*>(&counter), CREATE_SUSPENDED, nullptr);
    EXPECT_FALSE(Advances(counter));
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_TRUE(Advances(counter));
    EXPECT_TRUE(SuspendThread(thread) == 0u && TerminateThread(thread, 4));
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(thread), 4u);
    CloseHandle(thread);
}

TEST(Thread, SuspendsAThreadBlockedInAWaitAndKeepsItsWaitIntact) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<DWORD> result{0xDEAD};
    struct Context {
        HANDLE event;
        std::atomic<DWORD>* result;
    } context{event, &result};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Context*>(p);
            *c->result = WaitForSingleObject(c->event, 10000);
            return 0;
        },
        &context, 0, nullptr);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(SuspendThread(thread), 0u);
    SetEvent(event);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(result.load(), 0xDEADu);  // parked: the signal waits for it
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(Thread, ThreadIdsAreKernelIdsAndExitThreadSetsTheCode) {
    std::set<DWORD> ids{GetCurrentThreadId()};
    // A thread outlives its closed handle, and the pseudo handle stands for itself.
    std::atomic<DWORD> ownCode{0};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Sleep(20);
            DWORD own = 0;
            GetExitCodeThread(GetCurrentThread(), &own);
            static_cast<std::atomic<DWORD>*>(p)->store(own);
            return 0;
        },
        &ownCode, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
    for (int i = 0; i < 500 && ownCode == 0; ++i) std::this_thread::sleep_for(2ms);
    EXPECT_EQ(ownCode.load(), STILL_ACTIVE);

    DWORD seen = 0;
    DWORD id = 0;
    thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            *static_cast<DWORD*>(p) = GetCurrentThreadId();
            ExitThread(42);
        },
        &seen, 0, &id);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(seen == id && ids.count(id) == 0);
    EXPECT_EQ(ExitCode(thread), 42u);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<pid_t>(GetCurrentThreadId()), gettid());
}

UINT ReturnParameter(LPVOID parameter) {
    return static_cast<UINT>(reinterpret_cast<uintptr_t>(parameter));
}

TEST(WinThread, KeptObjectsGiveTheExitCodeAndAutoDeletedOnesCleanUp) {
    // Returned from the function or given to AfxEndThread.
    for (auto fn : {ReturnParameter, +[](LPVOID) -> UINT { AfxEndThread(17, FALSE); }}) {
        CWinThread* kept = AfxBeginThread(fn, reinterpret_cast<LPVOID>(17), THREAD_PRIORITY_NORMAL,
                                          0, CREATE_SUSPENDED);
        ASSERT_NE(kept, nullptr);
        kept->m_bAutoDelete = FALSE;
        EXPECT_TRUE(kept->m_nThreadID != 0 && kept->ResumeThread() == 1u);
        EXPECT_EQ(WaitForSingleObject(*kept, 5000), WAIT_OBJECT_0);
        EXPECT_EQ(ExitCode(*kept), 17u);
        delete kept;
    }

    // Auto-deleted: the object is gone at the end (checked by the leak sanitizer).
    std::atomic<bool> ran{false};
    CWinThread* automatic = AfxBeginThread(
        [](LPVOID p) -> UINT {
            static_cast<std::atomic<bool>*>(p)->store(AfxGetThread() != nullptr);
            return 0;
        },
        &ran);
    ASSERT_NE(automatic, nullptr);
    for (int i = 0; i < 500 && !ran; ++i) std::this_thread::sleep_for(2ms);
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
}

using ksttest::DescriptorCount;
using ksttest::DescriptorsSettleAt;
using ksttest::ThreadCount;
using ksttest::ThreadsSettleAt;

DWORD SleepForever(LPVOID) {
    for (;;) Sleep(1000);
}

DWORD WaitOnEvent(LPVOID event) {
    return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
}

TEST(ThreadEnd, ATerminatedWaitDropsTheObjectsItWaitedFor) {
    ASSERT_TRUE(ThreadsSettleAt(1));
    int fds = DescriptorCount();
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            return WaitForMultipleObjects(2, static_cast<HANDLE*>(p), TRUE, INFINITE);
        },
        events, 0, nullptr);
    std::this_thread::sleep_for(20ms);  // into the wait
    TerminateThread(thread, 5);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
    CloseHandle(thread);
    EXPECT_TRUE(DescriptorsSettleAt(fds));  // the wait's references went with the thread
}

TEST(ThreadEnd, HandlesOfEndedThreadsKeepAnswering) {
    int tasks = ThreadCount();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE waiter = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
    HANDLE sleeper = CreateThread(nullptr, 0, SleepForever, nullptr, 0, nullptr);
    SetEvent(event);
    TerminateThread(sleeper, 3);
    ASSERT_TRUE(ThreadsSettleAt(tasks));  // both threads are gone, their handles are not
    HANDLE both[2] = {sleeper, waiter};
    for (int i = 0; i < 2; ++i) EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(std::pair(ExitCode(waiter), ExitCode(sleeper)), std::pair(DWORD(WAIT_OBJECT_0), 3u));
    EXPECT_EQ(SuspendThread(sleeper), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(waiter);
    CloseHandle(sleeper);
    CloseHandle(event);
}

TEST(ThreadEnd, ADuplicateOutlivesTheAutoDeletedFrameworkObject) {
    CWinThread* thread = AfxBeginThread([](LPVOID) -> UINT { return 12; }, nullptr,
                                        THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    HANDLE original = thread->m_hThread, copy = nullptr;
    HANDLE process = GetCurrentProcess();
    ASSERT_TRUE(
        DuplicateHandle(process, original, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_NE(copy, original);
    thread->ResumeThread();  // from here on the object may be gone
    ASSERT_EQ(WaitForSingleObject(copy, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(copy), 12u);
    // The framework deleted the object, and closed its handle, before the thread ended.
    DWORD code;
    EXPECT_FALSE(GetExitCodeThread(original, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(copy));

    EXPECT_FALSE(DuplicateHandle(process, nullptr, process, &copy, 0, FALSE, 0));
    EXPECT_FALSE(DuplicateHandle(nullptr, GetCurrentThread(), process, &copy, 0, FALSE, 0));
    // The pseudo handle of a thread of the layer becomes a real one.
    std::atomic<HANDLE> own{nullptr};
    HANDLE self = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            HANDLE h = nullptr, process = GetCurrentProcess();
            DuplicateHandle(process, GetCurrentThread(), process, &h, 0, FALSE, 0);
            static_cast<std::atomic<HANDLE>*>(p)->store(h);
            return 8;
        },
        &own, 0, nullptr);
    ASSERT_TRUE(WaitForSingleObject(self, 5000) == WAIT_OBJECT_0 && own.load() != nullptr);
    EXPECT_EQ(ExitCode(own.load()), 8u);
    CloseHandle(own.load());
    CloseHandle(self);
}

// Suspensions and a termination that land while the thread is inside the layer's calls (its
// handle table, its events) wait until it has let go: the controller, which needs the same
// locks, never finds them held by a parked or dead thread.
TEST(ThreadEnd, ControlWaitsForTheLayersLocksToBeReleased) {
    ASSERT_TRUE(ThreadsSettleAt(1));
    int fds = DescriptorCount();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            for (;;) {
                SetEvent(p);
                ResetEvent(p);
                WaitForSingleObject(p, 0);
            }
        },
        event, 0, nullptr);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 3000 && !done; ++i) std::this_thread::sleep_for(10ms);
        if (!done) {
            fprintf(stderr, "deadlocked\n");
            abort();
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(SuspendThread(thread), 0u);
        SetEvent(event);  // the event's lock and the handle table are free
        HANDLE other = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        CloseHandle(other);
        ASSERT_EQ(ResumeThread(thread), 1u);
    }
    TerminateThread(thread, 1);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    SetEvent(event);
    CloseHandle(thread);
    CloseHandle(event);
    done = true;
    watchdog.join();
    EXPECT_TRUE(DescriptorsSettleAt(fds));
}

}  // namespace
