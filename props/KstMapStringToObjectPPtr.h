// CMapStringToObjectPPtr: a string-keyed map that owns its property objects. A value may be
// null; copying keeps a null value null and comparing finds it equal only to null.
#pragma once

#include "KstCollP.h"
#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"

class KST_API CMapStringToObjectPPtr : public CMapP<CString, LPCTSTR, CObjectP*, CObjectP*> {
    DECLARE_SERIAL(CMapStringToObjectPPtr)
public:
    CMapStringToObjectPPtr() = default;
    // A deep copy.
    CMapStringToObjectPPtr(const CMapStringToObjectPPtr& src);
    ~CMapStringToObjectPPtr() override;
    CMapStringToObjectPPtr& operator=(const CMapStringToObjectPPtr& src);

    // Removes the key and deletes its value; 1 when the key was there.
    int RemoveKey(LPCTSTR key);
    // Deletes the previous value of the key, then the map takes pNew (which must not be the
    // object already stored under the key).
    void SetAt(LPCTSTR key, CObjectP* pNew);
    // The value of the key when it is there and not null; otherwise a copy of rDefault is
    // stored under the key and returned (null, with a trace line, when it cannot be copied).
    // The caller keeps rDefault.
    CObjectP* GetAt(LPCTSTR key, const CObjectP& rDefault);
    void RemoveAll() { Clear(); }

    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CMapStringToObjectPPtr& other) const {
        return !operator==(other);
    }
    void Clear() override;

protected:
    // Deep copy over full keys, in the source's traversal order.
    void CopyEntriesFrom(const CMapStringToObjectPPtr& src);
    // Same count, and every key of this map in other with a value that does not differ.
    int EqualEntries(const CMapStringToObjectPPtr& other) const;
    // Both null, or both set and not different by the left one's operator!=.
    static int SameValue(const CObjectP* pLeft, const CObjectP* pRight);
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CMapStringToObjectPPtr*& pOb);
