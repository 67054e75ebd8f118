// CArchive: the framework's buffered binary archive over a CFile, with its persistent object
// format (class tags, schemas and back references shared by classes and objects).
#pragma once

#include <cstring>
#include <memory>

#include "KstExport.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstTime.h"
#include "KstWinTypes.h"

class CFile;

namespace kst::detail {
struct ArchiveMaps;
}

class KST_API CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

    // The buffer is nBufSize bytes (at least 128); a caller's buffer may be lent in lpBuf.
    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    // Closes the archive unless Close or Abort ran; errors of that last flush are dropped
    // (call Close to see them).
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    BOOL IsByteSwapping() const { return FALSE; }
    BOOL IsBufferEmpty() const { return m_lpBufCur == m_lpBufMax; }
    CFile* GetFile() const { return m_pFile; }

    // Raw bytes. Read answers how many bytes it got (fewer only at the end of the file).
    UINT Read(void* lpBuf, UINT nMax);
    void Write(const void* lpBuf, UINT nMax);
    // Store: writes the buffer to the file. Load: puts the file back where the caller's
    // reading stands.
    void Flush();
    void Close();
    // Ends the archive without writing what is buffered; never throws.
    void Abort();

    // Text lines. WriteString writes the text as it is; ReadString reads up to "\n" and drops
    // the line end ("\r\n" or "\n"), answering FALSE when nothing was left to read.
    void WriteString(LPCTSTR lpsz);
    BOOL ReadString(CString& rString);
    LPTSTR ReadString(LPTSTR lpsz, UINT nMax);

    // Counts: below 0xFFFF one word, else 0xFFFF and a 32-bit word.
    void WriteCount(DWORD_PTR dwCount);
    DWORD_PTR ReadCount();

    // Persistent objects and their classes.
    void WriteObject(const CObject* pOb);
    CObject* ReadObject(const CRuntimeClass* pClassRefRequested);
    void WriteClass(const CRuntimeClass* pClassRef);
    CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested = nullptr,
                             UINT* pSchema = nullptr, DWORD* pObTag = nullptr);
    void SerializeClass(const CRuntimeClass* pClassRef);
    // Enters an object into the back-reference map without writing it (both directions).
    void MapObject(const CObject* pOb);
    // Schema of the object being read (from its class tag); (UINT)-1 once asked.
    UINT GetObjectSchema();
    void SetObjectSchema(UINT nSchema) { m_nObjectSchema = nSchema; }

    // Scalars, little-endian.
    CArchive& operator<<(bool b) { return PutRaw<BYTE>(b ? 1 : 0); }
    CArchive& operator<<(char ch) { return PutRaw(ch); }
    CArchive& operator<<(signed char ch) { return PutRaw(ch); }
    CArchive& operator<<(BYTE by) { return PutRaw(by); }
    CArchive& operator<<(short w) { return PutRaw(w); }
    CArchive& operator<<(WORD w) { return PutRaw(w); }
    CArchive& operator<<(int i) { return PutRaw(i); }                      // LONG
    CArchive& operator<<(unsigned u) { return PutRaw(u); }                 // DWORD, UINT
    CArchive& operator<<(long l) { return PutRaw<int64_t>(l); }            // LONGLONG
    CArchive& operator<<(unsigned long u) { return PutRaw<uint64_t>(u); }  // ULONGLONG
    CArchive& operator<<(long long l) { return PutRaw<int64_t>(l); }
    CArchive& operator<<(unsigned long long u) { return PutRaw<uint64_t>(u); }
    CArchive& operator<<(float f) { return PutRaw(f); }
    CArchive& operator<<(double d) { return PutRaw(d); }

    CArchive& operator>>(bool& b) {
        b = GetRaw<BYTE>() != 0;
        return *this;
    }
    CArchive& operator>>(char& ch) { return GetInto(ch); }
    CArchive& operator>>(signed char& ch) { return GetInto(ch); }
    CArchive& operator>>(BYTE& by) { return GetInto(by); }
    CArchive& operator>>(short& w) { return GetInto(w); }
    CArchive& operator>>(WORD& w) { return GetInto(w); }
    CArchive& operator>>(int& i) { return GetInto(i); }
    CArchive& operator>>(unsigned& u) { return GetInto(u); }
    CArchive& operator>>(long& l) {
        l = GetRaw<int64_t>();
        return *this;
    }
    CArchive& operator>>(unsigned long& u) {
        u = GetRaw<uint64_t>();
        return *this;
    }
    CArchive& operator>>(long long& l) {
        l = GetRaw<int64_t>();
        return *this;
    }
    CArchive& operator>>(unsigned long long& u) {
        u = GetRaw<uint64_t>();
        return *this;
    }
    CArchive& operator>>(float& f) { return GetInto(f); }
    CArchive& operator>>(double& d) { return GetInto(d); }

    // Strings: length < 255 as a byte; else 0xFF and a word below 0xFFFE; else 0xFF, 0xFFFF
    // and a 32-bit word; then the bytes. Reading also takes the wide form (0xFF, 0xFFFE).
    CArchive& operator<<(const CString& str);
    CArchive& operator<<(const char* psz);
    CArchive& operator>>(CString& str);

    // Times: the seconds as 32 bits, read back unsigned (dates up to 2106).
    CArchive& operator<<(const CTime& time) { return PutRaw(static_cast<DWORD>(time.GetTime())); }
    CArchive& operator>>(CTime& time) {
        time = CTime(static_cast<__time64_t>(GetRaw<DWORD>()));
        return *this;
    }

    CArchive& operator<<(const CObject* pOb) {
        WriteObject(pOb);
        return *this;
    }
    CArchive& operator>>(CObject*& pOb) {
        pOb = ReadObject(nullptr);
        return *this;
    }
    CArchive& operator>>(const CObject*& pOb) {
        pOb = ReadObject(nullptr);
        return *this;
    }

    // Tags of the object format.
    static constexpr WORD wNullTag = 0;
    static constexpr WORD wNewClassTag = 0xFFFF;
    static constexpr WORD wClassTag = 0x8000;
    static constexpr DWORD dwBigClassTag = 0x80000000u;
    static constexpr WORD wBigObjectTag = 0x7FFF;
    static constexpr DWORD nMaxMapCount = 0x3FFFFFFEu;

private:
    template <class T>
    CArchive& PutRaw(T value) {
        if (static_cast<size_t>(m_lpBufMax - m_lpBufCur) < sizeof(T) || !IsStoring())
            return WriteSlow(&value, sizeof(T));
        std::memcpy(m_lpBufCur, &value, sizeof(T));
        m_lpBufCur += sizeof(T);
        return *this;
    }
    template <class T>
    T GetRaw() {
        T value;
        if (static_cast<size_t>(m_lpBufMax - m_lpBufCur) < sizeof(T) || !IsLoading()) {
            ReadExact(&value, sizeof(T));
            return value;
        }
        std::memcpy(&value, m_lpBufCur, sizeof(T));
        m_lpBufCur += sizeof(T);
        return value;
    }
    template <class T>
    CArchive& GetInto(T& value) {
        value = GetRaw<T>();
        return *this;
    }

    CArchive& WriteSlow(const void* data, size_t size);
    // Reads exactly size bytes or throws endOfFile.
    void ReadExact(void* data, size_t size);
    void FillBuffer(size_t nBytesNeeded);
    void CheckStoring() const;
    void CheckLoading() const;
    void WriteLength(size_t length);
    size_t ReadLength(bool& wide);
    [[noreturn]] void Throw(int cause) const;
    kst::detail::ArchiveMaps& Maps();
    void WriteObjectTag(DWORD nIndex, DWORD dwFlag);

    CFile* m_pFile;
    UINT m_nMode;
    bool m_bClosed = false;
    UINT m_nObjectSchema = static_cast<UINT>(-1);
    std::unique_ptr<BYTE[]> m_ownBuffer;
    BYTE* m_lpBufStart;
    BYTE* m_lpBufMax;  // store: end of the buffer; load: end of the bytes read
    BYTE* m_lpBufCur;
    size_t m_nBufSize;
    std::unique_ptr<kst::detail::ArchiveMaps> m_pMaps;
};
