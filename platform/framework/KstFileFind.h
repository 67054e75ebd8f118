// CFileFind: the framework's walk over the files a wildcard pattern names, on FindFirstFileA.
#pragma once

#include "KstExport.h"
#include "KstObject.h"
#include "KstString.h"
#include "KstTime.h"
#include "KstWin32Files.h"

class KST_API CFileFind : public CObject {
    DECLARE_DYNAMIC(CFileFind)
public:
    CFileFind() = default;
    ~CFileFind() override;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search; a null name means "*.*" in the current folder. FALSE when nothing matches
    // (the last error says why). Call FindNextFile before asking for the first file.
    virtual BOOL FindFile(LPCTSTR pstrName = nullptr, DWORD dwUnused = 0);
    // Steps to the next file; FALSE when that file is the last one (it can still be asked for).
    virtual BOOL FindNextFile();
    // The name a program of the ANSI build reaches through the system's name mapping.
    BOOL FindNextFileA() { return FindNextFile(); }
    void Close();

    CString GetFileName() const;
    CString GetFilePath() const;   // the root and the file name
    CString GetFileTitle() const;  // the file name without its extension
    CString GetRoot() const { return m_strRoot; }
    ULONGLONG GetLength() const;
    BOOL GetLastWriteTime(CTime& refTime) const;
    BOOL GetCreationTime(CTime& refTime) const;
    BOOL GetLastAccessTime(CTime& refTime) const;

    BOOL MatchesMask(DWORD dwMask) const;
    BOOL IsDots() const;  // "." or ".."
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    BOOL IsReadOnly() const { return MatchesMask(FILE_ATTRIBUTE_READONLY); }
    BOOL IsHidden() const { return MatchesMask(FILE_ATTRIBUTE_HIDDEN); }
    BOOL IsSystem() const { return MatchesMask(FILE_ATTRIBUTE_SYSTEM); }
    BOOL IsArchived() const { return MatchesMask(FILE_ATTRIBUTE_ARCHIVE); }
    BOOL IsNormal() const { return MatchesMask(FILE_ATTRIBUTE_NORMAL); }

protected:
    HANDLE m_hContext = nullptr;
    BOOL m_bHaveFound = FALSE;  // FindNextFile has made m_found the current file
    BOOL m_bHaveNext = FALSE;   // m_next holds a file not yet stepped to
    WIN32_FIND_DATAA m_found{};
    WIN32_FIND_DATAA m_next{};
    CString m_strRoot;  // the pattern's folder as given, with its separator
};
