// CZipInfo: the central directory of one ZIP archive, or of one volume of a spanned set.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "KstCollections.h"
#include "KstExport.h"
#include "KstFile.h"
#include "KstString.h"
#include "KstTime.h"

namespace kst::zip {
class BlockReader;
}

class KST_API CZipInfo : public CObArray {
public:
    enum Error { NoError = 0, ErrorWhileOpening = 1, NotTheLastDisk = 2 };

    // One central directory entry.
    class KST_API OneFileInfo : public CObject {
    public:
        OneFileInfo() = default;
        OneFileInfo(const OneFileInfo&) = default;
        OneFileInfo& operator=(const OneFileInfo&) = default;

        CString m_strName;  // in the ANSI code page
        CTime m_tLastModified;
        WORD m_wFlags = 0;
        WORD m_wMethod = 0;
        // 0xFFFFFFFF where the size does not fit: the 64-bit field below holds it then.
        DWORD m_dwCompressedSize = 0;
        DWORD m_dwUncompressedSize = 0;
        DWORD m_dwCRC = 0;
        CString m_strComment;  // bytes as stored
        ULONGLONG m_ullCompressedSize = 0;
        ULONGLONG m_ullUncompressedSize = 0;
    };

    CZipInfo();
    ~CZipInfo() override;
    CZipInfo(const CZipInfo&) = delete;
    CZipInfo& operator=(CZipInfo& other);

    // Reads the directory of the file; the outcome is in GetError.
    void GetInfo(CString path);
    Error GetError() const { return m_eError; }

    // The 32-bit accessors answer 0xFFFFFFFF where the value does not fit, as the format does;
    // the 64-bit ones answer it whole.
    CString GetFileName() const { return m_strFileName; }
    DWORD GetLength() const { return Narrow(m_ullLength); }
    ULONGLONG GetLength64() const { return m_ullLength; }
    CString GetComment() const { return m_strComment; }
    int GetFilesCount() const { return static_cast<int>(m_dwFilesCount); }
    DWORD GetCentralDirPosition() const { return Narrow(m_ullCentralDirPosition); }
    ULONGLONG GetCentralDirPosition64() const { return m_ullCentralDirPosition; }
    int GetVolumesNumber() const { return static_cast<int>(m_dwVolumes); }
    unsigned int GetZipFileHandle() const;
    int IsFirstDiskOfMultivolume() const { return m_bSpanMarker; }
    int IsLastDisk() const { return m_bEndRecord && !m_bSpanMarker; }

    // Per entry; the index must lie in 0 .. GetFilesCount() - 1.
    CString GetName(int index) const { return Entry(index).m_strName; }
    CString GetComment(int index) const { return Entry(index).m_strComment; }
    bool IsEncrypted(int index) const { return (Entry(index).m_wFlags & 1) != 0; }
    DWORD GetCompressedSize(int index) const { return Entry(index).m_dwCompressedSize; }
    DWORD GetUncompressedSize(int index) const { return Entry(index).m_dwUncompressedSize; }
    ULONGLONG GetCompressedSize64(int index) const {
        const OneFileInfo& e = Entry(index);
        return e.m_dwCompressedSize == 0xFFFFFFFF ? e.m_ullCompressedSize : e.m_dwCompressedSize;
    }
    ULONGLONG GetUncompressedSize64(int index) const {
        const OneFileInfo& e = Entry(index);
        return e.m_dwUncompressedSize == 0xFFFFFFFF ? e.m_ullUncompressedSize
                                                    : e.m_dwUncompressedSize;
    }
    DWORD GetCRC(int index) const { return Entry(index).m_dwCRC; }
    WORD GetMethod(int index) const { return Entry(index).m_wMethod; }
    CTime GetLastModified(int index) const { return Entry(index).m_tLastModified; }
    CString GetDate(int index) const;  // dd.mm.yyyy, local time
    CString GetTime(int index) const;  // hh:mm:ss, local time
    // Flags of the entry (general purpose bit field).
    WORD GetFlags(int index) const { return Entry(index).m_wFlags; }

    bool IsAnyEncrypted() const;
    // Index of the first entry of that name, ignoring case; -1 when none.
    int FindFile(const char* name) const;
    // Takes ownership; replaces every record of the same name (exact comparison).
    void Add(OneFileInfo* info);

protected:
    // Reads the next central directory header; 0 at the end of the directory.
    int GetOneFileInfo(OneFileInfo*& info, char* unused);

    virtual void Print_NotTheLastDisk();
    virtual void Print_ErrorWhileOpening(CString fileName);

private:
    void Clear();
    const OneFileInfo& Entry(int index) const {
        return *static_cast<const OneFileInfo*>(GetAt(index));
    }
    static DWORD Narrow(ULONGLONG value) {
        return value >= 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(value);
    }
    bool ReadEndRecord();
    void ReadDirectory();

    int m_bEndRecord = 0;
    int m_bSpanMarker = 0;
    DWORD m_dwVolumes = 0;
    CString m_strFileName;
    ULONGLONG m_ullLength = 0;
    CFile m_file;
    CString m_strComment;
    // Wider than the end record's 16-bit count: a directory may hold more headers than it says.
    DWORD m_dwFilesCount = 0;
    ULONGLONG m_ullCentralDirPosition = 0;
    Error m_eError = NoError;

    // Where the directory search ends (the end record found), and the reader of the headers.
    ULONGLONG m_ullEndRecordPosition = 0;
    std::unique_ptr<kst::zip::BlockReader> m_reader;
    // While GetInfo fills the array, the slot of each name present (the key views the record's
    // own name) lets Add replace without a search: the record replaced leaves a null slot,
    // and the null slots go in one pass once the directory is read. A caller's own Add
    // searches the array.
    bool m_bReadingDirectory = false;
    std::unordered_map<std::string_view, int> m_readNames;
    int m_nReplacedWhileReading = 0;
    void DropReplacedSlots();
};
