// System interfaces for the process's identity and security, run-time library loading,
// resources, system message texts, local memory and network names.
#pragma once

#include <cstdarg>

#include "KstExport.h"
#include "KstWinTypes.h"

typedef HANDLE* PHANDLE;

// Identity and system family.
#define MAX_COMPUTERNAME_LENGTH 15
KST_API DWORD GetCurrentProcessId();
KST_API BOOL IsDebuggerPresent();
// Capacity in characters on entry; on success the length without the zero. Too small a
// capacity fails with ERROR_BUFFER_OVERFLOW and answers the size needed, zero included.
KST_API BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
// Low byte the major version, next byte the minor; the high bit is set for the older family.
KST_API DWORD GetVersion();

// Run-time library loading. "netapi32.dll" and "svrapi.dll" are built in: they offer
// NetShareEnum (levels 502 and 50) and NetApiBufferFree over this computer's shares.
KST_API HMODULE LoadLibraryA(LPCSTR fileName);
KST_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
KST_API BOOL FreeLibrary(HMODULE module);
// Null names the program itself; a name finds a shared object already loaded (case-blind, with
// or without its extension). The handle serves GetModuleFileNameA; it holds no load count.
KST_API HMODULE GetModuleHandleA(LPCSTR moduleName);

// The process: its command line (arguments with blanks quoted), the milliseconds since an
// arbitrary start, and its current folder (a drive letter goes through the drive table).
KST_API LPSTR GetCommandLineA();
KST_API DWORD GetTickCount();
// The length without the zero; too small a buffer answers the size needed, zero included.
KST_API DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
KST_API BOOL SetCurrentDirectoryA(LPCSTR pathName);

// Security: tokens and impersonation succeed and change nothing but this thread's record of
// whether it impersonates, which decides whether OpenThreadToken finds a token.
typedef void* PSECURITY_DESCRIPTOR;
typedef void* PSID;
typedef void* PACL;
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
};
#define SECURITY_DESCRIPTOR_REVISION 1
enum SECURITY_IMPERSONATION_LEVEL {
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation
};
#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u
KST_API BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);
KST_API HANDLE GetCurrentThread();  // a pseudo handle (defined with the threads)
KST_API HANDLE GetCurrentProcess();
KST_API BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, PHANDLE token);
KST_API BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level);
KST_API BOOL RevertToSelf();
KST_API BOOL SetThreadToken(PHANDLE thread, HANDLE token);

// Resources: the host's registered resources (kst::RegisterResource) and the module's string
// table. Names and types are texts or MAKEINTRESOURCE numbers ("#12" is the number 12).
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_RCDATA MAKEINTRESOURCEA(10)
KST_API HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
KST_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
KST_API LPVOID LockResource(HGLOBAL resourceData);
KST_API DWORD SizeofResource(HMODULE module, HRSRC resource);
KST_API int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

// System message texts (English) for the codes this layer produces; other codes fail with
// ERROR_MR_MID_NOT_FOUND.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
KST_API DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                             LPSTR buffer, DWORD size, va_list* arguments);

// Local memory.
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
KST_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
KST_API HLOCAL LocalFree(HLOCAL memory);

// Network names: a path on an SMB mount (cifs, smb3) gives \\server\share\rest.
#define UNIVERSAL_NAME_INFO_LEVEL 0x00000001u
#define REMOTE_NAME_INFO_LEVEL 0x00000002u
struct UNIVERSAL_NAME_INFOA {
    LPSTR lpUniversalName;
};
typedef UNIVERSAL_NAME_INFOA* LPUNIVERSAL_NAME_INFOA;
// NO_ERROR; ERROR_NOT_CONNECTED for a path that is not on the network; ERROR_MORE_DATA with
// the size needed in *bufferSize when the buffer is too small.
KST_API DWORD WNetGetUniversalNameA(LPCSTR localPath, DWORD infoLevel, LPVOID buffer,
                                    LPDWORD bufferSize);

// Share enumeration, reached through GetProcAddress in "netapi32.dll" (NT family, level 502)
// and "svrapi.dll" (older family, level 50).
typedef DWORD NET_API_STATUS;
typedef WCHAR* LMSTR;
#define MAX_PREFERRED_LENGTH ((DWORD)-1)
#define STYPE_DISKTREE 0u
#define STYPE_PRINTQ 1u
#define STYPE_IPC 3u
#define LM20_NNLEN 12
#define SHPWLEN 8
struct SHARE_INFO_502 {
    LMSTR shi502_netname;
    DWORD shi502_type;
    LMSTR shi502_remark;
    DWORD shi502_permissions;
    DWORD shi502_max_uses;
    DWORD shi502_current_uses;
    LMSTR shi502_path;
    LMSTR shi502_passwd;
    DWORD shi502_reserved;
    PSECURITY_DESCRIPTOR shi502_security_descriptor;
};
typedef SHARE_INFO_502* PSHARE_INFO_502;
// The older family's record. Its pointers are 64-bit here, so size buffers with
// sizeof(share_info_50); the texts they point to live outside the caller's buffer, valid until
// the next enumeration of the thread.
struct share_info_50 {
    char shi50_netname[LM20_NNLEN + 1];
    unsigned char shi50_type;
    unsigned short shi50_flags;
    char* shi50_remark;
    char* shi50_path;
    char shi50_rw_password[SHPWLEN + 1];
    char shi50_ro_password[SHPWLEN + 1];
};
// netapi32.dll: the buffer is allocated by the call and freed with NetApiBufferFree.
typedef NET_API_STATUS (*PFN_NetShareEnum)(LMSTR serverName, DWORD level, LPBYTE* buffer,
                                           DWORD prefMaxLen, LPDWORD entriesRead,
                                           LPDWORD totalEntries, LPDWORD resumeHandle);
typedef NET_API_STATUS (*PFN_NetApiBufferFree)(LPVOID buffer);
// svrapi.dll: the caller's buffer; with too small a buffer ERROR_MORE_DATA and the number of
// shares available.
typedef unsigned (*PFN_NetShareEnum50)(const char* serverName, short level, char* buffer,
                                       unsigned short bufferSize, unsigned short* entriesRead,
                                       unsigned short* totalAvailable);
