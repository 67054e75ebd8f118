// Events: an eventfd per event, signaled while its counter is 1.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "KstWin32Base.h"
#include "KstWin32Threads.h"
#include "internal/Errno.h"
#include "internal/Waitable.h"

namespace kst::detail {

EventObject::EventObject(bool manualReset, bool initialState)
    : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_manualReset(manualReset) {
    if (initialState) Set();
}

EventObject::~EventObject() {
    if (m_fd >= 0) close(m_fd);
}

// The flag decides, the descriptor only wakes poll(): two SetEvent calls still release one
// waiter of an automatic-reset event.
void EventObject::Set() {
    std::lock_guard lock(m_mutex);
    if (m_signaled) return;
    uint64_t one = 1;
    if (write(m_fd, &one, sizeof one) == sizeof one) m_signaled = true;
}

void EventObject::Reset() {
    std::lock_guard lock(m_mutex);
    if (!m_signaled) return;
    uint64_t value;
    if (read(m_fd, &value, sizeof value) == sizeof value) m_signaled = false;
}

bool EventObject::Acquire() {
    std::lock_guard lock(m_mutex);
    if (!m_signaled) return false;
    if (!m_manualReset) {
        uint64_t value;
        if (read(m_fd, &value, sizeof value) != sizeof value) return false;
        m_signaled = false;
    }
    return true;
}

}  // namespace kst::detail

using kst::detail::EventObject;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    kst::detail::ControlDeferral defer;  // ends after the reference below is dropped
    auto event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    if (!event->Valid()) {
        kst::detail::SetLastErrorFromErrno(errno);
        return nullptr;
    }
    return kst::detail::NewHandle(std::move(event));
}

namespace {

std::shared_ptr<EventObject> LookupEvent(HANDLE handle) {
    auto event = kst::detail::LookupHandleAs<EventObject>(handle);
    if (!event) SetLastError(ERROR_INVALID_HANDLE);
    return event;
}

}  // namespace

BOOL SetEvent(HANDLE handle) {
    kst::detail::ControlDeferral defer;
    auto event = LookupEvent(handle);
    if (!event) return FALSE;
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    kst::detail::ControlDeferral defer;
    auto event = LookupEvent(handle);
    if (!event) return FALSE;
    event->Reset();
    return TRUE;
}
