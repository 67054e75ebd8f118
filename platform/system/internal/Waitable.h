// Kernel objects of the threads service: events and threads, waited for with poll().
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "Handle.h"
#include "ThreadObject.h"

namespace kst::detail {

// An event on an eventfd that holds 1 while signaled and 0 otherwise.
class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool initialState);
    ~EventObject() override;
    bool Valid() const { return m_fd >= 0; }
    int SignalFd() const override { return m_fd; }
    bool Acquire() override;
    void Set();
    void Reset();
    // Gives back a signal that Acquire took (a wait for all that could not take every object).
    void Restore() {
        if (!m_manualReset) Set();
    }
    void GiveBack() override { Restore(); }

private:
    DeferringMutex m_mutex;
    int m_fd;
    bool m_manualReset;
    bool m_signaled = false;
};

// The object behind a handle, with the pseudo handle of GetCurrentThread resolved.
std::shared_ptr<KernelObject> LookupWaitable(HANDLE handle);

// Waits until one object (or, with waitAll, every object) can be taken; answers
// WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED (with the last error set).
DWORD WaitForObjects(const std::shared_ptr<KernelObject>* objects, DWORD count, bool waitAll,
                     DWORD milliseconds);

}  // namespace kst::detail
