// CFileFind: one file ahead of the caller, so that FindNextFile can say whether it was the last.
#include "KstFileFind.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CFileFind, CObject)

CFileFind::~CFileFind() {
    Close();
}

void CFileFind::Close() {
    if (m_hContext && m_hContext != INVALID_HANDLE_VALUE) FindClose(m_hContext);
    m_hContext = nullptr;
    m_bHaveFound = m_bHaveNext = FALSE;
}

BOOL CFileFind::FindFile(LPCTSTR pstrName, DWORD) {
    Close();
    CString pattern = pstrName && *pstrName ? pstrName : "*.*";
    int sep = -1;
    for (int i = 0; i < pattern.GetLength(); ++i)
        if (pattern[i] == '\\' || pattern[i] == '/' || (i == 1 && pattern[i] == ':')) sep = i;
    m_strRoot = pattern.Left(sep + 1);
    HANDLE find = FindFirstFileA(pattern, &m_next);
    if (find == INVALID_HANDLE_VALUE) return FALSE;
    m_hContext = find;
    m_bHaveNext = TRUE;
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_bHaveNext) return FALSE;
    m_found = m_next;
    m_bHaveFound = TRUE;
    m_bHaveNext = ::FindNextFileA(m_hContext, &m_next);
    return m_bHaveNext;
}

CString CFileFind::GetFileName() const {
    return m_bHaveFound ? CString(m_found.cFileName) : CString();
}

CString CFileFind::GetFilePath() const {
    return m_bHaveFound ? m_strRoot + m_found.cFileName : CString();
}

CString CFileFind::GetFileTitle() const {
    CString name = GetFileName();
    int dot = name.ReverseFind('.');
    return dot > 0 ? name.Left(dot) : name;
}

ULONGLONG CFileFind::GetLength() const {
    return m_bHaveFound ? (ULONGLONG(m_found.nFileSizeHigh) << 32) | m_found.nFileSizeLow : 0;
}

namespace {

BOOL TimeOf(BOOL found, const FILETIME& time, CTime& refTime) {
    if (!found) return FALSE;
    refTime = CTime(time);
    return TRUE;
}

}  // namespace

BOOL CFileFind::GetLastWriteTime(CTime& refTime) const {
    return TimeOf(m_bHaveFound, m_found.ftLastWriteTime, refTime);
}
BOOL CFileFind::GetCreationTime(CTime& refTime) const {
    return TimeOf(m_bHaveFound, m_found.ftCreationTime, refTime);
}
BOOL CFileFind::GetLastAccessTime(CTime& refTime) const {
    return TimeOf(m_bHaveFound, m_found.ftLastAccessTime, refTime);
}

BOOL CFileFind::MatchesMask(DWORD dwMask) const {
    return m_bHaveFound && (m_found.dwFileAttributes & dwMask) != 0;
}

BOOL CFileFind::IsDots() const {
    return m_bHaveFound && IsDirectory() &&
           (std::strcmp(m_found.cFileName, ".") == 0 || std::strcmp(m_found.cFileName, "..") == 0);
}
