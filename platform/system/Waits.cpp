// Waits for kernel objects: one poll() over their signal descriptors.
#include <poll.h>

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "KstWin32Base.h"
#include "KstWin32Threads.h"
#include "internal/Waitable.h"

namespace kst::detail {

namespace {

using Clock = std::chrono::steady_clock;

class Deadline {
public:
    explicit Deadline(DWORD milliseconds)
        : m_infinite(milliseconds == INFINITE),
          m_end(Clock::now() + std::chrono::milliseconds(milliseconds)) {}
    // The poll() time-out still left: -1 for none, 0 once passed.
    int Remaining() const {
        if (m_infinite) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, INT32_MAX));
    }

private:
    bool m_infinite;
    Clock::time_point m_end;
};

// Polls the descriptors; answers the poll() result with EINTR retried, -1 on failure.
int PollOnce(pollfd* fds, size_t count, const Deadline& deadline) {
    for (;;) {
        for (size_t i = 0; i < count; ++i) fds[i].revents = 0;
        int rc = poll(fds, count, deadline.Remaining());
        if (rc >= 0 || errno != EINTR) return rc;
    }
}

DWORD WaitForAny(const std::shared_ptr<KernelObject>* objects, pollfd* fds, size_t count,
                 const Deadline& deadline) {
    for (size_t i = 0; i < count; ++i)
        if (objects[i]->HeldByCaller() && objects[i]->Acquire()) return WAIT_OBJECT_0 + i;
    for (;;) {
        int rc = PollOnce(fds, count, deadline);
        if (rc < 0) return WAIT_FAILED;
        if (rc == 0) return WAIT_TIMEOUT;
        // The lowest index wins, as on the platform; a lost race polls again.
        for (size_t i = 0; i < count; ++i)
            if ((fds[i].revents & POLLIN) && objects[i]->Acquire()) return WAIT_OBJECT_0 + i;
    }
}

void GiveBack(const std::shared_ptr<KernelObject>* objects, size_t count) {
    for (size_t i = 0; i < count; ++i) objects[i]->GiveBack();
}

bool TryAcquireAll(const std::shared_ptr<KernelObject>* objects, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!objects[i]->Acquire()) {
            GiveBack(objects, i);
            return false;
        }
    }
    return true;
}

DWORD WaitForAll(const std::shared_ptr<KernelObject>* objects, pollfd* fds, size_t count,
                 const Deadline& deadline) {
    for (;;) {
        // Wait on the objects not yet signaled, so ready ones do not spin the poll.
        pollfd pending[MAXIMUM_WAIT_OBJECTS];
        size_t pendingCount;
        do {
            pendingCount = 0;
            Deadline now(0);
            if (PollOnce(fds, count, now) < 0) return WAIT_FAILED;
            for (size_t i = 0; i < count; ++i)
                if (!(fds[i].revents & POLLIN) && !objects[i]->HeldByCaller())
                    pending[pendingCount++] = fds[i];
            if (pendingCount == 0) break;
            int rc = PollOnce(pending, pendingCount, deadline);
            if (rc < 0) return WAIT_FAILED;
            if (rc == 0) return WAIT_TIMEOUT;
        } while (true);
        if (TryAcquireAll(objects, count)) return WAIT_OBJECT_0;
        if (deadline.Remaining() == 0) return WAIT_TIMEOUT;
    }
}

}  // namespace

// Nothing here allocates: a thread terminated in the middle of a wait leaves nothing behind.
DWORD WaitForObjects(const std::shared_ptr<KernelObject>* objects, DWORD count, bool waitAll,
                     DWORD milliseconds) {
    if (count > MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    pollfd fds[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        int fd = objects[i] ? objects[i]->SignalFd() : -1;
        if (fd < 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        fds[i] = pollfd{fd, POLLIN, 0};
    }
    Deadline deadline(milliseconds);
    DWORD result = waitAll ? WaitForAll(objects, fds, count, deadline)
                           : WaitForAny(objects, fds, count, deadline);
    if (result == WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
    return result;
}

}  // namespace kst::detail

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    using kst::detail::ThreadObject;
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // The layer's threads keep the references in their thread object, which drops them when
    // a termination cuts the wait short; other threads keep them here.
    ThreadObject* self = ThreadObject::Current();
    std::optional<ThreadObject::WaitSlots> local;
    ThreadObject::WaitSlots& slots = self ? self->Slots() : local.emplace();
    {
        kst::detail::ControlDeferral defer;
        for (DWORD i = 0; i < count; ++i) slots[i] = kst::detail::LookupWaitable(handles[i]);
    }
    DWORD result = kst::detail::WaitForObjects(slots.data(), count, waitAll != FALSE, milliseconds);
    kst::detail::ControlDeferral defer;
    for (DWORD i = 0; i < count; ++i) slots[i].reset();
    return result;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == INFINITE) {
        for (;;) pause();
    }
    struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
