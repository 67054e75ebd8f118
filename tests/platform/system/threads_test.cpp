// Threads: suspension with the platform's counting, termination of a thread that calls
// nothing, exit codes and the framework's CWinThread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "KstWinThread.h"

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

    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_FALSE(Advances(counter));
    EXPECT_EQ(SuspendThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 2u);
    EXPECT_FALSE(Advances(counter));  // still suspended once
    EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_TRUE(Advances(counter));
    EXPECT_EQ(ResumeThread(thread), 0u);  // not suspended: nothing to undo

    EXPECT_TRUE(TerminateThread(thread, 99));
    EXPECT_EQ(ExitCode(thread), 99u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(Advances(counter));
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));  // it is gone
    EXPECT_TRUE(TerminateThread(thread, 5));                   // changes nothing any more
    EXPECT_EQ(ExitCode(thread), 99u);
    CloseHandle(thread);
}

TEST(Thread, TerminatesASuspendedThreadAndOneCreatedSuspended) {
    volatile uint64_t counter = 0;
    HANDLE running = CreateThread(nullptr, 0, Spin, const_cast<uint64_t*>(&counter), 0, nullptr);
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(SuspendThread(running), 0u);
    EXPECT_TRUE(TerminateThread(running, 3));
    EXPECT_EQ(WaitForSingleObject(running, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(running), 3u);
    CloseHandle(running);

    volatile uint64_t idle = 0;
    DWORD id = 0;
    HANDLE created =
        CreateThread(nullptr, 0, Spin, const_cast<uint64_t*>(&idle), CREATE_SUSPENDED, &id);
    ASSERT_NE(created, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_FALSE(Advances(idle));
    EXPECT_EQ(ResumeThread(created), 1u);
    EXPECT_TRUE(Advances(idle));
    EXPECT_TRUE(TerminateThread(created, 4));
    EXPECT_EQ(WaitForSingleObject(created, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(created), 4u);
    CloseHandle(created);
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
    EXPECT_EQ(seen, id);
    EXPECT_EQ(ids.count(id), 0u);
    EXPECT_EQ(ExitCode(thread), 42u);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<pid_t>(GetCurrentThreadId()), gettid());
}

UINT ReturnParameter(LPVOID parameter) {
    return static_cast<UINT>(reinterpret_cast<uintptr_t>(parameter));
}

TEST(WinThread, KeptObjectGivesTheExitCodeAndAutoDeletedOneCleansUp) {
    CWinThread* kept = AfxBeginThread(ReturnParameter, reinterpret_cast<LPVOID>(17),
                                      THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(kept, nullptr);
    kept->m_bAutoDelete = FALSE;
    EXPECT_NE(kept->m_nThreadID, 0u);
    EXPECT_EQ(kept->ResumeThread(), 1u);
    EXPECT_EQ(WaitForSingleObject(kept->m_hThread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(kept->m_hThread), 17u);
    delete kept;

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

TEST(WinThread, AfxEndThreadEndsTheThreadWithTheCode) {
    CWinThread* thread = AfxBeginThread([](LPVOID) -> UINT { AfxEndThread(23, FALSE); }, nullptr,
                                        THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(*thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(*thread), 23u);
    delete thread;
}

}  // namespace
