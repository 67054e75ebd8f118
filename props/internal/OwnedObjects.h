// Nesting of owned objects: how deep an archive may nest them, and deleting them without
// recursion: a container nested 100,000 deep
// would otherwise take one stack frame chain per level as each destructor deletes the next.
#pragma once

class CObjectP;

namespace kst::props {

// Objects read from an archive nest at most this deep below the object the caller reads:
// ReadOwned of a deeper one raises the archive exception (genericException), so that a
// hostile archive cannot exhaust the stack, also a thread's of 256 KB.
constexpr int kMaxLoadNesting = 250;

// Deletes pObject (null is allowed). Called while another owned object is being deleted on
// this thread, it only queues pObject; the outermost call deletes the queue before it returns,
// so the stack stays a few frames deep whatever the nesting.
void DeleteOwned(CObjectP* pObject) noexcept;

}  // namespace kst::props
