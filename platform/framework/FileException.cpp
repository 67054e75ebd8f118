// CFileException: the framework's causes of file failures and their system codes.
#include <algorithm>
#include <cstring>
#include <string>

#include "KstFile.h"

IMPLEMENT_DYNAMIC(CFileException, CException)

CFileException::CFileException(int cause, LONG lOsError, LPCTSTR lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName ? lpszFileName : "") {}

namespace {

struct CauseOfCode {
    LONG code;
    int cause;
};

constexpr CauseOfCode kCauses[] = {
    {ERROR_SUCCESS, CFileException::none},
    {ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
    {ERROR_PATH_NOT_FOUND, CFileException::badPath},
    {ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
    {ERROR_ACCESS_DENIED, CFileException::accessDenied},
    {ERROR_INVALID_HANDLE, CFileException::fileNotFound},
    {ERROR_INVALID_DRIVE, CFileException::badPath},
    {ERROR_NO_MORE_FILES, CFileException::fileNotFound},
    {ERROR_WRITE_PROTECT, CFileException::accessDenied},
    {ERROR_NOT_READY, CFileException::hardIO},
    {ERROR_CRC, CFileException::hardIO},
    {ERROR_SEEK, CFileException::badSeek},
    {ERROR_SECTOR_NOT_FOUND, CFileException::badSeek},
    {ERROR_WRITE_FAULT, CFileException::accessDenied},
    {ERROR_READ_FAULT, CFileException::badSeek},
    {ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
    {ERROR_LOCK_VIOLATION, CFileException::lockViolation},
    {ERROR_HANDLE_EOF, CFileException::endOfFile},
    {ERROR_HANDLE_DISK_FULL, CFileException::diskFull},
    {ERROR_BAD_NETPATH, CFileException::badPath},
    {ERROR_NETWORK_ACCESS_DENIED, CFileException::accessDenied},
    {ERROR_BAD_NET_NAME, CFileException::badPath},
    {ERROR_FILE_EXISTS, CFileException::accessDenied},
    {ERROR_CANNOT_MAKE, CFileException::accessDenied},
    {ERROR_BUFFER_OVERFLOW, CFileException::badPath},
    {ERROR_DISK_FULL, CFileException::diskFull},
    {ERROR_INVALID_NAME, CFileException::badPath},
    {ERROR_INVALID_LEVEL, CFileException::badPath},
    {ERROR_NEGATIVE_SEEK, CFileException::badSeek},
    {ERROR_DIR_NOT_EMPTY, CFileException::removeCurrentDir},
    {ERROR_BAD_PATHNAME, CFileException::badPath},
    {ERROR_BUSY, CFileException::accessDenied},
    {ERROR_ALREADY_EXISTS, CFileException::accessDenied},
    {ERROR_FILENAME_EXCED_RANGE, CFileException::badPath},
    {ERROR_DIRECTORY, CFileException::badPath},
};

const char* CauseText(int cause) {
    switch (cause) {
        case CFileException::none:
            return "No error occurred";
        case CFileException::fileNotFound:
            return "The file was not found";
        case CFileException::badPath:
            return "All or part of the path is invalid";
        case CFileException::tooManyOpenFiles:
            return "Too many files are open";
        case CFileException::accessDenied:
            return "Access to the file was denied";
        case CFileException::invalidFile:
            return "An invalid file handle was used";
        case CFileException::removeCurrentDir:
            return "The folder could not be removed";
        case CFileException::directoryFull:
            return "The folder is full";
        case CFileException::badSeek:
            return "The file pointer could not be set";
        case CFileException::hardIO:
            return "A hardware error occurred";
        case CFileException::sharingViolation:
            return "A sharing violation occurred";
        case CFileException::lockViolation:
            return "A locked region was accessed";
        case CFileException::diskFull:
            return "The disk is full";
        case CFileException::endOfFile:
            return "The end of the file was reached";
        default:
            return "An unexpected error occurred while accessing the file";
    }
}

}  // namespace

int CFileException::OsErrorToException(LONG lOsError) {
    for (const auto& entry : kCauses)
        if (entry.code == lOsError) return entry.cause;
    return genericException;
}

void CFileException::ThrowOsError(LONG lOsError, LPCTSTR lpszFileName) {
    if (lOsError != 0) AfxThrowFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
    AfxThrowFileException(genericException, lOsError, lpszFileName);
}

BOOL CFileException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    if (!lpszError || nMaxError == 0) return FALSE;
    std::string text = CauseText(m_cause);
    if (!m_strFileName.IsEmpty()) text += " (" + m_strFileName.str() + ")";
    text += ".";
    size_t n = std::min<size_t>(text.size(), nMaxError - 1);
    std::memcpy(lpszError, text.data(), n);
    lpszError[n] = '\0';
    return TRUE;
}

void AfxThrowFileException(int cause, LONG lOsError, LPCTSTR lpszFileName) {
    throw new CFileException(cause, lOsError, lpszFileName);
}
