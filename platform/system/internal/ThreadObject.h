// The kernel object behind a thread handle, and the control of its thread by a signal.
#pragma once

#include <pthread.h>
#include <setjmp.h>
#include <sys/types.h>

#include <array>
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

    // Starts the pthread and waits until it knows its kernel id. 0, or an errno-like code.
    int Start(SIZE_T stackSize);
    pid_t ThreadId() const { return m_tid.load(); }
    DWORD ExitCode() const { return m_exitCode.load(); }

    DWORD Suspend();
    DWORD Resume();
    void Terminate(DWORD exitCode);
    // The calling thread's own object ends its thread normally (ExitThread).
    [[noreturn]] void ExitCurrent(DWORD exitCode);

    // The objects a wait of this thread holds, kept here and not on its stack, so that a
    // termination in the middle of the wait drops them.
    using WaitSlots = std::array<std::shared_ptr<KernelObject>, MAXIMUM_WAIT_OBJECTS>;
    WaitSlots& Slots() { return m_waitSlots; }

    // While the depth is above zero (the thread holds a lock of the layer), the control
    // signal only notes the request; leaving the outermost level acts on it.
    void EnterDeferral() { m_deferDepth.fetch_add(1, std::memory_order_relaxed); }
    void LeaveDeferral();

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
    std::atomic<int> m_deferDepth{0};
    std::atomic<bool> m_controlPending{false};
    // A futex word bumped on every change the threads above wait for.
    std::atomic<uint32_t> m_sequence{0};
    // Keeps the object alive while its thread runs, whoever closes the handle; dropped by the
    // thread itself when it ends, also when it was terminated.
    std::shared_ptr<ThreadObject> m_self;
    // Where a termination or ExitThread lands: the start of the thread's own frame, from which
    // it returns to the C library like a thread that ended by itself (detached, so the
    // library reclaims its stack).
    sigjmp_buf m_exitJump;
    WaitSlots m_waitSlots;
};

// A scope in which the calling thread, when it is one of the layer's threads, is neither
// suspended nor terminated: held around the layer's own locks, and around calls that take
// references to kernel objects, so that a terminated thread leaves no lock held and no
// reference behind.
class ControlDeferral {
public:
    ControlDeferral() : m_thread(ThreadObject::Current()) {
        if (m_thread) m_thread->EnterDeferral();
    }
    ~ControlDeferral() {
        if (m_thread) m_thread->LeaveDeferral();
    }
    ControlDeferral(const ControlDeferral&) = delete;
    ControlDeferral& operator=(const ControlDeferral&) = delete;

private:
    ThreadObject* m_thread;
};

// A mutex of the layer: its holder is not suspended or terminated while it holds it.
class DeferringMutex {
public:
    void lock() {
        ThreadObject* thread = ThreadObject::Current();
        if (thread) thread->EnterDeferral();
        m_mutex.lock();
        m_holder = thread;
    }
    void unlock() {
        ThreadObject* holder = m_holder;
        m_mutex.unlock();
        if (holder) holder->LeaveDeferral();
    }

private:
    std::mutex m_mutex;
    ThreadObject* m_holder = nullptr;
};

}  // namespace kst::detail
