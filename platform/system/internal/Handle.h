// The handle table: every system handle (file, pipe, event, thread, ...) names a KernelObject.
#pragma once

#include <memory>
#include <type_traits>

#include "KstWinTypes.h"

namespace kst::detail {

class FileObject;

class KernelObject {
public:
    virtual ~KernelObject();
    // A descriptor that polls readable while the object is signaled; -1 when not waitable.
    virtual int SignalFd() const;
    // Called after poll saw the object signaled: takes the signal (an automatic-reset event
    // consumes it). False when another waiter took it first.
    virtual bool Acquire();
    // Takeable by the calling thread although its descriptor does not poll readable (a mutex
    // the caller already owns).
    virtual bool HeldByCaller() const { return false; }
    // Gives back what Acquire took, for a wait for all that could not take every object.
    virtual void GiveBack() {}
    // The file, pipe or device behind a handle, found without a dynamic_cast: a diskette copy
    // looks its device up once per sector.
    virtual FileObject* AsFile() { return nullptr; }
};

HANDLE NewHandle(std::shared_ptr<KernelObject> object);
// Null for handles the table does not know.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    auto object = LookupHandle(handle);
    if constexpr (std::is_same_v<T, FileObject>) {
        FileObject* file = object ? object->AsFile() : nullptr;
        return file ? std::shared_ptr<FileObject>(std::move(object), file) : nullptr;
    } else {
        return std::dynamic_pointer_cast<T>(std::move(object));
    }
}
// CloseHandle's work: false for handles the table does not know.
bool ReleaseHandle(HANDLE handle);

}  // namespace kst::detail
