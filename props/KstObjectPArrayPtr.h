// CObjectPArrayPtr: an array that owns the property objects it holds. Removing, replacing,
// clearing, loading and destruction delete them; null slots are allowed. Every non-null
// pointer is in one slot only: a pointer handed to Add, SetAt, SetAtGrow or InsertAt must not
// be held by another slot (nor by another container).
//
// Copies are deep: each element is copied through CreateCopy. An element whose class cannot
// create objects (no DECLARE_DYNCREATE or DECLARE_SERIAL) cannot be copied: its slot in the
// copy is null and the trace log gets an "ERROR: CObjectPArrayPtr copy: ..." line.
//
// Threads: one thread at a time per array; nothing locks. What can throw: std::bad_alloc
// while growing or copying, and the archive and file exceptions of Serialize (see KstCollP.h).
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
    // The array takes pNew into slot nIndex (past the end: null slots fill the gap); with a
    // count above 1 the further slots get copies of it, as a deep copy makes them, so that no
    // object is owned twice. A negative index or a count below 1 inserts nothing, and the
    // caller keeps pNew.
    void InsertAt(int nIndex, CObjectP* pNew, int nCount = 1);
    void RemoveAll() { Clear(); }

    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CObjectPArrayPtr& other) const { return !operator==(other); }
    // Deletes every object; the element block stays allocated.
    void Clear() override;

private:
    void CopyFrom(const CObjectPArrayPtr& src);
    int EqualTo(const CObjectPArrayPtr& other) const;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CObjectPArrayPtr*& pOb);
