#include "KstObjectPListPtr.h"
#include "internal/OwnedObjects.h"
#include "internal/ElementCopy.h"

CObjectPListPtr::CObjectPListPtr(const CObjectPListPtr& src) : CListP() {
    CopyFrom(src);
}

CObjectPListPtr::~CObjectPListPtr() {
    Clear();
}

CObjectPListPtr& CObjectPListPtr::operator=(const CObjectPListPtr& src) {
    if (this != &src) CopyFrom(src);
    return *this;
}

void CObjectPListPtr::CopyFrom(const CObjectPListPtr& src) {
    Clear();
    for (POSITION pos = src.GetHeadPosition(); pos;) {
        CObjectP* pSource = src.GetNext(pos);
        AddTail(kst::detail::CopyElement(pSource, "CObjectPListPtr"));
    }
}

void CObjectPListPtr::RemoveAt(POSITION position) {
    if (!position) return;
    CObjectP* pObject = m_elements.GetAt(position);
    m_elements.RemoveAt(position);
    kst::props::DeleteOwned(pObject);
}

void CObjectPListPtr::SetAt(POSITION position, CObjectP* pNew) {
    CObjectP*& slot = m_elements.GetAt(position);
    if (slot != pNew) kst::props::DeleteOwned(slot);
    slot = pNew;
}

void CObjectPListPtr::Clear() {
    while (!m_elements.IsEmpty()) kst::props::DeleteOwned(m_elements.RemoveHead());
}

CObjectP& CObjectPListPtr::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CObjectPListPtr&>(src);
    return *this;
}

bool CObjectPListPtr::operator==(const CObjectP& other) const {
    return IsSameClass(other) && EqualTo(static_cast<const CObjectPListPtr&>(other));
}

int CObjectPListPtr::EqualTo(const CObjectPListPtr& other) const {
    if (GetCount() != other.GetCount()) return 0;
    POSITION right = other.GetHeadPosition();
    for (POSITION left = GetHeadPosition(); left;) {
        const CObjectP* pLeft = GetNext(left);
        const CObjectP* pRight = other.GetNext(right);
        if (!pLeft || !pRight) {
            if (pLeft != pRight) return 0;
        } else if (*pLeft != *pRight) {
            return 0;
        }
    }
    return 1;
}
