// Semaphores and mutexes: a count behind an eventfd that is readable while the object can be
// taken, so that they join events and threads in one poll().
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "KstWin32Base.h"
#include "KstWin32Threads.h"
#include "internal/CountedObjects.h"
#include "internal/Errno.h"

namespace kst::detail {

CountedObject::CountedObject() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CountedObject::~CountedObject() {
    if (m_fd >= 0) close(m_fd);
}

void CountedObject::SetReady(bool ready) {
    if (ready == m_ready) return;
    uint64_t value = 1;
    if (ready ? write(m_fd, &value, sizeof value) == sizeof value
              : read(m_fd, &value, sizeof value) == sizeof value)
        m_ready = ready;
}

SemaphoreObject::SemaphoreObject(LONG initial, LONG maximum)
    : m_count(initial), m_maximum(maximum) {
    SetReady(m_count > 0);
}

bool SemaphoreObject::Acquire() {
    std::lock_guard lock(m_mutex);
    if (m_count <= 0) return false;
    SetReady(--m_count > 0);
    return true;
}

bool SemaphoreObject::Release(LONG count, LONG* previous) {
    std::lock_guard lock(m_mutex);
    if (count <= 0 || count > m_maximum - m_count) return false;
    if (previous) *previous = m_count;
    m_count += count;
    SetReady(true);
    return true;
}

MutexObject::MutexObject(bool initialOwner) {
    if (initialOwner) {
        m_owner = GetCurrentThreadId();
        m_depth = 1;
    }
    SetReady(!initialOwner);
}

bool MutexObject::Acquire() {
    std::lock_guard lock(m_mutex);
    DWORD self = GetCurrentThreadId();
    if (m_depth > 0 && m_owner != self) return false;
    m_owner = self;
    ++m_depth;
    SetReady(false);
    return true;
}

bool MutexObject::HeldByCaller() const {
    std::lock_guard lock(m_mutex);
    return m_depth > 0 && m_owner == GetCurrentThreadId();
}

bool MutexObject::Release() {
    std::lock_guard lock(m_mutex);
    if (m_depth == 0 || m_owner != GetCurrentThreadId()) return false;
    if (--m_depth == 0) {
        m_owner = 0;
        SetReady(true);
    }
    return true;
}

}  // namespace kst::detail

namespace {

template <class T, class... Args>
HANDLE NewCounted(Args... args) {
    auto object = std::make_shared<T>(args...);
    if (!object->Valid()) {
        kst::detail::SetLastErrorFromErrno(errno);
        return nullptr;
    }
    return kst::detail::NewHandle(std::move(object));
}

}  // namespace

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewCounted<kst::detail::SemaphoreObject>(initialCount, maximumCount);
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    auto object = kst::detail::LookupHandleAs<kst::detail::SemaphoreObject>(semaphore);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Release(releaseCount, previousCount)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR) {
    return NewCounted<kst::detail::MutexObject>(initialOwner != FALSE);
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = kst::detail::LookupHandleAs<kst::detail::MutexObject>(mutex);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
