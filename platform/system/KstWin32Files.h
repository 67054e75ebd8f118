// System interfaces for files, folders, devices and named pipes. Paths may use `\` or `/`
// and drive letters of the drive table (kst::MapDrive); see KstPlatform.h.
#pragma once

#include "KstExport.h"
#include "KstWin32Time.h"
#include "KstWinTypes.h"

// Access rights, sharing and creation dispositions of CreateFileA.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

// File attributes and flags.
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define SECURITY_ANONYMOUS 0x00000000u
#define SECURITY_IDENTIFICATION 0x00010000u
#define SECURITY_IMPERSONATION 0x00020000u
#define SECURITY_DELEGATION 0x00030000u
#define SECURITY_CONTEXT_TRACKING 0x00040000u
#define SECURITY_EFFECTIVE_ONLY 0x00080000u
#define SECURITY_SQOS_PRESENT 0x00100000u

// Seek origins of SetFilePointer.
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

// Drive types of GetDriveTypeA (the values of kst::DriveType).
#define DRIVE_UNKNOWN 0u
#define DRIVE_NO_ROOT_DIR 1u
#define DRIVE_REMOVABLE 2u
#define DRIVE_FIXED 3u
#define DRIVE_REMOTE 4u
#define DRIVE_CDROM 5u
#define DRIVE_RAMDISK 6u

// WaitNamedPipeA time-outs.
#define NMPWAIT_USE_DEFAULT_WAIT 0x00000000u
#define NMPWAIT_WAIT_FOREVER 0xFFFFFFFFu

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Only the offset fields matter here: they give the position of a read or write on a
// synchronous handle, which then does not move the handle's file pointer.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

// Handles and data.
KST_API HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                           LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                           DWORD flagsAndAttributes, HANDLE templateFile);
KST_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                      LPOVERLAPPED overlapped);
KST_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                       LPOVERLAPPED overlapped);
KST_API DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
KST_API DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
KST_API BOOL SetEndOfFile(HANDLE file);
KST_API BOOL FlushFileBuffers(HANDLE file);

namespace kst {
// Copies up to length bytes from the source's position to the target's, advancing both: inside
// the kernel when both stand at the same offset within a page, else through a large buffer; *copied
// is short of length only where the source ends. On failure the last error tells why
// (ERROR_DISK_FULL when the target is full) and *copied what was written.
KST_API BOOL CopyFileData(HANDLE source, HANDLE target, ULONGLONG length, ULONGLONG* copied);

// Which file a name (through symbolic links) or an open handle stands for: equal for every
// name of one file, hard links included. FALSE with the last error set when there is none.
struct FileIdentity {
    ULONGLONG device = 0;
    ULONGLONG index = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && index == other.index;
    }
};
KST_API BOOL GetFileIdentity(LPCSTR fileName, FileIdentity* identity);
KST_API BOOL GetFileIdentity(HANDLE file, FileIdentity* identity);
}  // namespace kst

// Devices. "\\.\X:" opens the raw device of a drive of the drive table; its reads fail with
// ERROR_CRC on sectors marked bad (kst::SetBadSectors). "\\.\vwin32" opens the older family's
// disk service, whose control code VWIN32_DIOC_DOS_INT13 reads one diskette sector of drive
// A: (DL 0) or B: (DL 1) into the address in reg_EBX.
#define VWIN32_DIOC_DOS_IOCTL 1u
#define VWIN32_DIOC_DOS_INT25 2u
#define VWIN32_DIOC_DOS_INT26 3u
#define VWIN32_DIOC_DOS_INT13 4u
// The registers are pointer-wide here so that reg_EBX can carry a 64-bit buffer address;
// pass sizeof(DIOC_REGISTERS) as the buffer sizes.
struct DIOC_REGISTERS {
    DWORD_PTR reg_EBX;
    DWORD_PTR reg_EDX;
    DWORD_PTR reg_ECX;
    DWORD_PTR reg_EAX;
    DWORD_PTR reg_EDI;
    DWORD_PTR reg_ESI;
    DWORD_PTR reg_Flags;
};
KST_API BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                             LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                             LPOVERLAPPED overlapped);

// Files and folders.
KST_API DWORD GetFileAttributesA(LPCSTR fileName);
KST_API BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);
KST_API BOOL RemoveDirectoryA(LPCSTR pathName);
KST_API BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
KST_API BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName);
KST_API BOOL DeleteFileA(LPCSTR fileName);

// Folder listings; the pattern's last component may hold * and ?.
KST_API HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
KST_API BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData);
KST_API BOOL FindClose(HANDLE find);

// Temporary files: the system's temporary folder ($TMPDIR or /tmp, with a trailing
// separator) and unique names folder + prefix[0..3] + hex number + ".tmp".
KST_API DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
KST_API UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique,
                              LPSTR tempFileName);

KST_API DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferLength);
KST_API UINT GetDriveTypeA(LPCSTR rootPathName);
// A null module names the executable; a module handle of LoadLibraryA, or any address inside
// a loaded object (such as the library's own instance handle), names that object's file.
KST_API DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

KST_API BOOL WaitNamedPipeA(LPCSTR namedPipeName, DWORD timeOut);

// The runtime library's path split and join: `\` and `/` both separate folders, a drive is
// a letter and a colon. Null outputs are skipped.
KST_API void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
// The runtime's make-directory call: 0, or -1 with errno as the runtime sets it.
KST_API int _mkdir(const char* path);
KST_API void _makepath(char* path, const char* drive, const char* dir, const char* fname,
                       const char* ext);
