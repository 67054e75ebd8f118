// Path and file helpers: splitting and building paths, temporary files and folders, folder
// trees, text files, drive types, the folder dialog and network (UNC) names.
#pragma once

#include "KstExport.h"
#include "KstString.h"
#include "KstWin32Ui.h"
#include "KstWinTypes.h"

// Every operation is static; the class holds no data.
class KST_API CFileService {
public:
    CFileService() {}
    CFileService(const CFileService&) {}
    CFileService& operator=(const CFileService&) { return *this; }
    virtual ~CFileService() {}

    // Splitting and building. Both `\` and `/` separate folders; a drive is "X:".
    static CString GetPath(const CString& path);       // parent folder (c:\a\b.txt: c:\a\)
    static CString GetName(const CString& path);       // b.txt
    static CString GetTitle(const CString& path);      // b
    static CString GetExt(const CString& path);        // .txt, or empty
    static CString GetDrive(const CString& path);      // c:, or empty
    static CString GetPathTitle(const CString& path);  // c:\a\b
    // The path with ext as its extension (the dot is optional); an empty ext removes it.
    static CString ChangeExt(const char* path, const char* ext);
    // As ChangeExt when the path has no extension, else the path as given.
    static CString DefaultExt(const char* path, const char* ext);
    // Appends a separator unless the path is empty or ends with one; `/` for a path that is
    // written with `/` only.
    static void AddBackSlash(CString& path);
    static int IsFileExist(const char* path);  // 1 for a file or a folder

    // Temporary files and folders; the caller removes them. Prefix: at most 3 characters are
    // used, "Kst" by default.
    static CString GetTempPathA();
    static CString CreateTempFileName(const CString* prefix = nullptr);  // "" on failure
    // The unique file's name without its extension, made a folder (an existing one is kept).
    // Throws CFileException* when that file cannot be removed, or was not made.
    static CString CreateTempPath(const CString* prefix = nullptr);
    static CString CreateTempPath(const char* prefix);

    // Creates a folder and the folders above it; true also when the path exists.
    static bool CreateFullPath(const CString& path);
    // Asks the user before creating a missing folder: 1 when the folder exists afterwards.
    static int CreatePathMsgBox(const CString& path);

    // Appends a text file's lines to text, joined by "\n"; 0 when it cannot be opened.
    static int LoadStdioFile(const CString& path, CString& text);
    // With stopAtText non-zero, stops after the first line that leaves text non-empty.
    static int LoadStdioFileLine(const CString& path, CString& text, int stopAtText);

    static int IsRemovable(const CString& path);

    // The folder dialog. folder: the start on entry, the chosen folder (with a trailing
    // separator) on return. chosenItem, when given, receives the chosen item list, which the
    // caller frees with CoTaskMemFree. 1: chosen, 0: cancelled.
    static int GetFolder(CString& folder, const CString& title, ITEMIDLIST** chosenItem = nullptr,
                         HWND owner = nullptr);
    // Limited to root and below. 0: chosen; 1: cancelled or no file-system path; otherwise the
    // failing shell result.
    static long GetFolder(CString& folder, const CString& root, const CString& start,
                          const CString& title, HWND owner = nullptr);
    // Limited to the caller's item list (null: everything); note start comes before root here.
    static long GetFolder(CString& folder, const CString& start, LPCITEMIDLIST root,
                          const CString& title, HWND owner = nullptr);

    // Replaces path by its network name (\\computer\share\rest): a path on a network mount,
    // or under a share of this computer. 0 when there is none; path is lower-cased then.
    // server: the computer whose shares are asked and whose name is used (null: this one).
    static int GetUNC(CString& path, int preferLongest = 1, int checkSecurity = 0,
                      const char* server = nullptr);

    // The folder of the running program, with a trailing separator.
    static CString GetModuleDir();
};
