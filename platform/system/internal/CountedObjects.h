// Kernel objects that count: semaphores and mutexes, waited for with poll() like events.
#pragma once

#include <mutex>

#include "Handle.h"

namespace kst::detail {

// The descriptor polls readable while the object can be taken; the count decides.
class CountedObject : public KernelObject {
public:
    CountedObject();
    ~CountedObject() override;
    bool Valid() const { return m_fd >= 0; }
    int SignalFd() const override { return m_fd; }

protected:
    // Keeps the descriptor's readiness in step with whether the object can be taken.
    void SetReady(bool ready);
    mutable std::mutex m_mutex;

private:
    int m_fd;
    bool m_ready = false;
};

class SemaphoreObject : public CountedObject {
public:
    SemaphoreObject(LONG initial, LONG maximum);
    bool Acquire() override;
    // False (count unchanged) when the release would pass the maximum.
    bool Release(LONG count, LONG* previous);
    void GiveBack() override { Release(1, nullptr); }

private:
    LONG m_count;
    LONG m_maximum;
};

// Owned by one thread at a time, recursively.
class MutexObject : public CountedObject {
public:
    explicit MutexObject(bool initialOwner);
    bool Acquire() override;
    // False when the calling thread does not own it.
    bool Release();
    bool HeldByCaller() const override;
    void GiveBack() override { Release(); }

private:
    DWORD m_owner = 0;
    unsigned m_depth = 0;
};

}  // namespace kst::detail
