// The owning containers' deep copy of one element.
#pragma once

#include "KstObjectP.h"

namespace kst::detail {

// A new copy of source (null for null). An element whose class cannot create objects has no
// copy: the answer is null and the trace log gets a line naming the container and the class,
// so that a copy that came out short is never silent.
CObjectP* CopyElement(const CObjectP* source, const char* container);

}  // namespace kst::detail
