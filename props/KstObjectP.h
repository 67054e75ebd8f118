// CObjectP: the base of every property object. A property object tells its runtime class,
// copies itself without the caller knowing its class (CreateCopy), compares by value and
// stores itself in an archive and in XML. CUInt is the small value class under CUIntP.
#pragma once

#include "KstArchive.h"
#include "KstExport.h"
#include "KstObject.h"
#include "KstWinTypes.h"
#include "KstXMLSupport.h"

class KST_API CObjectP : public CObject, public CXMLSupportInObject {
    DECLARE_SERIAL(CObjectP)
public:
    CObjectP() = default;
    CObjectP(const CObjectP&) : CObject(), CXMLSupportInObject() {}
    ~CObjectP() override = default;

    // Loading starts from an empty object: the base step runs Clear.
    void Serialize(CArchive& ar) override;
    void AssertValid() const override {}
    void Dump(CDumpContext& /*dc*/) const override {}

    // Assignment and comparison take an object of the same class. The classes that hold a
    // value check it (IsClass): another class is not assigned and counts as unequal. A plain
    // CObjectP assigns nothing and equals every object.
    virtual CObjectP& operator=(const CObjectP& src);
    virtual bool operator==(const CObjectP& other) const;
    virtual bool operator!=(const CObjectP& other) const;
    // Empties what the object holds.
    virtual void Clear() {}
    // Exactly this runtime class; base classes do not count.
    virtual int IsClass(const CRuntimeClass* pClass) const;

    void SerializeXML(CXMLNode& node, bool bStoring) override;

    // A new heap object of the same class holding an equal value; null when the class cannot
    // create objects.
    CObjectP* CreateCopy() const;

    // Reads one element that a container stored with WriteObject: null, or a new property
    // object of the recorded class that the caller owns. A back reference to an object read
    // before is refused (badIndex): an owned object has one owner. A class that is unknown,
    // not a property class or of another schema raises the archive exception, and an object
    // that fails while it reads itself is deleted before the exception passes on.
    static CObjectP* ReadOwned(CArchive& ar);

protected:
    // Both objects are of one runtime class: what assignment and comparison require.
    int IsSameClass(const CObjectP& other) const { return other.IsClass(GetRuntimeClass()); }
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CObjectP*& pOb);

class KST_API CUInt {
public:
    CUInt(UINT value = 0) : m_nValue(value) {}  // NOLINT: converts as a plain integer does
    virtual ~CUInt() = default;
    CUInt(const CUInt&) = default;
    CUInt& operator=(const CUInt&) = default;
    operator UINT() const { return m_nValue; }  // NOLINT: reads as a plain integer

protected:
    UINT m_nValue;
};
