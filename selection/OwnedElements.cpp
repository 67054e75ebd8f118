#include "internal/OwnedElements.h"

#include <memory>

namespace kst::selection {

void LoadOwnedElements(CArchive& ar, CObjectPArrayPtr& array, const CRuntimeClass* pRequired) {
    DWORD_PTR nCount = ar.ReadCount();
    if (nCount > 0x7FFFFFFF) AfxThrowArchiveException(CArchiveException::badIndex);
    // Grows as elements arrive: a huge count in a short archive reserves nothing.
    for (DWORD_PTR i = 0; i < nCount; ++i) {
        std::unique_ptr<CObjectP> pElement(CObjectP::ReadOwned(ar));
        if (pElement && !pElement->IsKindOf(pRequired))
            AfxThrowArchiveException(CArchiveException::badClass);
        array.Add(pElement.get());
        pElement.release();
    }
}

void StoreElements(CArchive& ar, const CObjectPArrayPtr& array) {
    ar.WriteCount(static_cast<DWORD_PTR>(array.GetSize()));
    for (int i = 0; i < array.GetSize(); ++i) ar.WriteObject(array.GetAt(i));
}

}  // namespace kst::selection
