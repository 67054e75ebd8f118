// CArchive: buffering over the file, strings, counts and text lines.
#include <algorithm>
#include <cstring>

#include "KstArchive.h"
#include "KstFile.h"
#include "internal/ArchiveMaps.h"
#include "internal/CodePage.h"

namespace {

constexpr size_t kMinBufferSize = 128;
// Lengths read from the archive are trusted only as far as the bytes that came
// in: strings grow in steps no bigger than what was read so far (at least this
// much).
constexpr size_t kFirstChunk = 64 * 1024;
constexpr UINT kMaxFileCall = 0x40000000u;

}  // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_pFile(pFile), m_nMode(nMode) {
    m_nBufSize = std::max<size_t>(nBufSize > 0 ? static_cast<size_t>(nBufSize) : 0, kMinBufferSize);
    if (lpBuf && nBufSize >= static_cast<int>(kMinBufferSize)) {
        m_lpBufStart = static_cast<BYTE*>(lpBuf);
    } else {
        m_ownBuffer = std::make_unique<BYTE[]>(m_nBufSize);
        m_lpBufStart = m_ownBuffer.get();
    }
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
}

CArchive::~CArchive() {
    if (!m_pFile || (m_nMode & bNoFlushOnDelete)) return;
    try {
        Close();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

void CArchive::Throw(int cause) const {
    CString name;
    if (m_pFile) name = m_pFile->GetFilePath();
    AfxThrowArchiveException(cause, name.IsEmpty() ? nullptr : name.c_str());
}

void CArchive::CheckStoring() const {
    if (!m_pFile) Throw(CArchiveException::genericException);
    if (!IsStoring()) Throw(CArchiveException::readOnly);
}

void CArchive::CheckLoading() const {
    if (!m_pFile) Throw(CArchiveException::genericException);
    if (!IsLoading()) Throw(CArchiveException::writeOnly);
}

// Writing.

void CArchive::Write(const void* lpBuf, UINT nMax) {
    if (nMax == 0) return;
    if (IsStoring() && static_cast<size_t>(m_lpBufMax - m_lpBufCur) >= nMax) {
        std::memcpy(m_lpBufCur, lpBuf, nMax);
        m_lpBufCur += nMax;
        return;
    }
    WriteSlow(lpBuf, nMax);
}

CArchive& CArchive::WriteSlow(const void* data, size_t size) {
    CheckStoring();
    size_t room = static_cast<size_t>(m_lpBufMax - m_lpBufCur);
    if (size <= room) {
        std::memcpy(m_lpBufCur, data, size);
        m_lpBufCur += size;
        return *this;
    }
    Flush();
    auto bytes = static_cast<const BYTE*>(data);
    if (size < m_nBufSize) {
        std::memcpy(m_lpBufCur, bytes, size);
        m_lpBufCur += size;
        return *this;
    }
    while (size > 0) {  // large blocks pass straight through
        UINT step = static_cast<UINT>(std::min<size_t>(size, kMaxFileCall));
        m_pFile->Write(bytes, step);
        bytes += step;
        size -= step;
    }
    return *this;
}

void CArchive::Flush() {
    if (!m_pFile) return;
    if (IsStoring()) {
        if (m_lpBufCur != m_lpBufStart)
            m_pFile->Write(m_lpBufStart, static_cast<UINT>(m_lpBufCur - m_lpBufStart));
        m_lpBufCur = m_lpBufStart;
    } else if (m_lpBufCur != m_lpBufMax) {
        m_pFile->Seek(-static_cast<LONG>(m_lpBufMax - m_lpBufCur), CFile::current);
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
    }
}

void CArchive::Close() {
    if (!m_pFile) return;
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort() {
    m_pFile = nullptr;
    m_lpBufCur = m_lpBufStart;
    if (IsLoading()) m_lpBufMax = m_lpBufStart;
}

// Reading.

void CArchive::FillBuffer(size_t nBytesNeeded) {
    size_t unread = static_cast<size_t>(m_lpBufMax - m_lpBufCur);
    if (unread > 0 && m_lpBufCur != m_lpBufStart) std::memmove(m_lpBufStart, m_lpBufCur, unread);
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + unread;
    nBytesNeeded = std::min(nBytesNeeded, m_nBufSize);
    while (static_cast<size_t>(m_lpBufMax - m_lpBufStart) < nBytesNeeded) {
        size_t room = m_nBufSize - static_cast<size_t>(m_lpBufMax - m_lpBufStart);
        UINT got = m_pFile->Read(m_lpBufMax, static_cast<UINT>(room));
        if (got == 0) break;
        m_lpBufMax += got;
    }
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
    CheckLoading();
    auto out = static_cast<BYTE*>(lpBuf);
    size_t wanted = nMax;
    size_t inBuffer = std::min(wanted, static_cast<size_t>(m_lpBufMax - m_lpBufCur));
    std::memcpy(out, m_lpBufCur, inBuffer);
    m_lpBufCur += inBuffer;
    size_t done = inBuffer;
    // What remains of a large request comes straight from the file.
    while (wanted - done >= m_nBufSize) {
        UINT got = m_pFile->Read(out + done, static_cast<UINT>(wanted - done));
        if (got == 0) return static_cast<UINT>(done);
        done += got;
    }
    while (done < wanted) {
        FillBuffer(wanted - done);
        size_t take = std::min(wanted - done, static_cast<size_t>(m_lpBufMax - m_lpBufCur));
        if (take == 0) break;
        std::memcpy(out + done, m_lpBufCur, take);
        m_lpBufCur += take;
        done += take;
    }
    return static_cast<UINT>(done);
}

void CArchive::ReadExact(void* data, size_t size) {
    if (Read(data, static_cast<UINT>(size)) != size) Throw(CArchiveException::endOfFile);
}

// Counts and strings.

void CArchive::WriteCount(DWORD_PTR dwCount) {
    if (dwCount < 0xFFFF) {
        *this << static_cast<WORD>(dwCount);
    } else {
        *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(dwCount);
    }
}

DWORD_PTR CArchive::ReadCount() {
    WORD wCount = GetRaw<WORD>();
    if (wCount != 0xFFFF) return wCount;
    return GetRaw<DWORD>();
}

void CArchive::WriteLength(size_t length) {
    if (length < 255) {
        *this << static_cast<BYTE>(length);
    } else if (length < 0xFFFE) {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(length);
    } else {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(length);
    }
}

size_t CArchive::ReadLength(bool& wide) {
    wide = false;
    BYTE bLength = GetRaw<BYTE>();
    if (bLength < 0xFF) return bLength;
    WORD wLength = GetRaw<WORD>();
    if (wLength == 0xFFFE) {  // the wide-string marker; the length follows as usual
        wide = true;
        bLength = GetRaw<BYTE>();
        if (bLength < 0xFF) return bLength;
        wLength = GetRaw<WORD>();
    }
    if (wLength < 0xFFFF) return wLength;
    return GetRaw<DWORD>();
}

CArchive& CArchive::operator<<(const CString& str) {
    size_t length = str.view().size();
    if (length < 255 && IsStoring() && static_cast<size_t>(m_lpBufMax - m_lpBufCur) > length) {
        *m_lpBufCur++ = static_cast<BYTE>(length);
        std::memcpy(m_lpBufCur, str.view().data(), length);
        m_lpBufCur += length;
        return *this;
    }
    WriteLength(length);
    if (length > 0xFFFFFFFFu) Throw(CArchiveException::genericException);
    Write(str.view().data(), static_cast<UINT>(length));
    return *this;
}

CArchive& CArchive::operator<<(const char* psz) {
    std::string_view text = psz ? std::string_view(psz) : std::string_view();
    WriteLength(text.size());
    Write(text.data(), static_cast<UINT>(text.size()));
    return *this;
}

namespace {

// Reads count bytes into a growing buffer, never reserving much beyond what
// arrived.
std::string ReadBounded(CArchive& ar, size_t count) {
    std::string bytes;
    size_t done = 0;
    while (done < count) {
        size_t step = std::min(count - done, std::max(done, kFirstChunk));
        bytes.resize(done + step);
        if (ar.Read(bytes.data() + done, static_cast<UINT>(step)) != step)
            AfxThrowArchiveException(CArchiveException::endOfFile);
        done += step;
    }
    return bytes;
}

}  // namespace

CArchive& CArchive::operator>>(CString& str) {
    bool wide = false;
    size_t length = ReadLength(wide);
    if (!wide && length <= static_cast<size_t>(m_lpBufMax - m_lpBufCur)) {
        // Into the string's own storage: a string read in a loop keeps its capacity.
        if (length > 0)
            std::memcpy(str.GetBufferSetLength(static_cast<int>(length)), m_lpBufCur, length);
        else
            str.Empty();
        m_lpBufCur += length;
        return *this;
    }
    try {
        std::string bytes = ReadBounded(*this, wide ? length * 2 : length);
        if (!wide) {
            str = CString(std::move(bytes));
            return *this;
        }
        std::u16string units(length, u'\0');
        std::memcpy(units.data(), bytes.data(), bytes.size());  // little-endian host
        str = CString(kst::detail::FromUtf16(units, kst::detail::AnsiCodePage()));
    } catch (CArchiveException* e) {
        if (e->m_strFileName.empty() && m_pFile) e->m_strFileName = m_pFile->GetFilePath().str();
        throw;
    }
    return *this;
}

// Text lines.

void CArchive::WriteString(LPCTSTR lpsz) {
    if (lpsz) Write(lpsz, static_cast<UINT>(std::strlen(lpsz)));
}

BOOL CArchive::ReadString(CString& rString) {
    CheckLoading();
    std::string line;
    bool any = false;
    for (;;) {
        if (m_lpBufCur == m_lpBufMax) {
            FillBuffer(1);
            if (m_lpBufCur == m_lpBufMax) break;
        }
        any = true;
        auto begin = reinterpret_cast<const char*>(m_lpBufCur);
        size_t available = static_cast<size_t>(m_lpBufMax - m_lpBufCur);
        auto newline = static_cast<const char*>(std::memchr(begin, '\n', available));
        size_t take = newline ? static_cast<size_t>(newline - begin) : available;
        line.append(begin, take);
        m_lpBufCur += take;
        if (newline) {
            ++m_lpBufCur;
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    rString = CString(std::move(line));
    return any;
}

LPTSTR CArchive::ReadString(LPTSTR lpsz, UINT nMax) {
    if (!lpsz || nMax == 0) return nullptr;
    CheckLoading();
    UINT n = 0;
    bool any = false;
    while (n + 1 < nMax) {
        if (m_lpBufCur == m_lpBufMax) {
            FillBuffer(1);
            if (m_lpBufCur == m_lpBufMax) break;
        }
        any = true;
        char ch = static_cast<char>(*m_lpBufCur++);
        if (ch == '\n') break;
        lpsz[n++] = ch;
    }
    if (n > 0 && lpsz[n - 1] == '\r') --n;
    lpsz[n] = '\0';
    return any ? lpsz : nullptr;
}
