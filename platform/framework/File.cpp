// CFile: the framework's unbuffered file over a system handle.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "KstFile.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/FileAttributes.h"
#include "internal/Paths.h"

IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

DWORD AccessOf(UINT flags) {
    switch (flags & 3) {
        case CFile::modeWrite:
            return GENERIC_WRITE;
        case CFile::modeReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return GENERIC_READ;
    }
}

// Compatibility sharing counts as exclusive.
DWORD ShareOf(UINT flags) {
    switch (flags & 0x70) {
        case CFile::shareDenyWrite:
            return FILE_SHARE_READ;
        case CFile::shareDenyRead:
            return FILE_SHARE_WRITE;
        case CFile::shareDenyNone:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:
            return 0;
    }
}

DWORD DispositionOf(UINT flags) {
    if (!(flags & CFile::modeCreate)) return OPEN_EXISTING;
    return (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

// The full name the framework keeps: a relative host path gets the current folder in front.
CString FullName(LPCTSTR name) {
    std::string_view path(name);
    if (kst::detail::HasDriveLetter(path) || (!path.empty() && kst::detail::IsSeparator(path[0])))
        return CString(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return CString(path);
    return CString(std::string(cwd) + "/" + std::string(path));
}

[[noreturn]] void ThrowLastError(const CString& fileName) {
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), fileName);
}

}  // namespace

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE hFile) : m_hFile(hFile), m_bCloseOnDelete(FALSE) {}

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags) : CFile() {
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile() {
    if (m_hFile != hFileNull && m_bCloseOnDelete) CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull) Abort();  // the framework asserts; here the old file goes
    m_strFileName = lpszFileName ? FullName(lpszFileName) : CString();
    nOpenFlags &= ~UINT(typeText | typeBinary);
    HANDLE handle = CreateFileA(lpszFileName, AccessOf(nOpenFlags), ShareOf(nOpenFlags), nullptr,
                                DispositionOf(nOpenFlags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (pError) {
            pError->m_lOsError = static_cast<LONG>(GetLastError());
            pError->m_cause = CFileException::OsErrorToException(pError->m_lOsError);
            pError->m_strFileName = lpszFileName ? lpszFileName : "";
        }
        return FALSE;
    }
    m_hFile = handle;
    m_bCloseOnDelete = TRUE;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (nCount == 0) return 0;
    DWORD read = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &read, nullptr)) ThrowLastError(m_strFileName);
    return read;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    DWORD written = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &written, nullptr)) ThrowLastError(m_strFileName);
    if (written < nCount) AfxThrowFileException(CFileException::diskFull, -1, m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    LONG high = static_cast<LONG>(static_cast<ULONGLONG>(lOff) >> 32);
    DWORD low = SetFilePointer(m_hFile, static_cast<LONG>(lOff), &high, nFrom);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS)
        ThrowLastError(m_strFileName);
    return (ULONGLONG(DWORD(high)) << 32) | low;
}

ULONGLONG CFile::GetPosition() const {
    LONG high = 0;
    DWORD low = SetFilePointer(m_hFile, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS)
        ThrowLastError(m_strFileName);
    return (ULONGLONG(DWORD(high)) << 32) | low;
}

ULONGLONG CFile::GetLength() const {
    DWORD high = 0;
    DWORD low = GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) ThrowLastError(m_strFileName);
    return (ULONGLONG(high) << 32) | low;
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    Seek(static_cast<LONGLONG>(dwNewLen), begin);
    if (!SetEndOfFile(m_hFile)) ThrowLastError(m_strFileName);
}

void CFile::Flush() {
    if (m_hFile != hFileNull && !FlushFileBuffers(m_hFile)) ThrowLastError(m_strFileName);
}

void CFile::Close() {
    bool failed = false;
    if (m_hFile != hFileNull) failed = !CloseHandle(m_hFile);
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    if (failed) ThrowLastError(m_strFileName);
    m_strFileName.Empty();
}

void CFile::Abort() {
    if (m_hFile != hFileNull) CloseHandle(m_hFile);
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    m_strFileName.Empty();
}

CString CFile::GetFileName() const {
    auto parts = kst::detail::Split(m_strFileName.view());
    return CString(parts.fname + parts.ext);
}

CString CFile::GetFileTitle() const {
    return CString(kst::detail::Split(m_strFileName.view()).fname);
}

CString CFile::GetFilePath() const {
    return m_strFileName;
}

void CFile::SetFilePath(LPCTSTR lpszNewName) {
    m_strFileName = FullName(lpszNewName);
}

BOOL CFile::GetStatus(CFileStatus& rStatus) const {
    return !m_strFileName.IsEmpty() && GetStatus(m_strFileName, rStatus);
}

BOOL CFile::GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus) {
    auto host = kst::detail::HostPath(lpszFileName ? lpszFileName : "");
    struct stat st {};
    if (!host || ::stat(host->c_str(), &st) != 0) {
        rStatus.m_szFullName[0] = '\0';
        return FALSE;
    }
    std::snprintf(rStatus.m_szFullName, sizeof rStatus.m_szFullName, "%s",
                  FullName(lpszFileName).c_str());
    rStatus.m_ctime = CTime(st.st_ctim.tv_sec);
    rStatus.m_mtime = CTime(st.st_mtim.tv_sec);
    rStatus.m_atime = CTime(st.st_atim.tv_sec);
    rStatus.m_size = static_cast<LONG>(S_ISDIR(st.st_mode) ? 0 : st.st_size);
    rStatus.m_attribute = static_cast<BYTE>(kst::detail::AttributesOf(st));
    rStatus.m_padding = 0;
    return TRUE;
}

void CFile::Remove(LPCTSTR lpszFileName) {
    if (!DeleteFileA(lpszFileName))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszFileName);
}

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName) {
    if (!MoveFileA(lpszOldName, lpszNewName))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszOldName);
}
