// CMemFile: a CFile in memory, growing by steps of its grow size.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "KstFile.h"

IMPLEMENT_DYNAMIC(CMemFile, CFile)

CMemFile::CMemFile(UINT nGrowBytes) : m_nGrowBytes(nGrowBytes) {}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : m_nGrowBytes(0) {
    Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile() {
    if (m_bAutoDelete) std::free(m_lpBuffer);
}

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) {
    if (m_bAutoDelete) std::free(m_lpBuffer);
    m_lpBuffer = lpBuffer;
    m_nBufferSize = nBufferSize;
    // A fixed buffer holds data to read; a growing one starts empty, as in the framework.
    m_nFileSize = nGrowBytes == 0 ? nBufferSize : 0;
    m_nGrowBytes = nGrowBytes;
    m_nPosition = 0;
    m_bAutoDelete = false;
}

BYTE* CMemFile::Detach() {
    BYTE* buffer = m_lpBuffer;
    m_lpBuffer = nullptr;
    m_nBufferSize = m_nFileSize = m_nPosition = 0;
    m_bAutoDelete = true;
    return buffer;
}

void CMemFile::GrowTo(size_t size) {
    if (size <= m_nBufferSize) return;
    if (m_nGrowBytes == 0) AfxThrowFileException(CFileException::diskFull);
    size_t step = m_nGrowBytes;
    size_t newSize = std::max(size, m_nBufferSize + m_nBufferSize / 2);
    newSize = (newSize + step - 1) / step * step;
    BYTE* grown;
    if (m_bAutoDelete) {
        grown = static_cast<BYTE*>(std::realloc(m_lpBuffer, newSize));
    } else {  // a caller's buffer is copied, never reallocated
        grown = static_cast<BYTE*>(std::malloc(newSize));
        if (grown && m_nFileSize) std::memcpy(grown, m_lpBuffer, m_nFileSize);
    }
    if (!grown) AfxThrowFileException(CFileException::diskFull);
    m_lpBuffer = grown;
    m_nBufferSize = newSize;
    m_bAutoDelete = true;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
    if (m_nPosition >= m_nFileSize || nCount == 0) return 0;
    size_t n = std::min<size_t>(nCount, m_nFileSize - m_nPosition);
    std::memcpy(lpBuf, m_lpBuffer + m_nPosition, n);
    m_nPosition += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    GrowTo(m_nPosition + nCount);
    if (m_nPosition > m_nFileSize)
        std::memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
    std::memcpy(m_lpBuffer + m_nPosition, lpBuf, nCount);
    m_nPosition += nCount;
    m_nFileSize = std::max(m_nFileSize, m_nPosition);
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom) {
    LONGLONG base = nFrom == begin     ? 0
                    : nFrom == current ? LONGLONG(m_nPosition)
                                       : LONGLONG(m_nFileSize);
    if (base + lOff < 0) AfxThrowFileException(CFileException::badSeek, ERROR_NEGATIVE_SEEK);
    m_nPosition = static_cast<size_t>(base + lOff);
    return m_nPosition;
}

ULONGLONG CMemFile::GetLength() const {
    return m_nFileSize;
}

void CMemFile::SetLength(ULONGLONG dwNewLen) {
    GrowTo(static_cast<size_t>(dwNewLen));
    if (dwNewLen > m_nFileSize) std::memset(m_lpBuffer + m_nFileSize, 0, dwNewLen - m_nFileSize);
    m_nFileSize = static_cast<size_t>(dwNewLen);
    m_nPosition = std::min(m_nPosition, m_nFileSize);
}

ULONGLONG CMemFile::GetPosition() const {
    return m_nPosition;
}

void CMemFile::Close() {
    if (m_bAutoDelete) std::free(m_lpBuffer);
    m_lpBuffer = nullptr;
    m_nBufferSize = m_nFileSize = m_nPosition = 0;
    m_bAutoDelete = true;
}

void CMemFile::Abort() {
    Close();
}
