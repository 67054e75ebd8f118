// The stack's low end, asked of the thread library once per thread.
#include "internal/StackRoom.h"

#include <pthread.h>

#include <cstdint>

namespace kst::detail {
namespace {

uintptr_t StackLowEnd() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    int result = pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    return result == 0 ? reinterpret_cast<uintptr_t>(low) : 0;
}

}  // namespace

size_t StackRoomLeft() {
    thread_local uintptr_t low = StackLowEnd();  // 0: not known
    auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (low == 0) return SIZE_MAX;
    return here > low ? here - low : 0;
}

}  // namespace kst::detail
