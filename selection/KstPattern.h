// CPattern: a named file selection, a list of mask specs with a name and a flag
// that marks it as one of the simple form. CPatternArray: an owning list of patterns. Both
// persist through the archive and XML.
#pragma once

#include "KstExport.h"
#include "KstMaskSpecArray.h"
#include "KstObjectPArrayPtr.h"
#include "KstString.h"

class KST_API CPattern : public CMaskSpecArray {
    DECLARE_SERIAL(CPattern)
public:
    CPattern() = default;
    // Copies the elements as new objects, the base folder, the name and the flag.
    CPattern(const CPattern& src);
    ~CPattern() override = default;
    // Copies the elements, the name and the flag; the target keeps its base folder.
    CPattern& operator=(const CPattern& src);
    // Names equal (case-sensitive), flags equal and the elements equal one by one; the base
    // folder plays no part.
    bool operator==(const CPattern& other) const;

    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !(*this == other); }
    virtual bool operator!=(const CPattern& other) const { return !(*this == other); }

    // The name itself, for reading and setting.
    CString& GetPatternName() { return m_strPatternName; }
    const CString& GetPatternName() const { return m_strPatternName; }
    // Only stored, compared and serialized.
    void SetSimple(int bSimple) { m_bSimple = bSimple; }
    int IsSimple() const { return m_bSimple; }

    // The elements (each a CMaskSpec object), the name, and the flag as 4 bytes; the base
    // folder is not stored. Loading refuses an element that is no CMaskSpec (badClass).
    void Serialize(CArchive& ar) override;
    // The owning array's form ("Count" and one "CMaskSpec" child per element), then the
    // attributes "PatternName" and "Simple"; the base folder is not stored.
    void SerializeXML(CXMLNode& node, bool bStoring) override;

protected:
    CString m_strPatternName;
    int m_bSimple = 0;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CPattern*& pOb);

class KST_API CPatternArray : public CObjectPArrayPtr {
    DECLARE_SERIAL(CPatternArray)
public:
    CPatternArray() = default;
    CPatternArray(const CPatternArray& src) = default;
    ~CPatternArray() override = default;
    CPatternArray& operator=(const CPatternArray& src) = default;
    using CObjectPArrayPtr::operator=;

    // The element as a pattern; null for an empty slot or an object of another class.
    CPattern* GetPatternAt(int nIndex) const;

    // The owning array's layout; loading refuses an element that is no CPattern (badClass).
    void Serialize(CArchive& ar) override;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CPatternArray*& pOb);
