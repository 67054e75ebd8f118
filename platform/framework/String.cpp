#include <algorithm>
#include <cstdio>
#include <cstring>

#include "KstString.h"
#include "internal/CodePage.h"
#include "internal/StringTable.h"

namespace {

size_t Len(const char* text) {
    return text ? strlen(text) : 0;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

int CompareBytes(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    int c = n ? memcmp(a.data(), b.data(), n) : 0;
    if (c) return Sign(c);
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Bytes that continue a UTF-8 sequence, so that reversal keeps characters whole.
bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string FromWide(const WCHAR* wide, size_t length) {
    if (!wide) return {};
    return kst::detail::FromUtf16(std::u16string_view(wide, length), CP_ACP);
}

}  // namespace

CString::CString(const char* text) : m_s(text ? text : "") {}
CString::CString(const unsigned char* text) : CString(reinterpret_cast<const char*>(text)) {}
CString::CString(const char* text, int length) {
    if (text && length > 0) m_s.assign(text, static_cast<size_t>(length));
}
CString::CString(char ch, int repeat) {
    if (repeat > 0) m_s.assign(static_cast<size_t>(repeat), ch);
}
CString::CString(const WCHAR* wide)
    : m_s(FromWide(wide, wide ? std::char_traits<WCHAR>::length(wide) : 0)) {}
CString::CString(const WCHAR* wide, int length)
    : m_s(length > 0 ? FromWide(wide, static_cast<size_t>(length)) : std::string()) {}

CString& CString::operator=(const char* text) {
    if (text) {
        m_s.assign(text);  // safe when text points into this string
    } else {
        m_s.clear();
    }
    return *this;
}
CString& CString::operator=(const unsigned char* text) {
    return *this = reinterpret_cast<const char*>(text);
}
CString& CString::operator=(char ch) {
    m_s.assign(1, ch);
    return *this;
}
CString& CString::operator=(const WCHAR* wide) {
    m_s = FromWide(wide, wide ? std::char_traits<WCHAR>::length(wide) : 0);
    return *this;
}

CString& CString::operator+=(const CString& text) {
    m_s += text.m_s;
    return *this;
}
CString& CString::operator+=(const char* text) {
    if (text) m_s.append(text);
    return *this;
}
CString& CString::operator+=(char ch) {
    m_s += ch;
    return *this;
}
CString& CString::operator+=(const WCHAR* wide) {
    return *this += CString(wide);
}

CString operator+(const CString& a, const CString& b) {
    std::string r;
    r.reserve(a.str().size() + b.str().size());
    r.append(a.str()).append(b.str());
    return CString(std::move(r));
}
CString operator+(const CString& a, const char* b) {
    CString r(a);
    return r += b;
}
CString operator+(const char* a, const CString& b) {
    CString r(a);
    return r += b;
}
CString operator+(const CString& a, char b) {
    CString r(a);
    return r += b;
}
CString operator+(char a, const CString& b) {
    CString r(a);
    return r += b;
}

int CString::Compare(const char* text) const {
    return CompareBytes(m_s.c_str(), text ? text : "");
}

int CString::CompareNoCase(const char* text) const {
    return kst::detail::FoldCompare(m_s.c_str(), text ? text : "");
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength() - std::max(first, 0));
}

CString CString::Mid(int first, int count) const {
    int length = GetLength();
    first = std::clamp(first, 0, length);
    count = std::clamp(count, 0, length - first);
    return CString(
        std::string_view(m_s).substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const {
    return Mid(0, count);
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

CString CString::SpanIncluding(const char* charSet) const {
    return Left(static_cast<int>(strspn(m_s.c_str(), charSet ? charSet : "")));
}

CString CString::SpanExcluding(const char* charSet) const {
    return Left(static_cast<int>(strcspn(m_s.c_str(), charSet ? charSet : "")));
}

void CString::MakeUpper() {
    kst::detail::ToUpper(m_s);
}
void CString::MakeLower() {
    kst::detail::ToLower(m_s);
}

void CString::MakeReverse() {
    std::reverse(m_s.begin(), m_s.end());
    if (kst::detail::AnsiCodePage() != CP_UTF8) return;
    // Reversed bytes put each character's lead byte last: turn every sequence back around.
    size_t i = 0;
    while (i < m_s.size()) {
        size_t start = i;
        while (i < m_s.size() && IsContinuation(m_s[i])) ++i;
        if (i < m_s.size() && i > start) {
            std::reverse(m_s.begin() + static_cast<long>(start),
                         m_s.begin() + static_cast<long>(i) + 1);
        }
        ++i;
    }
}

int CString::Replace(char oldCh, char newCh) {
    if (oldCh == newCh) return 0;
    int count = 0;
    for (char& c : m_s) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText) {
    size_t oldLength = Len(oldText);
    if (oldLength == 0) return 0;
    std::string_view replacement(newText ? newText : "");
    std::string result;
    int count = 0;
    size_t from = 0, at;
    while ((at = m_s.find(oldText, from, oldLength)) != std::string::npos) {
        result.append(m_s, from, at - from).append(replacement);
        from = at + oldLength;
        ++count;
    }
    if (count) {
        result.append(m_s, from, std::string::npos);
        m_s = std::move(result);
    }
    return count;
}

int CString::Remove(char ch) {
    size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return static_cast<int>(before - m_s.size());
}

int CString::Insert(int index, char ch) {
    index = std::clamp(index, 0, GetLength());
    m_s.insert(m_s.begin() + index, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text) {
    index = std::clamp(index, 0, GetLength());
    if (text) m_s.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CString::Delete(int index, int count) {
    index = std::max(index, 0);
    if (count > 0 && index < GetLength()) {
        m_s.erase(static_cast<size_t>(index),
                  static_cast<size_t>(std::min(count, GetLength() - index)));
    }
    return GetLength();
}

void CString::TrimLeft() {
    auto it = std::find_if_not(m_s.begin(), m_s.end(), IsWhite);
    m_s.erase(m_s.begin(), it);
}

void CString::TrimLeft(char target) {
    m_s.erase(0, m_s.find_first_not_of(target));
}

void CString::TrimLeft(const char* targets) {
    if (!targets || !*targets) return;
    m_s.erase(0, m_s.find_first_not_of(targets));
}

void CString::TrimRight() {
    auto it = std::find_if_not(m_s.rbegin(), m_s.rend(), IsWhite);
    m_s.erase(it.base(), m_s.end());
}

void CString::TrimRight(char target) {
    size_t last = m_s.find_last_not_of(target);
    m_s.erase(last == std::string::npos ? 0 : last + 1);
}

void CString::TrimRight(const char* targets) {
    if (!targets || !*targets) return;
    size_t last = m_s.find_last_not_of(targets);
    m_s.erase(last == std::string::npos ? 0 : last + 1);
}

// Searches stop at the first zero byte, as the runtime's string functions do.
int CString::Find(char ch, int start) const {
    const char* text = m_s.c_str();
    if (start < 0) start = 0;
    if (start >= static_cast<int>(Len(text)) || ch == '\0') return -1;
    const char* hit = strchr(text + start, ch);
    return hit ? static_cast<int>(hit - text) : -1;
}

int CString::Find(const char* sub, int start) const {
    const char* text = m_s.c_str();
    if (start < 0) start = 0;
    if (!sub || start > static_cast<int>(Len(text))) return -1;
    const char* hit = strstr(text + start, sub);
    return hit ? static_cast<int>(hit - text) : -1;
}

int CString::ReverseFind(char ch) const {
    const char* hit = strrchr(m_s.c_str(), ch);
    return hit && ch ? static_cast<int>(hit - m_s.c_str()) : -1;
}

int CString::FindOneOf(const char* charSet) const {
    const char* hit = strpbrk(m_s.c_str(), charSet ? charSet : "");
    return hit ? static_cast<int>(hit - m_s.c_str()) : -1;
}

void CString::FormatV(const char* format, va_list args) {
    if (!format) {
        m_s.clear();
        return;
    }
    char stackBuffer[512];
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
    va_end(copy);
    if (needed < 0) {
        m_s.clear();
    } else if (static_cast<size_t>(needed) < sizeof stackBuffer) {
        m_s.assign(stackBuffer, static_cast<size_t>(needed));
    } else {
        std::string text(static_cast<size_t>(needed) + 1, '\0');
        vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(needed));
        m_s = std::move(text);
    }
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void CString::Format(UINT formatId, ...) {
    std::string pattern;
    if (!kst::detail::LoadModuleString(formatId, pattern)) {
        m_s.clear();
        return;
    }
    va_list args;
    va_start(args, formatId);
    FormatV(pattern.c_str(), args);
    va_end(args);
}
#pragma GCC diagnostic pop

BOOL CString::LoadString(UINT id) {
    std::string text;
    if (!kst::detail::LoadModuleString(id, text)) return FALSE;
    m_s = std::move(text);
    return TRUE;
}

void CString::AnsiToOem() {
    m_s = kst::detail::Convert(m_s, CP_ACP, CP_OEMCP);
}
void CString::OemToAnsi() {
    m_s = kst::detail::Convert(m_s, CP_OEMCP, CP_ACP);
}

char* CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) m_s.resize(static_cast<size_t>(minLength));
    return m_s.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = static_cast<int>(strnlen(m_s.data(), m_s.size()));
    m_s.resize(static_cast<size_t>(std::min(newLength, GetLength())));
}

char* CString::GetBufferSetLength(int newLength) {
    m_s.resize(static_cast<size_t>(std::max(newLength, 0)));
    return m_s.data();
}

bool operator==(const CString& a, const CString& b) {
    return a.str() == b.str();
}
bool operator==(const CString& a, const char* b) {
    return a.Compare(b) == 0;
}
bool operator==(const char* a, const CString& b) {
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b) {
    return !(a == b);
}
bool operator!=(const CString& a, const char* b) {
    return !(a == b);
}
bool operator!=(const char* a, const CString& b) {
    return !(a == b);
}
bool operator<(const CString& a, const CString& b) {
    return CompareBytes(a.view(), b.view()) < 0;
}
bool operator<(const CString& a, const char* b) {
    return a.Compare(b) < 0;
}
bool operator>(const CString& a, const CString& b) {
    return b < a;
}
bool operator<=(const CString& a, const CString& b) {
    return !(b < a);
}
bool operator>=(const CString& a, const CString& b) {
    return !(a < b);
}

int _mbscmp(const unsigned char* a, const unsigned char* b) {
    return CompareBytes(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b));
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
    return kst::detail::FoldCompare(reinterpret_cast<const char*>(a),
                                    reinterpret_cast<const char*>(b));
}
