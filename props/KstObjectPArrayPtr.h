// CObjectPArrayPtr: an array that owns the property objects it holds. Removing, replacing,
// clearing, loading and destruction delete them; null slots are allowed.
#pragma once

#include "KstCollP.h"
#include "KstExport.h"
#include "KstObjectP.h"

class KST_API CObjectPArrayPtr : public CArrayP<CObjectP*, CObjectP*> {
    DECLARE_SERIAL(CObjectPArrayPtr)
public:
    CObjectPArrayPtr() = default;
    // A deep copy.
    CObjectPArrayPtr(const CObjectPArrayPtr& src);
    ~CObjectPArrayPtr() override;
    CObjectPArrayPtr& operator=(const CObjectPArrayPtr& src);

    // Deletes the removed objects and closes the gap. A negative index or count, or an index
    // past the end, changes nothing; a count past the end stops there.
    void RemoveAt(int nIndex, int nCount = 1);
    // Shrinking deletes the objects beyond the new size; new slots are null.
    void SetSize(int nNewSize, int nGrowBy = -1);
    // The array takes pNew; the object the slot held before is deleted.
    void SetAt(int nIndex, CObjectP* pNew);
    void SetAtGrow(int nIndex, CObjectP* pNew);
    void RemoveAll() { Clear(); }

    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !(*this == other); }
    virtual bool operator!=(const CObjectPArrayPtr& other) const { return !(*this == other); }
    // Deletes every object; the element block stays allocated.
    void Clear() override;

private:
    void CopyFrom(const CObjectPArrayPtr& src);
    int EqualTo(const CObjectPArrayPtr& other) const;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CObjectPArrayPtr*& pOb);
