#include "KstObjectPArrayPtr.h"
#include "internal/OwnedObjects.h"
#include "internal/ElementCopy.h"

CObjectPArrayPtr::CObjectPArrayPtr(const CObjectPArrayPtr& src) : CArrayP() {
    CopyFrom(src);
}

CObjectPArrayPtr::~CObjectPArrayPtr() {
    Clear();
}

CObjectPArrayPtr& CObjectPArrayPtr::operator=(const CObjectPArrayPtr& src) {
    if (this != &src) CopyFrom(src);
    return *this;
}

void CObjectPArrayPtr::CopyFrom(const CObjectPArrayPtr& src) {
    Clear();
    for (int i = 0; i < src.GetSize(); ++i) {
        CObjectP* pSource = src.GetAt(i);
        Add(kst::detail::CopyElement(pSource, "CObjectPArrayPtr"));
    }
}

void CObjectPArrayPtr::RemoveAt(int nIndex, int nCount) {
    if (nIndex < 0 || nCount <= 0 || nIndex >= GetSize()) return;
    int nEnd = nCount > GetSize() - nIndex ? GetSize() : nIndex + nCount;
    for (int i = nIndex; i < nEnd; ++i) kst::props::DeleteOwned(m_elements.GetAt(i));
    m_elements.RemoveAt(nIndex, nEnd - nIndex);
}

void CObjectPArrayPtr::SetSize(int nNewSize, int nGrowBy) {
    if (nNewSize >= 0 && nNewSize < GetSize()) RemoveAt(nNewSize, GetSize() - nNewSize);
    m_elements.SetSize(nNewSize, nGrowBy);
}

void CObjectPArrayPtr::SetAt(int nIndex, CObjectP* pNew) {
    CObjectP*& slot = m_elements.ElementAt(nIndex);
    if (slot != pNew) kst::props::DeleteOwned(slot);
    slot = pNew;
}

void CObjectPArrayPtr::SetAtGrow(int nIndex, CObjectP* pNew) {
    if (nIndex < 0) return;
    if (nIndex >= GetSize()) m_elements.SetSize(nIndex + 1, -1);
    SetAt(nIndex, pNew);
}

void CObjectPArrayPtr::InsertAt(int nIndex, CObjectP* pNew, int nCount) {
    if (nIndex < 0 || nCount <= 0) return;
    m_elements.InsertAt(nIndex, nullptr, nCount);
    m_elements.ElementAt(nIndex) = pNew;
    for (int i = 1; i < nCount; ++i)
        m_elements.ElementAt(nIndex + i) = kst::detail::CopyElement(pNew, "CObjectPArrayPtr");
}

void CObjectPArrayPtr::Clear() {
    RemoveAt(0, GetSize());
}

CObjectP& CObjectPArrayPtr::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CObjectPArrayPtr&>(src);
    return *this;
}

bool CObjectPArrayPtr::operator==(const CObjectP& other) const {
    return IsSameClass(other) && EqualTo(static_cast<const CObjectPArrayPtr&>(other));
}

int CObjectPArrayPtr::EqualTo(const CObjectPArrayPtr& other) const {
    if (GetSize() != other.GetSize()) return 0;
    for (int i = 0; i < GetSize(); ++i) {
        const CObjectP* pLeft = GetAt(i);
        const CObjectP* pRight = other.GetAt(i);
        if (!pLeft || !pRight) {
            if (pLeft != pRight) return 0;
        } else if (*pLeft != *pRight) {
            return 0;
        }
    }
    return 1;
}
