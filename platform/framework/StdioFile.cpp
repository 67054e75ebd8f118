// CStdioFile: a buffered CFile; in text mode "\n" is CR LF on disk. The buffers keep system
// calls to one per 64 KiB, and positions stay those of the bytes on disk.
#include <algorithm>
#include <cstring>

#include "KstFile.h"

IMPLEMENT_DYNAMIC(CStdioFile, CFile)

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

CStdioFile::CStdioFile() = default;

CStdioFile::CStdioFile(LPCTSTR lpszFileName, UINT nOpenFlags) {
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CStdioFile::~CStdioFile() {
    if (m_hFile == hFileNull) return;
    try {
        FlushWrites();
    } catch (CException* e) {  // a destructor cannot report it
        e->Delete();
    }
}

BOOL CStdioFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    m_readBuffer.clear();
    m_readPos = 0;
    m_writeBuffer.clear();
    m_bText = !(nOpenFlags & typeBinary);
    return CFile::Open(lpszFileName, nOpenFlags, pError);
}

bool CStdioFile::FillBuffer() {
    if (!m_readBuffer.bytes)
        m_readBuffer.bytes = std::make_unique_for_overwrite<char[]>(kBufferSize);
    m_readBuffer.clear();
    m_readPos = 0;
    m_readBuffer.count = CFile::Read(m_readBuffer.bytes.get(), static_cast<UINT>(kBufferSize));
    return m_readBuffer.count > 0;
}

int CStdioFile::GetChar() {
    if (m_readPos == m_readBuffer.size() && !FillBuffer()) return -1;
    char ch = m_readBuffer[m_readPos++];
    if (ch == '\r' && m_bText) {
        if (m_readPos == m_readBuffer.size() && !FillBuffer()) return '\r';
        if (m_readBuffer[m_readPos] == '\n') {
            ++m_readPos;
            return '\n';
        }
    }
    return static_cast<unsigned char>(ch);
}

void CStdioFile::DropReadAhead() {
    size_t unread = m_readBuffer.size() - m_readPos;
    m_readBuffer.clear();
    m_readPos = 0;
    if (unread) CFile::Seek(-static_cast<LONGLONG>(unread), current);
}

void CStdioFile::FlushWrites() {
    if (m_writeBuffer.empty()) return;
    // Dropped even when the write fails, as stdio does; the buffer keeps its room.
    struct DropPending {
        std::string& buffer;
        ~DropPending() { buffer.clear(); }
    } drop{m_writeBuffer};
    CFile::Write(m_writeBuffer.data(), static_cast<UINT>(m_writeBuffer.size()));
}

void CStdioFile::WriteBuffered(const char* data, size_t size) {
    if (!m_readBuffer.empty()) DropReadAhead();
    if (!m_bText) {
        m_writeBuffer.append(data, size);
    } else {
        for (const char* end = data + size; data < end;) {
            const char* newline =
                static_cast<const char*>(std::memchr(data, '\n', size_t(end - data)));
            const char* stop = newline ? newline : end;
            m_writeBuffer.append(data, size_t(stop - data));
            if (newline) m_writeBuffer.append("\r\n", 2);
            data = newline ? newline + 1 : end;
        }
    }
    if (m_writeBuffer.size() >= kBufferSize) FlushWrites();
}

UINT CStdioFile::Read(void* lpBuf, UINT nCount) {
    FlushWrites();
    auto* out = static_cast<char*>(lpBuf);
    UINT done = 0;
    if (!m_bText) {
        while (done < nCount) {
            if (m_readPos == m_readBuffer.size() && !FillBuffer()) break;
            size_t n = std::min<size_t>(nCount - done, m_readBuffer.size() - m_readPos);
            std::memcpy(out + done, m_readBuffer.data() + m_readPos, n);
            m_readPos += n;
            done += static_cast<UINT>(n);
        }
        return done;
    }
    for (int ch; done < nCount && (ch = GetChar()) >= 0;) out[done++] = static_cast<char>(ch);
    return done;
}

void CStdioFile::Write(const void* lpBuf, UINT nCount) {
    WriteBuffered(static_cast<const char*>(lpBuf), nCount);
}

BOOL CStdioFile::ReadString(CString& rString) {
    FlushWrites();
    std::string line;
    bool any = false;
    for (;;) {
        if (m_readPos == m_readBuffer.size() && !FillBuffer()) break;
        any = true;
        const char* start = m_readBuffer.data() + m_readPos;
        size_t available = m_readBuffer.size() - m_readPos;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
        if (!newline) {
            line.append(start, available);
            m_readPos = m_readBuffer.size();
            continue;
        }
        line.append(start, size_t(newline - start));
        m_readPos += size_t(newline - start) + 1;
        // A CR right before the LF is the CR LF pair, even when a buffer boundary split them.
        if (m_bText && !line.empty() && line.back() == '\r') line.pop_back();
        break;
    }
    rString = CString(std::move(line));
    return any;
}

LPTSTR CStdioFile::ReadString(LPTSTR lpsz, UINT nMax) {
    if (!lpsz || nMax == 0) return nullptr;
    FlushWrites();
    UINT n = 0;
    int ch = 0;
    while (n + 1 < nMax && (ch = GetChar()) >= 0) {
        lpsz[n++] = static_cast<char>(ch);
        if (ch == '\n') break;
    }
    lpsz[n] = '\0';
    return n == 0 && nMax > 1 ? nullptr : lpsz;
}

void CStdioFile::WriteString(LPCTSTR lpsz) {
    if (lpsz) WriteBuffered(lpsz, std::strlen(lpsz));
}

ULONGLONG CStdioFile::Seek(LONGLONG lOff, UINT nFrom) {
    FlushWrites();
    DropReadAhead();
    return CFile::Seek(lOff, nFrom);
}

ULONGLONG CStdioFile::GetPosition() const {
    ULONGLONG position = CFile::GetPosition();
    return position - (m_readBuffer.size() - m_readPos) + m_writeBuffer.size();
}

ULONGLONG CStdioFile::GetLength() const {
    const_cast<CStdioFile*>(this)->FlushWrites();
    return CFile::GetLength();
}

void CStdioFile::SetLength(ULONGLONG dwNewLen) {
    FlushWrites();
    DropReadAhead();
    CFile::SetLength(dwNewLen);
}

void CStdioFile::Flush() {
    FlushWrites();
}

void CStdioFile::Close() {
    try {
        FlushWrites();
    } catch (CException*) {
        Abort();
        throw;
    }
    m_readBuffer.clear();
    m_readPos = 0;
    CFile::Close();
}

void CStdioFile::Abort() {
    m_writeBuffer.clear();
    m_readBuffer.clear();
    m_readPos = 0;
    CFile::Abort();
}
