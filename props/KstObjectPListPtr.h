// CObjectPListPtr: a list that owns the property objects it holds; null elements allowed.
#pragma once

#include "KstCollP.h"
#include "KstExport.h"
#include "KstObjectP.h"

class KST_API CObjectPListPtr : public CListP<CObjectP*, CObjectP*> {
    DECLARE_SERIAL(CObjectPListPtr)
public:
    CObjectPListPtr() = default;
    // A deep copy.
    CObjectPListPtr(const CObjectPListPtr& src);
    ~CObjectPListPtr() override;
    CObjectPListPtr& operator=(const CObjectPListPtr& src);

    // Unlink the end element and hand it to the caller, who owns it from then on.
    CObjectP* RemoveHead() { return m_elements.RemoveHead(); }
    CObjectP* RemoveTail() { return m_elements.RemoveTail(); }
    // Unlinks the element and deletes its object.
    void RemoveAt(POSITION position);
    // The list takes pNew; the object held there before is deleted.
    void SetAt(POSITION position, CObjectP* pNew);
    void RemoveAll() { Clear(); }

    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CObjectPListPtr& other) const { return !operator==(other); }
    void Clear() override;

private:
    void CopyFrom(const CObjectPListPtr& src);
    int EqualTo(const CObjectPListPtr& other) const;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CObjectPListPtr*& pOb);
