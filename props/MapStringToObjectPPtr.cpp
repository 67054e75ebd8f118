#include "KstMapStringToObjectPPtr.h"
#include "KstTraceLog.h"
#include "internal/OwnedObjects.h"
#include "internal/ElementCopy.h"

CMapStringToObjectPPtr::CMapStringToObjectPPtr(const CMapStringToObjectPPtr& src) : CMapP() {
    CopyEntriesFrom(src);
}

CMapStringToObjectPPtr::~CMapStringToObjectPPtr() {
    Clear();
}

CMapStringToObjectPPtr& CMapStringToObjectPPtr::operator=(const CMapStringToObjectPPtr& src) {
    if (this != &src) CopyEntriesFrom(src);
    return *this;
}

int CMapStringToObjectPPtr::RemoveKey(LPCTSTR key) {
    CObjectP* pOld = nullptr;
    if (!m_table.Take(key, pOld)) return 0;
    kst::props::DeleteOwned(pOld);
    return 1;
}

void CMapStringToObjectPPtr::SetAt(LPCTSTR key, CObjectP* pNew) {
    RemoveKey(key);
    m_table[key] = pNew;
}

CObjectP* CMapStringToObjectPPtr::GetAt(LPCTSTR key, const CObjectP& rDefault) {
    CObjectP* pValue = nullptr;
    if (Lookup(key, pValue) && pValue) return pValue;
    CObjectP* pCopy = rDefault.CreateCopy();
    if (!pCopy) {
        CTraceLog_Trace("ERROR: ...GetAt(); rDefault.CreateCopy() == NULL\n");
        return nullptr;
    }
    SetAt(key, pCopy);
    return pCopy;
}

void CMapStringToObjectPPtr::Clear() {
    for (POSITION pos = GetStartPosition(); pos;) {
        kst::props::DeleteOwned(m_table.EntryAt(pos).value);
        pos = m_table.Next(pos);
    }
    m_table.RemoveAll();
}

void CMapStringToObjectPPtr::CopyEntriesFrom(const CMapStringToObjectPPtr& src) {
    if (&src == this) return;
    Clear();
    for (POSITION pos = src.GetStartPosition(); pos;) {
        const auto& entry = src.m_table.EntryAt(pos);
        SetAt(entry.key, kst::detail::CopyElement(entry.value, "CMapStringToObjectPPtr"));
        pos = src.m_table.Next(pos);
    }
}

int CMapStringToObjectPPtr::SameValue(const CObjectP* pLeft, const CObjectP* pRight) {
    if (!pLeft || !pRight) return pLeft == pRight;
    return !(*pLeft != *pRight);
}

int CMapStringToObjectPPtr::EqualEntries(const CMapStringToObjectPPtr& other) const {
    if (GetCount() != other.GetCount()) return 0;
    for (POSITION pos = GetStartPosition(); pos;) {
        const auto& entry = m_table.EntryAt(pos);
        CObjectP* pRight = nullptr;
        if (!other.Lookup(entry.key, pRight) || !SameValue(entry.value, pRight)) return 0;
        pos = m_table.Next(pos);
    }
    return 1;
}

CObjectP& CMapStringToObjectPPtr::operator=(const CObjectP& src) {
    if (IsSameClass(src)) CopyEntriesFrom(static_cast<const CMapStringToObjectPPtr&>(src));
    return *this;
}

bool CMapStringToObjectPPtr::operator==(const CObjectP& other) const {
    return IsSameClass(other) && EqualEntries(static_cast<const CMapStringToObjectPPtr&>(other));
}
