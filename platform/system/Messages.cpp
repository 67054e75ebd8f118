// Windows as message targets: a table of handlers, and one message thread per process that
// delivers posted messages in order, so a poster never waits for a handler.
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "KstWin32Base.h"
#include "KstWin32Ui.h"
#include "internal/WindowTarget.h"

namespace {

pid_t CurrentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

struct Window {
    std::recursive_mutex callMutex;  // held while the handler runs; recursive for re-entry
    kst::detail::WindowHandler handler;
    pid_t ownerTid;
};

struct Posted {
    std::shared_ptr<Window> window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class WindowTable {
public:
    HWND Add(std::shared_ptr<Window> window) {
        std::lock_guard lock(m_mutex);
        uintptr_t value = m_next;
        m_next += 4;
        m_windows.emplace(value, std::move(window));
        return reinterpret_cast<HWND>(value);
    }
    std::shared_ptr<Window> Remove(HWND handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_windows.end()) return nullptr;
        auto window = std::move(it->second);
        m_windows.erase(it);
        return window;
    }
    std::shared_ptr<Window> Find(HWND handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(reinterpret_cast<uintptr_t>(handle));
        return it == m_windows.end() ? nullptr : it->second;
    }

private:
    std::mutex m_mutex;
    std::map<uintptr_t, std::shared_ptr<Window>> m_windows;
    uintptr_t m_next = 0x10000;
};

WindowTable& TheWindows() {
    static WindowTable* table = new WindowTable;
    return *table;
}

void Deliver(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(window.callMutex);
    // A copy: the handler may replace itself or destroy its window while it runs.
    kst::detail::WindowHandler handler = window.handler;
    if (handler) handler(message, wParam, lParam);
}

constexpr auto kGatherTime = std::chrono::microseconds(100);

// The queue and its thread live for the whole process (never destroyed: the thread may still
// wait on them while static objects are torn down).
class MessageThread {
public:
    void Post(Posted posted) {
        bool wake;
        {
            std::lock_guard lock(m_mutex);
            if (!m_started) {
                std::thread([this] { Run(); }).detach();
                m_started = true;
            }
            m_queue.push_back(std::move(posted));
            ++m_postedCount;
            wake = m_idle;
            m_idle = false;
        }
        // Only a sleeping thread is woken: a busy one takes the message with its batch.
        if (wake) m_changed.notify_all();
    }

    void Flush() {
        std::unique_lock lock(m_mutex);
        if (m_tid == CurrentTid()) return;
        uint64_t target = m_postedCount;
        ++m_flushers;
        m_changed.wait(lock, [&] { return m_delivered >= target; });
        --m_flushers;
    }

private:
    // Takes what has queued up in one go and delivers it in order, the lock let go meanwhile.
    void Run() {
        std::unique_lock lock(m_mutex);
        m_tid = CurrentTid();
        std::deque<Posted> batch;
        for (;;) {
            if (m_queue.empty()) {
                while (m_queue.empty()) {
                    m_idle = true;
                    m_changed.wait(lock);
                }
                // Woken by a poster that is likely to post again: a short pause gathers a
                // batch, so that a stream of posts wakes this thread a few times, not each time.
                lock.unlock();
                std::this_thread::sleep_for(kGatherTime);
                lock.lock();
            }
            batch.swap(m_queue);
            lock.unlock();
            for (Posted& posted : batch) {
                Deliver(*posted.window, posted.message, posted.wParam, posted.lParam);
                posted.window.reset();
            }
            size_t count = batch.size();
            batch.clear();
            lock.lock();
            m_delivered += count;
            if (m_flushers) m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Posted> m_queue;
    uint64_t m_postedCount = 0;  // ever posted
    uint64_t m_delivered = 0;    // handled
    bool m_started = false;
    bool m_idle = false;  // the thread waits for a message
    int m_flushers = 0;   // threads waiting for the queue to empty
    pid_t m_tid = 0;
};

MessageThread& TheMessageThread() {
    static MessageThread* thread = new MessageThread;
    return *thread;
}

std::shared_ptr<Window> FindWindowOrFail(HWND handle) {
    auto window = TheWindows().Find(handle);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

}  // namespace

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!handle) return TRUE;  // the thread's own queue: there is none here, so nothing to do
    auto window = FindWindowOrFail(handle);
    if (!window) return FALSE;
    TheMessageThread().Post(Posted{std::move(window), message, wParam, lParam});
    return TRUE;
}

BOOL SendNotifyMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowOrFail(handle);
    if (!window) return FALSE;
    if (window->ownerTid != CurrentTid()) return PostMessageA(handle, message, wParam, lParam);
    Deliver(*window, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto window = FindWindowOrFail(handle)) Deliver(*window, message, wParam, lParam);
    return 0;
}

BOOL IsWindow(HWND handle) {
    return handle && TheWindows().Find(handle) != nullptr;
}

namespace kst {

void FlushPostedMessages() {
    TheMessageThread().Flush();
}

namespace detail {

HWND CreateWindowTarget(WindowHandler handler) {
    auto window = std::make_shared<Window>();
    window->handler = std::move(handler);
    window->ownerTid = CurrentTid();
    return TheWindows().Add(std::move(window));
}

void DestroyWindowTarget(HWND handle) {
    auto window = TheWindows().Remove(handle);
    if (!window) return;
    // Wait for a handler call in progress; queued messages for it find no handler any more.
    std::lock_guard lock(window->callMutex);
    window->handler = nullptr;
}

void SetWindowTargetHandler(HWND handle, WindowHandler handler) {
    auto window = TheWindows().Find(handle);
    if (!window) return;
    std::lock_guard lock(window->callMutex);
    window->handler = std::move(handler);
}

}  // namespace detail

}  // namespace kst
