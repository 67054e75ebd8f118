// CFileService: splitting and building paths, temporary names, text files, drive types and
// the program's folder.
#include <cstring>

#include "KstFile.h"
#include "KstFileService.h"
#include "KstWin32.h"
#include "internal/SharedPathHelpers.h"
#include "internal/PathParts.h"

using kst::files::JoinPath;
using kst::files::PathParts;
using kst::files::SplitPathParts;

namespace {

constexpr const char* kDefaultPrefix = "Kst";

PathParts Split(const char* path) {
    PathParts parts;
    SplitPathParts(path, parts);  // too long a path gives empty parts, so empty results
    return parts;
}

bool IsNetworkName(const CString& path) {
    return path.GetLength() >= 2 && (path[0] == '\\' || path[0] == '/') && path[0] == path[1];
}

// The nearest folder at or above a host path that exists, for asking about its device.
CString ExistingFolderOf(const CString& path) {
    CString folder = path;
    while (!folder.IsEmpty() && !IsDirExist(folder)) {
        CString parent = CFileService::GetPath(folder);
        if (parent == folder) break;
        folder = parent;
    }
    return folder;
}

}  // namespace

CString CFileService::GetPath(const CString& path) {
    char parent[MAX_PATH];
    GetParentDir(path, parent);
    return CString(parent);
}

CString CFileService::GetName(const CString& path) {
    PathParts parts = Split(path);
    return CString(parts.fname) + parts.ext;
}

CString CFileService::GetTitle(const CString& path) {
    return CString(Split(path).fname);
}

CString CFileService::GetExt(const CString& path) {
    return CString(Split(path).ext);
}

CString CFileService::GetDrive(const CString& path) {
    return CString(Split(path).drive);
}

CString CFileService::GetPathTitle(const CString& path) {
    PathParts parts;
    if (!SplitPathParts(path, parts)) return CString();
    return JoinPath(parts.drive, parts.dir, parts.fname, nullptr);
}

CString CFileService::ChangeExt(const char* path, const char* ext) {
    PathParts parts;
    if (!SplitPathParts(path, parts)) return CString();
    return JoinPath(parts.drive, parts.dir, parts.fname, ext);
}

CString CFileService::DefaultExt(const char* path, const char* ext) {
    PathParts parts;
    if (!SplitPathParts(path, parts)) return CString();
    if (parts.ext[0] == '\0') return ChangeExt(path, ext);
    return CString(path ? path : "");
}

void CFileService::AddBackSlash(CString& path) {
    if (!path.IsEmpty() && !kst::files::EndsWithSeparator(path))
        path += kst::files::SeparatorFor(path);
}

int CFileService::IsFileExist(const char* path) {
    return GetFileAttributesA(path ? path : "") != INVALID_FILE_ATTRIBUTES;
}

CString CFileService::GetTempPathA() {
    char folder[MAX_PATH];
    DWORD length = ::GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return CString();  // too long for the contract
    return CString(folder);
}

CString CFileService::CreateTempFileName(const CString* prefix) {
    CString folder = GetTempPathA();
    if (folder.IsEmpty()) return CString();
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder, prefix ? prefix->c_str() : kDefaultPrefix, 0, name))
        return CString();
    return CString(name);
}

CString CFileService::CreateTempPath(const CString* prefix) {
    return CreateTempPath(prefix ? prefix->c_str() : kDefaultPrefix);
}

CString CFileService::CreateTempPath(const char* prefix) {
    CString prefixText = prefix ? prefix : kDefaultPrefix;
    // The unique file reserves the number. Removing it raises the framework's exception when
    // it fails, also when no file could be made at all (an empty name).
    CString file = CreateTempFileName(&prefixText);
    CFile::Remove(file);
    CString folder = GetPathTitle(file);
    AddBackSlash(folder);
    // A folder of that name left from an earlier run is taken as it is.
    CreateDirTree(folder);
    return folder;
}

int CFileService::LoadStdioFile(const CString& path, CString& text) {
    return LoadStdioFileLine(path, text, 0);
}

int CFileService::LoadStdioFileLine(const CString& path, CString& text, int stopAtText) {
    CStdioFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, nullptr)) return 0;
    CString line;
    for (bool first = true; file.ReadString(line); first = false) {
        if (!first) text += "\n";
        text += line;
        if (stopAtText && !text.IsEmpty()) break;
    }
    file.Close();
    return 1;
}

int CFileService::IsRemovable(const CString& path) {
    CString drive = GetDrive(path);
    if (!drive.IsEmpty()) return GetDriveTypeA(drive) == DRIVE_REMOVABLE;
    // A host path: the device under the nearest existing folder decides.
    if (path.IsEmpty() || IsNetworkName(path)) return 0;
    CString folder = ExistingFolderOf(path);
    return !folder.IsEmpty() && GetDriveTypeA(folder) == DRIVE_REMOVABLE;
}

CString CFileService::GetModuleDir() {
    char module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return CString();
    CString folder = GetPath(module);
    AddBackSlash(folder);
    return folder;
}
