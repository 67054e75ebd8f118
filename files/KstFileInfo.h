// CFileInfo: what one file is (name, size, packed size and ratio, modification time, checksum,
// a few values of the caller's), for telling whether a file changed. It is a property object,
// so containers hold it and archives recreate it by class name; its XML form is the empty
// element of every property object.
#pragma once

#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"
#include "KstTime.h"
#include "KstWinTypes.h"

class KST_API CFileInfo : public CObjectP {
    DECLARE_SERIAL(CFileInfo)
public:
    CFileInfo() = default;
    // Takes the name only; the disk is not read.
    explicit CFileInfo(const CString& path) : m_strFileName(path) {}
    CFileInfo(const CFileInfo& src);
    CFileInfo& operator=(const CFileInfo& src);
    bool operator==(const CFileInfo& other) const { return CompareFileInfo(&other) != 0; }

    // The modification time and size from the system; 0 (record unchanged) when the file
    // cannot be asked. The name is not stored.
    int GetFileInfo(const CString& path);
    // Packed size as a percentage of the size (0 for an empty file).
    void ComputeRatio();
    // Same time to the second, same name ignoring case, same size and kind, and checksums
    // that agree (0 is unknown and agrees with any).
    int CompareFileInfo(const CFileInfo* other) const;
    // Less than 2 seconds apart either way (file systems that keep even seconds).
    int SameModifyTime(const CTime& time) const;
    int CompareFromModifyTimeAndSize(const CFileInfo* other) const;

    // name, number, size, time, checksum, each followed by the delimiter; numbers unsigned
    // decimal. A delimiter inside the name is not escaped.
    void PackToString(CString& out, const CString& delimiter) const;
    CString PackToString(const CString& delimiter) const;
    // Reads the pieces back in that order (missing ones keep their fields); 1 for 4 or 5
    // pieces. More than 5 pieces (a name holding the delimiter) sets nothing.
    int UnpackFromString(const CString& text, const CString& delimiter);

    // Name, time, packed size, size, ratio, number; the other fields are not archived and
    // loading leaves them as they are.
    void Serialize(CArchive& ar) override;
    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !(*this == other); }
    virtual bool operator!=(const CFileInfo& other) const { return !CompareFileInfo(&other); }

    float m_fRatio = 0;
    CString m_strFileName;
    CString m_strAux1;
    int m_nKind = 0;
    int m_nState = 1;
    CTime m_timeModify;
    WORD m_wAux1 = 0;
    WORD m_wAux2 = 0;
    DWORD m_nPackedSize = 0;
    LONG m_nSize = 0;
    DWORD m_nCheckSum = 0;
    CString m_strAux2;
    DWORD m_nNumber = 0;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CFileInfo*& pOb);
