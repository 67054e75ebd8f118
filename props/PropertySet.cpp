#include "KstPropertySet.h"

CPropertySet::CPropertySet(const CPropertySet& src) : CMapStringToObjectPPtr() {
    CopyEntriesFrom(src);
}

CPropertySet& CPropertySet::operator=(const CPropertySet& src) {
    CopyEntriesFrom(src);
    return *this;
}

CPropertySet& CPropertySet::operator=(const CMapStringToObjectPPtr& src) {
    CopyEntriesFrom(src);
    return *this;
}

void CPropertySet::EnterKeyGroup(LPCTSTR name) {
    CString group = GetFullKey(name);
    SaveKeyPrefix();
    m_strPrefix = group;
    ++m_nPrefixChanges;
}

BOOL CPropertySet::RestoreKeyPrefix() {
    if (m_prefixQueue.empty()) return FALSE;
    m_strPrefix = std::move(m_prefixQueue.back());
    m_prefixQueue.pop_back();
    ++m_nPrefixChanges;
    return TRUE;
}

CString CPropertySet::GetFullKey(LPCTSTR name) const {
    if (m_strPrefix.IsEmpty()) return CString(name ? name : "");
    CString key = m_strPrefix;
    key += '.';
    key += name ? name : "";
    return key;
}

BOOL CPropertySet::IsWithinPrefix(const CString& fullKey, CString* pRelativeName) const {
    std::string_view key = fullKey.view();
    std::string_view prefix = m_strPrefix.view();
    if (prefix.empty() || key == prefix) {
        if (pRelativeName) *pRelativeName = prefix.empty() ? fullKey : CString();
        return TRUE;
    }
    if (prefix.size() >= key.size() || !key.starts_with(prefix) || key[prefix.size()] != '.')
        return FALSE;
    if (pRelativeName) *pRelativeName = CString(key.substr(prefix.size() + 1));
    return TRUE;
}

int CPropertySet::LookupObject(LPCTSTR name, CObjectP*& rpValue) const {
    return CMapStringToObjectPPtr::Lookup(GetFullKey(name), rpValue);
}

void CPropertySet::SetObject(LPCTSTR name, CObjectP* pNew) {
    CMapStringToObjectPPtr::SetAt(GetFullKey(name), pNew);
}

int CPropertySet::RemoveKey(LPCTSTR name) {
    return CMapStringToObjectPPtr::RemoveKey(GetFullKey(name));
}

CObjectP* CPropertySet::GetAt(LPCTSTR name, const CObjectP& rDefault) {
    return CMapStringToObjectPPtr::GetAt(GetFullKey(name), rDefault);
}

int CPropertySet::GetCount() const {
    if (m_strPrefix.IsEmpty()) return CMapStringToObjectPPtr::GetCount();
    unsigned long long stamp =
        (static_cast<unsigned long long>(m_nPrefixChanges) << 32) | m_table.KeyChanges();
    if (m_countStamp.load(std::memory_order_acquire) == stamp) {
        int nCounted = m_nCounted.load(std::memory_order_relaxed);
        if (nCounted >= 0) return nCounted;
    }
    int nCount = 0;
    for (POSITION pos = CMapStringToObjectPPtr::GetStartPosition(); pos; pos = m_table.Next(pos))
        if (IsWithinPrefix(m_table.EntryAt(pos).key)) ++nCount;
    m_nCounted.store(nCount, std::memory_order_relaxed);
    m_countStamp.store(stamp, std::memory_order_release);
    return nCount;
}

POSITION CPropertySet::SkipOutside(POSITION pos) const {
    while (pos && !IsWithinPrefix(m_table.EntryAt(pos).key)) pos = m_table.Next(pos);
    return pos;
}

POSITION CPropertySet::GetStartPosition() const {
    return SkipOutside(CMapStringToObjectPPtr::GetStartPosition());
}

void CPropertySet::GetNextAssoc(POSITION& rPosition, CString& rName, CObjectP*& rpValue) const {
    const auto& entry = m_table.EntryAt(rPosition);
    IsWithinPrefix(entry.key, &rName);
    rpValue = entry.value;
    rPosition = SkipOutside(m_table.Next(rPosition));
}

void CPropertySet::GetNextKey(POSITION& rPosition, CString& rName) const {
    IsWithinPrefix(m_table.EntryAt(rPosition).key, &rName);
    rPosition = SkipOutside(m_table.Next(rPosition));
}

bool CPropertySet::EqualWithinPrefixes(const CMapStringToObjectPPtr& other) const {
    const auto* pOtherSet = dynamic_cast<const CPropertySet*>(&other);
    CString otherPrefix = pOtherSet ? pOtherSet->m_strPrefix : CString();
    int nOtherCount = pOtherSet ? pOtherSet->GetCount() : other.GetCount();
    if (GetCount() != nOtherCount) return 0;
    CString name;
    for (POSITION pos = GetStartPosition(); pos;) {
        CObjectP* pLeft = nullptr;
        GetNextAssoc(pos, name, pLeft);
        CString otherKey = otherPrefix.IsEmpty() ? name : otherPrefix + "." + name;
        CObjectP* pRight = nullptr;
        if (!other.CMapStringToObjectPPtr::Lookup(otherKey, pRight)) return 0;
        if (!SameValue(pLeft, pRight)) return 0;
    }
    return 1;
}
