// The compatibility layer for host programs written in the framework's own idiom: its header
// names, the text macros of the ANSI build, diagnostics, exception macros, the system's names
// without the "A" suffix, and the runtime library's helpers. Opt in through the CMake target
// KstSystem::Compat or `pkg-config KstSystem-compat`; nothing here is seen by hosts that do not.
//
// Diagnostics follow the framework's two builds: with _DEBUG defined, ASSERT, VERIFY and
// ASSERT_VALID check and report (file and line, in a message box: Abort ends the program),
// TRACE writes to the debug listener, DEBUG_NEW records file and line; without it they vanish
// (VERIFY still evaluates its argument).
#pragma once

// Every class of the library is declared before the name mapping below, so that its members
// keep the names they were declared with.
#include "KstSystem.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#define KST_COMPAT 1

// ---- attributes and empty declarations of the framework ----
#define AFXAPI
#define AFX_CDECL
#define AFX_EXT_CLASS
#define AFX_CLASS_EXPORT
#define AFX_CLASS_IMPORT
#define AFX_DATA
#define AFX_EXT_DATA
#define WINAPI
#define CALLBACK
#define APIENTRY
#define afx_msg
#define UNUSED(x) (void)(x)
#define UNUSED_ALWAYS(x) (void)(x)

// ---- text of the ANSI build ----
#ifndef _T
#define _T(x) x
#endif
#define _TEXT(x) x
#define TEXT(x) x
typedef char _TCHAR;
typedef char _TSCHAR;
typedef unsigned char _TUCHAR;
typedef int _TINT;
#define _tmain main
#define _tcslen strlen
#define _tcscpy strcpy
#define _tcsncpy strncpy
#define _tcscat strcat
#define _tcsncat strncat
#define _tcscmp strcmp
#define _tcsncmp strncmp
#define _tcsicmp _stricmp
#define _tcsnicmp _strnicmp
#define _tcschr strchr
#define _tcsrchr strrchr
#define _tcsstr strstr
#define _tcspbrk strpbrk
#define _tcsspn strspn
#define _tcscspn strcspn
#define _tcstok strtok
#define _tcsdup _strdup
#define _tcsupr _strupr
#define _tcslwr _strlwr
#define _tcstol strtol
#define _tcstoul strtoul
#define _tcstod strtod
#define _ttoi atoi
#define _ttol atol
#define _tstoi atoi
#define _itot _itoa
#define _ltot _ltoa
#define _stprintf sprintf
#define _sntprintf _snprintf
#define _vstprintf vsprintf
#define _vsntprintf _vsnprintf
#define _tprintf printf
#define _ftprintf fprintf
#define _tfopen fopen
#define _fgetts fgets
#define _fputts fputs
#define _tgetenv getenv
#define _tsystem system
#define _tremove remove
#define _trename rename
#define _istdigit isdigit
#define _istspace isspace
#define _istalpha isalpha
#define _istalnum isalnum
#define _istupper isupper
#define _istlower islower
#define _totupper toupper
#define _totlower tolower
#define _tsplitpath _splitpath
#define _tmakepath _makepath

// ---- the runtime library's own spellings ----
inline int _stricmp(const char* a, const char* b) {
    return strcasecmp(a, b);
}
inline int _strnicmp(const char* a, const char* b, size_t n) {
    return strncasecmp(a, b, n);
}
inline int stricmp(const char* a, const char* b) {
    return strcasecmp(a, b);
}
inline char* _strdup(const char* text) {
    return strdup(text);
}
inline char* _strupr(char* text) {
    for (char* p = text; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    return text;
}
inline char* _strlwr(char* text) {
    for (char* p = text; *p; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    return text;
}
// The digits of value in radix 2 to 36 (a minus sign only for radix 10), as the runtime writes.
inline char* kst_compat_ultoa(unsigned long long value, char* buffer, int radix, bool negative) {
    char digits[72];
    int n = 0;
    do {
        int digit = static_cast<int>(value % unsigned(radix));
        digits[n++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= unsigned(radix);
    } while (value);
    char* out = buffer;
    if (negative) *out++ = '-';
    while (n) *out++ = digits[--n];
    *out = '\0';
    return buffer;
}
inline char* _itoa(int value, char* buffer, int radix) {
    bool negative = radix == 10 && value < 0;
    unsigned long long magnitude =
        negative ? 0ull - static_cast<long long>(value) : static_cast<unsigned>(value);
    return kst_compat_ultoa(magnitude, buffer, radix, negative);
}
inline char* _ltoa(long value, char* buffer, int radix) {
    bool negative = radix == 10 && value < 0;
    unsigned long long magnitude =
        negative ? 0ull - static_cast<long long>(value) : static_cast<unsigned long>(value);
    return kst_compat_ultoa(magnitude, buffer, radix, negative);
}
inline char* _ultoa(unsigned long value, char* buffer, int radix) {
    return kst_compat_ultoa(value, buffer, radix, false);
}
// The runtime's _snprintf: no zero when the text fills the buffer, -1 when it is cut.
inline int _vsnprintf(char* buffer, size_t count, const char* format, va_list args) {
    if (count == 0) return -1;
    int n = vsnprintf(buffer, count, format, args);
    if (n < 0) return -1;
    if (size_t(n) > count) return -1;
    return n;
}
inline int _snprintf(char* buffer, size_t count, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
inline int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = _vsnprintf(buffer, count, format, args);
    va_end(args);
    return n;
}

// ---- the system's memory, string and counter helpers ----
#define ZeroMemory(dest, length) memset((dest), 0, (length))
#define FillMemory(dest, length, fill) memset((dest), (fill), (length))
#define CopyMemory(dest, source, length) memcpy((dest), (source), (length))
#define MoveMemory(dest, source, length) memmove((dest), (source), (length))
#define SecureZeroMemory ZeroMemory

inline int lstrlenA(LPCSTR text) {
    return text ? static_cast<int>(strlen(text)) : 0;
}
inline LPSTR lstrcpyA(LPSTR dest, LPCSTR source) {
    return strcpy(dest, source);
}
// Copies at most maxLength - 1 characters and always ends with a zero.
inline LPSTR lstrcpynA(LPSTR dest, LPCSTR source, int maxLength) {
    if (maxLength <= 0) return dest;
    size_t n = strnlen(source, size_t(maxLength - 1));
    memcpy(dest, source, n);
    dest[n] = '\0';
    return dest;
}
inline LPSTR lstrcatA(LPSTR dest, LPCSTR source) {
    return strcat(dest, source);
}
// Compared as the multibyte runtime compares in the ANSI code page.
inline int lstrcmpA(LPCSTR a, LPCSTR b) {
    return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                   reinterpret_cast<const unsigned char*>(b));
}
inline int lstrcmpiA(LPCSTR a, LPCSTR b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                    reinterpret_cast<const unsigned char*>(b));
}
// The system's formatter writes at most 1024 characters.
inline int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
    int n = vsnprintf(buffer, 1025, format, args);
    return n < 0 ? n : (n > 1024 ? 1024 : n);
}
inline int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
inline int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    return n;
}

inline LONG InterlockedIncrement(volatile LONG* value) {
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(volatile LONG* value) {
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(volatile LONG* target, LONG value) {
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}

// ---- the system's names without the "A" suffix, as the ANSI build maps them ----
#define CharToOem CharToOemA
#define CharToOemBuff CharToOemBuffA
#define CopyFile CopyFileA
#define CreateDirectory CreateDirectoryA
#define CreateEvent CreateEventA
#define CreateFile CreateFileA
#define CreateMutex CreateMutexA
#define CreateSemaphore CreateSemaphoreA
#define DeleteFile DeleteFileA
#define FindFirstFile FindFirstFileA
#define FindNextFile FindNextFileA
#define FindResource FindResourceA
#define FormatMessage FormatMessageA
#define GetCommandLine GetCommandLineA
#define GetComputerName GetComputerNameA
#define GetCurrentDirectory GetCurrentDirectoryA
#define GetDriveType GetDriveTypeA
#define GetFileAttributes GetFileAttributesA
#define GetModuleFileName GetModuleFileNameA
#define GetModuleHandle GetModuleHandleA
#define GetPrivateProfileInt GetPrivateProfileIntA
#define GetPrivateProfileString GetPrivateProfileStringA
#define GetShortPathName GetShortPathNameA
#define GetTempFileName GetTempFileNameA
#define GetTempPath GetTempPathA
#define LoadLibrary LoadLibraryA
#define LoadString LoadStringA
#define MessageBox MessageBoxA
#define MoveFile MoveFileA
#define OemToChar OemToCharA
#define OemToCharBuff OemToCharBuffA
#define OutputDebugString OutputDebugStringA
#define PostMessage PostMessageA
#define RemoveDirectory RemoveDirectoryA
#define SHBrowseForFolder SHBrowseForFolderA
#define SHGetPathFromIDList SHGetPathFromIDListA
#define SendMessage SendMessageA
#define SendNotifyMessage SendNotifyMessageA
#define SetCurrentDirectory SetCurrentDirectoryA
#define WNetGetUniversalName WNetGetUniversalNameA
#define WaitNamedPipe WaitNamedPipeA
#define WritePrivateProfileString WritePrivateProfileStringA
#define lstrcat lstrcatA
#define lstrcmp lstrcmpA
#define lstrcmpi lstrcmpiA
#define lstrcpy lstrcpyA
#define lstrcpyn lstrcpynA
#define lstrlen lstrlenA
#define wsprintf wsprintfA
#define wvsprintf wvsprintfA

// ---- run-time types ----
inline CObject* AfxDynamicDownCast(CRuntimeClass* pClass, CObject* pObject) {
    return pObject && pObject->IsKindOf(pClass) ? pObject : nullptr;
}
#define DYNAMIC_DOWNCAST(class_name, object) \
    (static_cast<class_name*>(AfxDynamicDownCast(RUNTIME_CLASS(class_name), (object))))
#define STATIC_DOWNCAST(class_name, object) (static_cast<class_name*>(object))

// ---- exceptions: a caught exception is deleted at END_CATCH unless THROW_LAST passed it on ----
struct AFX_EXCEPTION_LINK {
    CException* m_pException = nullptr;
    AFX_EXCEPTION_LINK() = default;
    AFX_EXCEPTION_LINK(const AFX_EXCEPTION_LINK&) = delete;
    AFX_EXCEPTION_LINK& operator=(const AFX_EXCEPTION_LINK&) = delete;
    ~AFX_EXCEPTION_LINK() {
        if (m_pException) m_pException->Delete();
    }
};
#define TRY                                   \
    {                                         \
        AFX_EXCEPTION_LINK _afxExceptionLink; \
        try {
#define CATCH(class_name, e) \
    }                        \
    catch (class_name * e) { \
        _afxExceptionLink.m_pException = e;
#define AND_CATCH(class_name, e) \
    }                            \
    catch (class_name * e) {     \
        _afxExceptionLink.m_pException = e;
#define END_CATCH \
    }             \
    }
#define CATCH_ALL(e) CATCH(CException, e)
#define AND_CATCH_ALL(e) AND_CATCH(CException, e)
#define END_CATCH_ALL END_CATCH
#define END_TRY END_CATCH
#define THROW(e) throw e
#define THROW_LAST()                              \
    do {                                          \
        _afxExceptionLink.m_pException = nullptr; \
        throw;                                    \
    } while (0)

// ---- diagnostics ----
// Reports a failed assertion; answers TRUE when the program should stop in a debugger.
KST_API BOOL AfxAssertFailedLine(LPCSTR lpszFileName, int nLine);
KST_API void AfxAssertValidObject(const CObject* pOb, LPCSTR lpszFileName, int nLine);
KST_API void AfxTrace(LPCTSTR lpszFormat, ...) __attribute__((format(printf, 1, 2)));

#ifdef _DEBUG
#define THIS_FILE __FILE__
#define ASSERT(f)                                                               \
    do {                                                                        \
        if (!(f) && AfxAssertFailedLine(THIS_FILE, __LINE__)) __builtin_trap(); \
    } while (0)
#define VERIFY(f) ASSERT(f)
#define ASSERT_VALID(pOb) AfxAssertValidObject((pOb), THIS_FILE, __LINE__)
#define TRACE AfxTrace
#define TRACE0(sz) AfxTrace("%s", sz)
#define TRACE1(sz, p1) AfxTrace(sz, p1)
#define TRACE2(sz, p1, p2) AfxTrace(sz, p1, p2)
#define TRACE3(sz, p1, p2, p3) AfxTrace(sz, p1, p2, p3)
#define DEBUG_NEW new (THIS_FILE, __LINE__)
#define DEBUG_ONLY(f) (f)
#else
#define ASSERT(f) ((void)0)
#define VERIFY(f) ((void)(f))
#define ASSERT_VALID(pOb) ((void)0)
inline void AfxTraceNothing(...) {}
#define TRACE 1 ? (void)0 : AfxTraceNothing
#define TRACE0(sz) ((void)0)
#define TRACE1(sz, p1) ((void)0)
#define TRACE2(sz, p1, p2) ((void)0)
#define TRACE3(sz, p1, p2, p3) ((void)0)
#define DEBUG_NEW new
#define DEBUG_ONLY(f) ((void)0)
#endif
#define ASSERT_KINDOF(class_name, object) ASSERT((object)->IsKindOf(RUNTIME_CLASS(class_name)))

// The allocation forms DEBUG_NEW names; the file and line are for a leak report the platform
// does not make.
inline void* operator new(size_t size, LPCSTR, int) {
    return ::operator new(size);
}
inline void* operator new[](size_t size, LPCSTR, int) {
    return ::operator new[](size);
}
inline void operator delete(void* p, LPCSTR, int) noexcept {
    ::operator delete(p);
}
inline void operator delete[](void* p, LPCSTR, int) noexcept {
    ::operator delete[](p);
}
