// CStringArrayP: a growable list of strings as one property.
#pragma once

#include "KstCollections.h"
#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"

class KST_API CStringArrayP : public CObjectP {
    DECLARE_SERIAL(CStringArrayP)
public:
    CStringArrayP() = default;
    explicit CStringArrayP(const CStringArray& src);
    CStringArrayP(const CStringArrayP& src);
    CStringArrayP& operator=(const CStringArrayP& src);

    int GetSize() const { return m_strings.GetSize(); }
    CString GetAt(int nIndex) const { return m_strings.GetAt(nIndex); }
    void SetAt(int nIndex, const CString& value) { m_strings.SetAt(nIndex, value); }
    int Add(const CString& value) { return m_strings.Add(value); }
    // nGrowBy -1 keeps the current growth step.
    void SetSize(int nNewSize, int nGrowBy = -1) { m_strings.SetSize(nNewSize, nGrowBy); }
    // Slots allocated, filled or not (how growth is doing).
    int GetAllocatedSize() const { return m_strings.GetAllocatedSize(); }
    // Appends every string, in order, to the end of target.
    void AppendTo(CStringArray& target) const;

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CStringArrayP& other) const { return !operator==(other); }
    void Clear() override { SetSize(0); }

private:
    class CStrings : public CArray<CString, const CString&> {
    public:
        int GetAllocatedSize() const { return m_nMaxSize; }
    };
    void CopyFrom(const CStringArrayP& src);

    CStrings m_strings;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CStringArrayP*& pOb);
