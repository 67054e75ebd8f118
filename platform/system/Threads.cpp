// Threads on pthreads, with suspension and termination through a real-time signal.
//
// The control signal's handler runs on the target thread: it parks the thread on a futex while
// its suspend count is above zero, and a termination request jumps from there back to the
// thread's first frame (no unwinding, which would abort in noexcept code, and no code of the
// thread runs any more), from which the thread ends like one that returned: its handle is
// signaled and the C library reclaims it (threads are detached). While the thread holds one
// of the layer's own locks the request waits until it lets go. Everything the handler touches
// is async-signal-safe.
#include <linux/futex.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

#include "KstWin32Base.h"
#include "KstWin32Threads.h"
#include "internal/Errno.h"
#include "internal/ThreadObject.h"
#include "internal/Waitable.h"

namespace kst::detail {

namespace {

constexpr int kMaximumSuspendCount = 127;  // MAXIMUM_SUSPEND_COUNT
constexpr DWORD kSuspendFailed = static_cast<DWORD>(-1);
const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

// Initial-exec: the handler must not reach the dynamic TLS allocator.
thread_local ThreadObject* t_current __attribute__((tls_model("initial-exec"))) = nullptr;

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

void FutexWake(std::atomic<uint32_t>& word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
            nullptr, 0);
}

void FutexWait(std::atomic<uint32_t>& word, uint32_t seen, int timeoutMs) {
    struct timespec timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen,
            timeoutMs < 0 ? nullptr : &timeout, nullptr, 0);
}

void InstallControlHandler(void (*handler)(int)) {
    static std::once_flag once;
    std::call_once(once, [handler] {
        struct sigaction action = {};
        action.sa_handler = handler;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(KST_THREAD_CONTROL_SIGNAL, &action, nullptr);
    });
}

bool SendControlSignal(pid_t tid) {
    // tgkill, not pthread_kill: the pthread of an ending detached thread may already be gone,
    // while a reused kernel id only reaches a thread whose own flags ignore the signal.
    return syscall(SYS_tgkill, getpid(), tid, KST_THREAD_CONTROL_SIGNAL) == 0;
}

}  // namespace

ThreadObject::ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
    : m_start(start),
      m_parameter(parameter),
      m_doneFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_suspendCount(suspended ? 1 : 0) {}

ThreadObject::~ThreadObject() {
    if (m_doneFd >= 0) close(m_doneFd);
}

ThreadObject* ThreadObject::Current() {
    return t_current;
}

void ThreadObject::Bump() {
    m_sequence.fetch_add(1);
    FutexWake(m_sequence);
}

void ThreadObject::WaitForChange(uint32_t seen, int timeoutMs) {
    FutexWait(m_sequence, seen, timeoutMs);
}

int ThreadObject::Start(SIZE_T stackSize) {
    InstallControlHandler(&ThreadObject::OnControlSignal);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0) {
        SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
        SIZE_T size = std::max<SIZE_T>(stackSize, PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, (size + page - 1) / page * page);
    }
    m_self = shared_from_this();
    pthread_t thread;
    int rc = pthread_create(&thread, &attributes, &ThreadObject::Main, this);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        m_self.reset();
        return rc;
    }
    for (;;) {
        uint32_t seen = m_sequence.load();
        if (m_tid.load() != 0) return 0;
        WaitForChange(seen, -1);
    }
}

void* ThreadObject::Main(void* argument) {
    auto* self = static_cast<ThreadObject*>(argument);
    t_current = self;
    if (sigsetjmp(self->m_exitJump, 1) == 0) {
        self->m_tid.store(static_cast<pid_t>(syscall(SYS_gettid)));
        self->Bump();
        self->ParkWhileSuspended();  // created suspended: wait for ResumeThread here
        self->Finish(self->m_start(self->m_parameter));
    } else {
        // Terminated or ended by ExitThread: the exit code is set already. A blocking call
        // that was cut short may have left asynchronous cancellation switched on.
        pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
        self->Finish(STILL_ACTIVE);
    }
    return nullptr;
}

void ThreadObject::OnControlSignal(int) {
    int savedErrno = errno;
    ThreadObject* self = t_current;
    if (self && !self->m_finishing.load()) {
        if (self->m_deferDepth.load(std::memory_order_relaxed) > 0)
            self->m_controlPending.store(true);
        else
            self->ParkWhileSuspended();
    }
    errno = savedErrno;
}

void ThreadObject::LeaveDeferral() {
    if (m_deferDepth.fetch_sub(1, std::memory_order_relaxed) == 1 &&
        m_controlPending.exchange(false) && !m_finishing.load())
        ParkWhileSuspended();
}

void ThreadObject::ParkWhileSuspended() {
    for (;;) {
        uint32_t seen = m_sequence.load();
        if (m_terminate.load()) DieNow();
        if (m_suspendCount.load() <= 0) break;
        if (!m_parked.exchange(true)) {
            Bump();
            continue;
        }
        WaitForChange(seen, -1);
    }
    m_parked.store(false);
}

void ThreadObject::DieNow() {
    siglongjmp(m_exitJump, 1);
}

void ThreadObject::Finish(DWORD exitCode) {
    m_finishing.store(true);  // from here on the control signal is ignored
    DWORD running = STILL_ACTIVE;
    if (exitCode != STILL_ACTIVE)
        m_exitCode.compare_exchange_strong(running, exitCode);  // a termination's code stands
    for (auto& slot : m_waitSlots) slot.reset();  // a wait cut short by the termination
    std::shared_ptr<ThreadObject> keep = std::move(m_self);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(m_doneFd, &one, sizeof one);
    m_ended.store(true);
    Bump();
    t_current = nullptr;
}

void ThreadObject::ExitCurrent(DWORD exitCode) {
    DWORD running = STILL_ACTIVE;
    m_exitCode.compare_exchange_strong(running, exitCode);
    siglongjmp(m_exitJump, 1);
}

DWORD ThreadObject::Suspend() {
    if (m_ended.load() || m_exitCode.load() != STILL_ACTIVE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return kSuspendFailed;
    }
    int previous = m_suspendCount.load();
    do {
        if (previous >= kMaximumSuspendCount) {
            SetLastError(ERROR_SIGNAL_REFUSED);
            return kSuspendFailed;
        }
    } while (!m_suspendCount.compare_exchange_weak(previous, previous + 1));
    if (previous > 0) return static_cast<DWORD>(previous);
    SendControlSignal(m_tid.load());
    if (t_current == this) return 0;  // parked and resumed already
    // Wait until the thread is parked (or resumed or gone). A thread that blocks the signal
    // parks only when it unblocks it; the wait gives up after a second then.
    for (int waitedMs = 0; waitedMs < 1000; waitedMs += 10) {
        uint32_t seen = m_sequence.load();
        if (m_parked.load() || m_ended.load() || m_suspendCount.load() == 0) break;
        WaitForChange(seen, 10);
    }
    return 0;
}

DWORD ThreadObject::Resume() {
    int previous = m_suspendCount.load();
    do {
        if (previous <= 0) return 0;
    } while (!m_suspendCount.compare_exchange_weak(previous, previous - 1));
    if (previous == 1) Bump();
    return static_cast<DWORD>(previous);
}

void ThreadObject::Terminate(DWORD exitCode) {
    DWORD running = STILL_ACTIVE;
    if (!m_exitCode.compare_exchange_strong(running, exitCode)) return;  // ended already
    m_terminate.store(true);
    Bump();  // a parked thread wakes up and dies
    if (t_current == this) {
        if (m_deferDepth.load(std::memory_order_relaxed) == 0) DieNow();
        m_controlPending.store(true);  // dies when it leaves the layer's call
        return;
    }
    SendControlSignal(m_tid.load());
}

std::shared_ptr<ThreadObject> LookupThread(HANDLE handle) {
    if (handle == kCurrentThreadPseudoHandle) {
        ThreadObject* current = ThreadObject::Current();
        if (current) return current->shared_from_this();
    } else if (auto thread = LookupHandleAs<ThreadObject>(handle)) {
        return thread;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<KernelObject> LookupWaitable(HANDLE handle) {
    if (handle == kCurrentThreadPseudoHandle) return LookupThread(handle);
    return LookupHandle(handle);
}

}  // namespace kst::detail

using kst::detail::LookupThread;
using kst::detail::ThreadObject;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    kst::detail::ControlDeferral defer;
    auto thread = std::make_shared<ThreadObject>(start, parameter, (flags & CREATE_SUSPENDED) != 0);
    if (!thread->Valid()) {
        kst::detail::SetLastErrorFromErrno(errno);
        return nullptr;
    }
    if (int rc = thread->Start(stackSize); rc != 0) {
        kst::detail::SetLastErrorFromErrno(rc);
        return nullptr;
    }
    if (threadId) *threadId = static_cast<DWORD>(thread->ThreadId());
    return kst::detail::NewHandle(std::move(thread));
}

void ExitThread(DWORD exitCode) {
    if (ThreadObject* current = ThreadObject::Current()) current->ExitCurrent(exitCode);
    pthread_exit(nullptr);
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

// Each call defers its own suspension or termination until it has dropped its references
// (the deferral is declared first, so it ends last).

DWORD SuspendThread(HANDLE handle) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    return thread ? thread->Suspend() : static_cast<DWORD>(-1);
}

DWORD ResumeThread(HANDLE handle) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    return thread ? thread->Resume() : static_cast<DWORD>(-1);
}

BOOL TerminateThread(HANDLE handle, DWORD exitCode) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    if (!thread) return FALSE;
    thread->Terminate(exitCode);
    return TRUE;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    if (!thread || !exitCode) {
        if (thread) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = thread->ExitCode();
    return TRUE;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    if (!thread) return FALSE;
    thread->m_priority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE handle) {
    kst::detail::ControlDeferral defer;
    auto thread = LookupThread(handle);
    return thread ? thread->m_priority : 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
}
