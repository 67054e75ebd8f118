// CBinaryP: a byte blob that owns its buffer.
#pragma once

#include "KstExport.h"
#include "KstObjectP.h"
#include "KstWinTypes.h"

class KST_API CBinaryP : public CObjectP {
    DECLARE_SERIAL(CBinaryP)
public:
    CBinaryP() = default;
    CBinaryP(const CBinaryP& src);
    ~CBinaryP() override;
    CBinaryP& operator=(const CBinaryP& src);

    UINT GetSize() const { return m_nSize; }
    BYTE* GetData() { return m_pData; }
    const BYTE* GetData() const { return m_pData; }

    // A fresh buffer of nSize bytes, content not kept; 0 (and the object empty) for a size of
    // 0 or when no memory could be had.
    virtual int Allocate(UINT nSize);
    // Keeps the leading bytes of the old content; bytes beyond it are not set.
    void Resize(UINT nSize);

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CBinaryP& other) const { return !operator==(other); }
    void Clear() override;

private:
    void CopyFrom(const CBinaryP& src);

    UINT m_nSize = 0;
    BYTE* m_pData = nullptr;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CBinaryP*& pOb);
