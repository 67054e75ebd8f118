#include "Handle.h"

#include <mutex>
#include <unordered_map>

#include "ThreadObject.h"

namespace kst::detail {

KernelObject::~KernelObject() = default;
int KernelObject::SignalFd() const {
    return -1;
}
bool KernelObject::Acquire() {
    return true;
}

namespace {

struct HandleTable {
    DeferringMutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values are multiples of 4 and never reused soon, so a stale handle rarely hits a
    // new object; they stay clear of 0 and of INVALID_HANDLE_VALUE.
    uintptr_t next = 0x1000;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // outlives every static destructor
    return *table;
}

}  // namespace

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    if (table.next >= (UINTPTR_MAX >> 1)) table.next = 0x1000;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool ReleaseHandle(HANDLE handle) {
    ControlDeferral defer;                   // until the released object is gone
    std::shared_ptr<KernelObject> released;  // destroyed outside the lock
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) return false;
    released = std::move(it->second);
    table.objects.erase(it);
    return true;
}

}  // namespace kst::detail
