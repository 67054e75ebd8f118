// The scalar property classes: one typed value each. CStringP, CUIntP and CTimeP derive from
// their value class, so they serve wherever a CString, CUInt or CTime is expected.
#pragma once

#include <cstdint>

#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"
#include "KstTime.h"

class KST_API CStringP : public CObjectP, public CString {
    DECLARE_SERIAL(CStringP)
public:
    CStringP() = default;
    explicit CStringP(const CString& value) : CString(value) {}
    CStringP(const CStringP& src) : CObjectP(src), CString(src) {}
    CStringP& operator=(const CStringP& src);
    CStringP& operator=(const CString& value);

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CStringP& other) const { return !operator==(other); }
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CStringP*& pOb);

class KST_API CUIntP : public CObjectP, public CUInt {
    DECLARE_SERIAL(CUIntP)
public:
    CUIntP() = default;
    explicit CUIntP(const CUInt& value) : CUInt(value) {}
    CUIntP(const CUIntP& src) : CObjectP(src), CUInt(src) {}
    CUIntP& operator=(const CUIntP& src);
    CUIntP& operator=(UINT value);

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CUIntP& other) const { return !operator==(other); }
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CUIntP*& pOb);

// A default CTimeP holds the time 0.
class KST_API CTimeP : public CObjectP, public CTime {
    DECLARE_SERIAL(CTimeP)
public:
    CTimeP() = default;
    explicit CTimeP(const CTime& value) : CTime(value) {}
    CTimeP(const CTimeP& src) : CObjectP(src), CTime(src) {}
    CTimeP& operator=(const CTimeP& src);
    CTimeP& operator=(const CTime& value);

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CTimeP& other) const { return !operator==(other); }
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CTimeP*& pOb);

class KST_API CBoolP : public CObjectP {
    DECLARE_SERIAL(CBoolP)
public:
    CBoolP() = default;
    CBoolP(const CBoolP& src) : CObjectP(src), m_byValue(src.m_byValue) {}
    CBoolP& operator=(const CBoolP& src);

    bool GetValue() const { return m_byValue != 0; }
    void SetValue(bool value) { m_byValue = value ? 1 : 0; }

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    // The stored bytes themselves: two different non-zero bytes are not equal.
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CBoolP& other) const { return !operator==(other); }

private:
    BYTE m_byValue = 0;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CBoolP*& pOb);

class KST_API CInt64P : public CObjectP {
    DECLARE_SERIAL(CInt64P)
public:
    CInt64P() = default;
    CInt64P(const CInt64P& src) : CObjectP(src), m_nValue(src.m_nValue) {}
    CInt64P& operator=(const CInt64P& src);

    int64_t GetValue() const { return m_nValue; }
    void SetValue(int64_t value) { m_nValue = value; }

    void Serialize(CArchive& ar) override;
    void SerializeXML(CXMLNode& node, bool bStoring) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !operator==(other); }
    virtual bool operator!=(const CInt64P& other) const { return !operator==(other); }

private:
    int64_t m_nValue = 0;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CInt64P*& pOb);
