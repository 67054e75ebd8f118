// The framework's files: CFile over a system handle, CStdioFile (buffered, text or binary),
// CMemFile in memory, CFileStatus and CFileException.
#pragma once

#include <memory>
#include <string>

#include "KstExport.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstTime.h"
#include "KstWinTypes.h"

class KST_API CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };
    // The framework's old spelling of genericException.
    static constexpr int generic = genericException;

    explicit CFileException(int cause = none, LONG lOsError = -1, LPCTSTR lpszFileName = nullptr);
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;

    // The cause for a system error code.
    static int OsErrorToException(LONG lOsError);
    [[noreturn]] static void ThrowOsError(LONG lOsError, LPCTSTR lpszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

[[noreturn]] KST_API void AfxThrowFileException(int cause, LONG lOsError = -1,
                                                LPCTSTR lpszFileName = nullptr);

struct KST_API CFileStatus {
    CTime m_ctime;  // creation (the status change time here)
    CTime m_mtime;  // last modification
    CTime m_atime;  // last access
    LONG m_size;    // the low 32 bits of the size, as the framework keeps it
    BYTE m_attribute;
    BYTE m_padding;
    TCHAR m_szFullName[_MAX_PATH];
};

class KST_API CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,  // counts as exclusive
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,  // without modeNoTruncate: create or empty
        modeNoTruncate = 0x2000,
        typeText = 0x4000,  // CStdioFile only
        typeBinary = 0x8000
    };
    enum Attribute : BYTE {
        normal = 0x00,
        readOnly = 0x01,
        hidden = 0x02,
        system = 0x04,
        volume = 0x08,
        directory = 0x10,
        archive = 0x20
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    static inline const HANDLE hFileNull = INVALID_HANDLE_VALUE;

    CFile();
    explicit CFile(HANDLE hFile);  // attaches; the handle is not closed by the destructor
    // Opens, throwing CFileException on failure.
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE on failure; the cause goes to pError when given.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);

    // Read answers the bytes read (0 at the end); Write writes all or throws.
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG dwNewLen);
    virtual ULONGLONG GetPosition() const;
    virtual void Flush();
    virtual void Close();  // throws on failure
    virtual void Abort();  // closes, ignoring failures

    virtual CString GetFileName() const;   // name and extension
    virtual CString GetFileTitle() const;  // name without extension
    virtual CString GetFilePath() const;
    virtual void SetFilePath(LPCTSTR lpszNewName);

    BOOL GetStatus(CFileStatus& rStatus) const;
    static BOOL GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus);
    // Both throw CFileException on failure.
    static void Remove(LPCTSTR lpszFileName);
    static void Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName);

    HANDLE m_hFile;

protected:
    BOOL m_bCloseOnDelete;
    CString m_strFileName;
};

class KST_API CStdioFile : public CFile {
    DECLARE_DYNAMIC(CStdioFile)
public:
    CStdioFile();
    CStdioFile(LPCTSTR lpszFileName, UINT nOpenFlags);  // throws CFileException
    ~CStdioFile() override;

    // Text unless typeBinary: "\n" is written as CR LF and CR LF reads back as "\n".
    BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;

    // A line without its line end; FALSE at the end of the file.
    virtual BOOL ReadString(CString& rString);
    // Up to nMax - 1 characters, keeping the "\n"; null at the end of the file.
    virtual LPTSTR ReadString(LPTSTR lpsz, UINT nMax);
    virtual void WriteString(LPCTSTR lpsz);

    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
    ULONGLONG GetLength() const override;
    void SetLength(ULONGLONG dwNewLen) override;
    ULONGLONG GetPosition() const override;
    void Flush() override;
    void Close() override;
    void Abort() override;

private:
    bool FillBuffer();
    int GetChar();  // -1 at the end
    void WriteBuffered(const char* data, size_t size);
    void FlushWrites();
    void DropReadAhead();

    // The bytes read ahead: room for one fill, allocated once and not cleared for each fill.
    struct ReadAhead {
        std::unique_ptr<char[]> bytes;
        size_t count = 0;
        size_t size() const { return count; }
        bool empty() const { return count == 0; }
        void clear() { count = 0; }
        const char* data() const { return bytes.get(); }
        char operator[](size_t index) const { return bytes[index]; }
    };

    bool m_bText = true;
    ReadAhead m_readBuffer;
    size_t m_readPos = 0;
    std::string m_writeBuffer;
};

class KST_API CMemFile : public CFile {
    DECLARE_DYNAMIC(CMemFile)
public:
    explicit CMemFile(UINT nGrowBytes = 1024);
    // Over a caller's buffer; with nGrowBytes 0 it cannot grow.
    CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    ~CMemFile() override;

    void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    // Hands the buffer to the caller (who frees it with free() when this file allocated it).
    BYTE* Detach();

    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
    ULONGLONG GetLength() const override;
    void SetLength(ULONGLONG dwNewLen) override;
    ULONGLONG GetPosition() const override;
    void Flush() override {}
    void Close() override;
    void Abort() override;

private:
    void GrowTo(size_t size);

    UINT m_nGrowBytes;
    size_t m_nPosition = 0;
    size_t m_nBufferSize = 0;
    size_t m_nFileSize = 0;
    BYTE* m_lpBuffer = nullptr;
    bool m_bAutoDelete = true;
};
