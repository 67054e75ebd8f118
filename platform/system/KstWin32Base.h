// System interfaces shared by every service: the last error, handles and text conversion.
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

KST_API DWORD GetLastError();
KST_API void SetLastError(DWORD code);
KST_API BOOL CloseHandle(HANDLE handle);
// A second handle to the same object, within this process only (both process handles are
// GetCurrentProcess()); the access is always the source's. The pseudo handle of
// GetCurrentThread gives a real handle to the calling thread.
#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u
KST_API BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                             HANDLE* target, DWORD desiredAccess, BOOL inheritHandle,
                             DWORD options);

// Code pages: CP_ACP and CP_OEMCP name the current ANSI and OEM pages.
#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
KST_API UINT GetACP();
KST_API UINT GetOEMCP();
// As on the platform: a length of -1 includes the terminating zero; a size of 0 asks for
// the length needed.
KST_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                                int wideSize);
KST_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                                LPSTR text, int size, LPCSTR defaultChar, BOOL* usedDefault);
KST_API BOOL CharToOemA(LPCSTR source, LPSTR dest);
KST_API BOOL OemToCharA(LPCSTR source, LPSTR dest);
KST_API BOOL CharToOemBuffA(LPCSTR source, LPSTR dest, DWORD length);
KST_API BOOL OemToCharBuffA(LPCSTR source, LPSTR dest, DWORD length);
