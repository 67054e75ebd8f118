// CPropertySet: named typed values in an owning map, with a key prefix that addresses a
// group of keys ("Error.Code", "Error.Description") by names relative to the group.
//
// Entries are stored under their full keys: the name itself while the prefix is empty,
// otherwise prefix + "." + name. The prefix is a view: counts, traversal and the named
// operations see the keys within it; the map's own operations, assignment, slot-6
// comparison and the archive form see full keys. Copies start with an empty prefix.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <type_traits>

#include "KstExport.h"
#include "KstMapStringToObjectPPtr.h"
#include "KstObjectP.h"
#include "KstScalarP.h"
#include "KstString.h"

class KST_API CPropertySet : public CMapStringToObjectPPtr {
    DECLARE_SERIAL(CPropertySet)
public:
    CPropertySet() = default;
    // Every entry of src under its full key, deep-copied; the prefix is not copied.
    CPropertySet(const CPropertySet& src);
    CPropertySet& operator=(const CPropertySet& src);

    // The key prefix.
    const CString& GetKeyPrefix() const { return m_strPrefix; }
    void SetKeyPrefix(LPCTSTR prefix) {
        m_strPrefix = prefix ? prefix : "";
        ++m_nPrefixChanges;
    }
    // Saves the current prefix on the queue, then makes the full key of the name the prefix:
    // with the prefix Error, EnterKeyGroup("Detail") addresses Error.Detail.*.
    void EnterKeyGroup(LPCTSTR name);
    // Saves the current prefix on the queue; RestoreKeyPrefix takes back the last one saved
    // (FALSE, prefix unchanged, when none is saved).
    void SaveKeyPrefix() { m_prefixQueue.push_back(m_strPrefix); }
    BOOL RestoreKeyPrefix();
    // The full key of a name under the current prefix.
    CString GetFullKey(LPCTSTR name) const;
    // Whether a full key lies within the prefix, and its name relative to it.
    BOOL IsWithinPrefix(const CString& fullKey, CString* pRelativeName = nullptr) const;

    // 1 when the name is there; then rpValue receives its value (possibly null). A value of
    // another class than T is handed out as null.
    template <class T>
    int Lookup(LPCTSTR name, T*& rpValue) const {
        CObjectP* pValue = nullptr;
        if (!LookupObject(name, pValue)) return 0;
        rpValue = Cast<T>(pValue);
        return 1;
    }
    // A new CUIntP or CStringP under the name; the previous value is deleted.
    void SetAt(LPCTSTR name, UINT value) { SetObject(name, new CUIntP(value)); }
    void SetAt(LPCTSTR name, int value) { SetAt(name, static_cast<UINT>(value)); }
    void SetAt(LPCTSTR name, const CString& value) { SetObject(name, new CStringP(value)); }
    void SetAt(LPCTSTR name, LPCTSTR value) { SetAt(name, CString(value)); }
    // The set takes pNew; the previous value is deleted.
    void SetAt(LPCTSTR name, CObjectP* pNew) { SetObject(name, pNew); }
    void SetAt(LPCTSTR name, std::nullptr_t) { SetObject(name, nullptr); }
    int RemoveKey(LPCTSTR name);
    // The map's GetAt on the full key. The typed form hands out a value of another class
    // than T as null.
    CObjectP* GetAt(LPCTSTR name, const CObjectP& rDefault);
    template <class T>
    T* GetAt(LPCTSTR name, const T& rDefault) {
        return Cast<T>(GetAt(name, static_cast<const CObjectP&>(rDefault)));
    }

    // Entries within the prefix. Counted once for a prefix and the keys present; asked again
    // with neither changed, the answer costs nothing.
    int GetCount() const;
    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& rPosition, CString& rName, CObjectP*& rpValue) const;
    template <class T>
    void GetNextAssoc(POSITION& rPosition, CString& rName, T*& rpValue) const {
        CObjectP* pValue = nullptr;
        GetNextAssoc(rPosition, rName, pValue);
        rpValue = Cast<T>(pValue);
    }
    void GetNextKey(POSITION& rPosition, CString& rName) const;

    // Slots 5 to 7 keep the map's meaning over full keys.
    CObjectP& operator=(const CObjectP& src) override {
        return CMapStringToObjectPPtr::operator=(src);
    }
    bool operator==(const CObjectP& other) const override {
        return CMapStringToObjectPPtr::operator==(other);
    }
    bool operator!=(const CObjectP& other) const override {
        return CMapStringToObjectPPtr::operator!=(other);
    }
    bool operator!=(const CMapStringToObjectPPtr& other) const override {
        return !EqualWithinPrefixes(other);
    }
    // The map's deep copy over full keys; this set's prefix stays.
    virtual CPropertySet& operator=(const CMapStringToObjectPPtr& src);
    // Compares the entries within this set's prefix with those within other's (a plain map
    // counts as a set with an empty prefix), by relative names.
    virtual bool operator==(const CMapStringToObjectPPtr& other) const {
        return EqualWithinPrefixes(other);
    }
    virtual bool operator!=(const CPropertySet& other) const { return !EqualWithinPrefixes(other); }
    // Two sets compare within their prefixes, as slot 12 does.
    bool operator==(const CPropertySet& other) const { return EqualWithinPrefixes(other); }

private:
    template <class T>
    static T* Cast(CObjectP* pValue) {
        if constexpr (std::is_same_v<T, CObjectP>)
            return pValue;
        else
            return dynamic_cast<T*>(pValue);
    }
    bool EqualWithinPrefixes(const CMapStringToObjectPPtr& other) const;
    int LookupObject(LPCTSTR name, CObjectP*& rpValue) const;
    void SetObject(LPCTSTR name, CObjectP* pNew);
    // The first position from pos on (pos included) whose key lies within the prefix.
    POSITION SkipOutside(POSITION pos) const;

    CString m_strPrefix;
    std::deque<CString> m_prefixQueue;
    // Changes with every new prefix; with the map's key changes it stamps GetCount's answer.
    unsigned m_nPrefixChanges = 0;
    // GetCount's last answer and its stamp. Readers that race here all write the same pair
    // (the set does not change while it is read), the count before the stamp.
    mutable std::atomic<unsigned long long> m_countStamp{0};
    mutable std::atomic<int> m_nCounted{-1};
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CPropertySet*& pOb);
