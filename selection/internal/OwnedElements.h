// Loading the elements of the selection lists: each element must be of the list's element
// class (or derived) or null; anything else is deleted and refused, so a list never holds
// an object its users would take for something it is not.
#pragma once

#include "KstArchive.h"
#include "KstObjectPArrayPtr.h"

namespace kst::selection {

// Reads the count and that many elements into the (empty) array. What was read before an
// error stays in the array, which owns it.
void LoadOwnedElements(CArchive& ar, CObjectPArrayPtr& array, const CRuntimeClass* pRequired);
// Writes the count and every element with its class tag.
void StoreElements(CArchive& ar, const CObjectPArrayPtr& array);

}  // namespace kst::selection
