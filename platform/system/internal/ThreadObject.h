// The kernel object behind a thread handle, and the control of its thread by a signal.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "Handle.h"
#include "KstWin32Threads.h"

namespace kst::detail {

class ThreadObject : public KernelObject, public std::enable_shared_from_this<ThreadObject> {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended);
    ~ThreadObject() override;

    bool Valid() const { return m_doneFd >= 0; }
    int SignalFd() const override { return m_doneFd; }
    bool Acquire() override { return true; }  // an ended thread stays signaled

    // Starts the pthread and waits until it knows its kernel id. False with errno-like code.
    int Start(SIZE_T stackSize);
    pid_t ThreadId() const { return m_tid.load(); }
    DWORD ExitCode() const { return m_exitCode.load(); }

    DWORD Suspend();
    DWORD Resume();
    void Terminate(DWORD exitCode);
    // The calling thread's own object ends its thread normally (ExitThread).
    [[noreturn]] void ExitCurrent(DWORD exitCode);

    int m_priority = THREAD_PRIORITY_NORMAL;

    static ThreadObject* Current();

private:
    static void* Main(void* self);
    static void OnControlSignal(int);
    void ParkWhileSuspended();
    [[noreturn]] void DieNow();
    void Finish(DWORD exitCode);
    void Bump();
    void WaitForChange(uint32_t seen, int timeoutMs);

    LPTHREAD_START_ROUTINE m_start;
    LPVOID m_parameter;
    int m_doneFd;
    std::atomic<pid_t> m_tid{0};
    std::atomic<DWORD> m_exitCode{STILL_ACTIVE};
    std::atomic<int> m_suspendCount;
    std::atomic<bool> m_terminate{false};
    std::atomic<bool> m_finishing{false};
    std::atomic<bool> m_parked{false};
    std::atomic<bool> m_ended{false};
    // A futex word bumped on every change the threads above wait for.
    std::atomic<uint32_t> m_sequence{0};
    // Keeps the object alive while its thread runs, whoever closes the handle.
    std::mutex m_selfMutex;
    std::shared_ptr<ThreadObject> m_self;
};

}  // namespace kst::detail
