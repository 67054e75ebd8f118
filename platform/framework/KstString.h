// CString: the framework's 8-bit string with value semantics, in the ANSI code page.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "KstExport.h"
#include "KstWinTypes.h"

class KST_API CString {
public:
    CString() = default;
    CString(const CString& other) = default;
    CString(CString&& other) noexcept = default;
    CString(const char* text);  // NOLINT: implicit as in the framework
    CString(const unsigned char* text);
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(const WCHAR* wide);  // converted from UTF-16 to the ANSI code page
    CString(const WCHAR* wide, int length);
    explicit CString(std::string_view text) : m_s(text) {}
    explicit CString(std::string&& text) noexcept : m_s(std::move(text)) {}
    ~CString() = default;

    CString& operator=(const CString& other) = default;
    CString& operator=(CString&& other) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(const unsigned char* text);
    CString& operator=(char ch);
    CString& operator=(const WCHAR* wide);

    // Size and access.
    int GetLength() const { return static_cast<int>(m_s.size()); }
    BOOL IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int index) const { return m_s[static_cast<size_t>(index)]; }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { m_s[static_cast<size_t>(index)] = ch; }
    operator const char*() const { return m_s.c_str(); }  // NOLINT: implicit as in the framework
    const char* c_str() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }
    std::string_view view() const { return m_s; }

    // Concatenation.
    CString& operator+=(const CString& text);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    CString& operator+=(const WCHAR* wide);

    // Comparison: bytewise (the multibyte compare), or folding the letters of the ANSI code page.
    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;
    int Collate(const char* text) const { return Compare(text); }
    int CollateNoCase(const char* text) const { return CompareNoCase(text); }

    // Extraction; out-of-range arguments are clamped as the framework does.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* charSet) const;
    CString SpanExcluding(const char* charSet) const;

    // Changes in place.
    void MakeUpper();
    void MakeLower();
    void MakeReverse();
    int Replace(char oldCh, char newCh);
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);
    void TrimLeft();  // white space
    void TrimLeft(char target);
    void TrimLeft(const char* targets);
    void TrimRight();
    void TrimRight(char target);
    void TrimRight(const char* targets);
    void Trim() {
        TrimRight();
        TrimLeft();
    }

    // Searching; -1 when not found.
    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int start) const;
    int Find(const char* sub) const { return Find(sub, 0); }
    int Find(const char* sub, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* charSet) const;

    // Formatting: printf patterns, or a pattern taken from the string table.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Format(UINT formatId, ...);
    void FormatV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    BOOL LoadString(UINT id);
    // The name a program of the ANSI build reaches through the system's name mapping.
    BOOL LoadStringA(UINT id) { return LoadString(id); }

    // Code-page conversions of the whole string.
    void AnsiToOem();
    void OemToAnsi();

    // Direct access to the buffer: GetBuffer gives room for at least minLength characters
    // plus a terminating zero; ReleaseBuffer(-1) takes the length up to the first zero.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);
    char* GetBufferSetLength(int newLength);
    void FreeExtra() { m_s.shrink_to_fit(); }

private:
    std::string m_s;
};

KST_API CString operator+(const CString& a, const CString& b);
KST_API CString operator+(const CString& a, const char* b);
KST_API CString operator+(const char* a, const CString& b);
KST_API CString operator+(const CString& a, char b);
KST_API CString operator+(char a, const CString& b);

// Comparisons are bytewise, as the framework's operators are.
KST_API bool operator==(const CString& a, const CString& b);
KST_API bool operator==(const CString& a, const char* b);
KST_API bool operator==(const char* a, const CString& b);
KST_API bool operator!=(const CString& a, const CString& b);
KST_API bool operator!=(const CString& a, const char* b);
KST_API bool operator!=(const char* a, const CString& b);
KST_API bool operator<(const CString& a, const CString& b);
KST_API bool operator<(const CString& a, const char* b);
KST_API bool operator>(const CString& a, const CString& b);
KST_API bool operator<=(const CString& a, const CString& b);
KST_API bool operator>=(const CString& a, const CString& b);

// Multibyte string comparisons of the runtime library, in the ANSI code page.
KST_API int _mbscmp(const unsigned char* a, const unsigned char* b);
KST_API int _mbsicmp(const unsigned char* a, const unsigned char* b);

// The iSubString-th piece of a list separated by chSep; FALSE (and an empty string) past the end.
KST_API BOOL AfxExtractSubString(CString& rString, LPCTSTR lpszFullString, int iSubString,
                                 TCHAR chSep = '\n');
// The string-table text nIDS with "%1" (and "%2") replaced; an unknown id gives an empty string.
KST_API void AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1);
KST_API void AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2);
