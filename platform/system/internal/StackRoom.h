// How much of the calling thread's stack is still free, for code that descends as deep as its
// input asks and must stop before the stack ends.
#pragma once

#include <cstddef>

namespace kst::detail {

// Bytes between the caller's frame and the low end of its thread's stack; SIZE_MAX when the
// stack's bounds cannot be known.
size_t StackRoomLeft();

}  // namespace kst::detail
