#include "internal/CodePage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "KstPlatform.h"
#include "KstWin32Base.h"

namespace kst::detail {
namespace {

// ---- the pages in force -------------------------------------------------------------------

struct LocalePages {
    unsigned ansi;
    unsigned oem;
};

unsigned PageFromCodeset(std::string codeset) {
    for (char& c : codeset) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (codeset == "UTF-8" || codeset == "UTF8") return 65001;
    if (codeset == "ANSI_X3.4-1968" || codeset.empty()) return 65001;  // the C locale
    if (codeset.rfind("CP", 0) == 0) return static_cast<unsigned>(atoi(codeset.c_str() + 2));
    if (codeset == "KOI8-R") return 20866;
    if (codeset == "KOI8-U") return 21866;
    if (codeset == "ISO-8859-1") return 1252;
    if (codeset == "ISO-8859-5") return 28595;
    if (codeset.rfind("ISO-8859-", 0) == 0)
        return 28590 + static_cast<unsigned>(atoi(codeset.c_str() + 9));
    return 65001;
}

// The locale name a category takes from the environment, by the usual precedence.
std::string LocaleNameFor(const char* category) {
    for (const char* variable : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

// Pages from locale names alone (language_TERRITORY.codeset@modifier), for a locale that is
// named but not installed: the user still asked for its language and codeset.
LocalePages PagesFromLocaleNames(const std::string& ctype, const std::string& identification) {
    LocalePages pages{65001, 437};
    std::string codeset = ctype.substr(0, ctype.find('@'));
    auto dot = codeset.find('.');
    if (dot != std::string::npos) pages.ansi = PageFromCodeset(codeset.substr(dot + 1));
    std::string language = identification.substr(0, identification.find_first_of("_.@"));
    if (language == "ru") pages.oem = 866;
    return pages;
}

// The system's locale as the process environment sets it, read without touching the
// process's own locale (that is the host's): the codeset gives the ANSI page, a Russian
// locale the OEM page 866.
LocalePages PagesFromLocale() {
    LocalePages pages{65001, 437};
    locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc)
        return PagesFromLocaleNames(LocaleNameFor("LC_CTYPE"), LocaleNameFor("LC_IDENTIFICATION"));
    pages.ansi = PageFromCodeset(nl_langinfo_l(CODESET, loc));
    const char* language = nl_langinfo_l(_NL_IDENTIFICATION_LANGUAGE, loc);
    if (language && strcmp(language, "Russian") == 0) pages.oem = 866;
    freelocale(loc);
    return pages;
}

std::atomic<unsigned> g_ansi{0};
std::atomic<unsigned> g_oem{0};
std::once_flag g_pagesOnce;

void EnsurePages() {
    std::call_once(g_pagesOnce, [] {
        LocalePages pages = PagesFromLocale();
        unsigned none = 0;
        g_ansi.compare_exchange_strong(none, pages.ansi);
        none = 0;
        g_oem.compare_exchange_strong(none, pages.oem);
    });
}

// ---- iconv ---------------------------------------------------------------------------------

std::string IconvName(unsigned page) {
    switch (page) {
        case 65001:
            return "UTF-8";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 28591:
            return "ISO-8859-1";
        case 28595:
            return "ISO-8859-5";
        case 1200:
            return "UTF-16LE";
        default:
            if (page > 28590 && page < 28600) return "ISO-8859-" + std::to_string(page - 28590);
            return "CP" + std::to_string(page);
    }
}

// iconv descriptors are not thread-safe; each thread keeps its own.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (Valid()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return m_cd;
    }

private:
    iconv_t m_cd;
};

Converter& ConverterFor(unsigned toPage, unsigned fromPage) {
    thread_local std::map<std::pair<unsigned, unsigned>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{toPage, fromPage}];
    if (!slot) slot = std::make_unique<Converter>(IconvName(toPage), IconvName(fromPage));
    return *slot;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// Runs iconv over the whole input; invalid input units are replaced and skipped.
std::string RunIconv(unsigned toPage, unsigned fromPage, std::string_view input, size_t unitSize,
                     std::string_view replacement) {
    Converter& conv = ConverterFor(toPage, fromPage);
    std::string out;
    if (!conv.Valid()) return out;
    iconv_t cd = conv.Get();
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    out.resize(input.size() * 2 + 16);
    size_t used = 0;
    while (inLeft > 0) {
        if (out.size() - used < 16) out.resize(out.size() * 2);
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {  // EILSEQ or EINVAL: replace one input unit
            size_t skip = std::min(unitSize, inLeft);
            // a UTF-16 surrogate pair is one character
            if (unitSize == 2 && inLeft >= 4) {
                unsigned unit =
                    static_cast<unsigned char>(in[0]) | (static_cast<unsigned char>(in[1]) << 8);
                if (unit >= 0xD800 && unit < 0xDC00) skip = 4;
            }
            in += skip;
            inLeft -= skip;
            if (out.size() - used < replacement.size())
                out.resize(out.size() * 2 + replacement.size());
            memcpy(out.data() + used, replacement.data(), replacement.size());
            used += replacement.size();
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    // flush any shift state
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    used = out.size() - dstLeft;
    out.resize(used);
    return out;
}

// ---- case folding --------------------------------------------------------------------------

// Simple case mapping for the scripts the ANSI and OEM pages hold: Latin, Greek, Cyrillic.
char32_t LowerOf(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c | 1;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c + 1 : c;
    if (c == 0x4C0) return 0x4CF;
    return c;
}

char32_t UpperOf(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c & ~char32_t{1};
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : c - 1;
    if (c == 0x4CF) return 0x4C0;
    return c;
}

// A single-byte page's folding, computed once per page through its Unicode mapping.
struct FoldTables {
    std::array<unsigned char, 256> lower;
    std::array<unsigned char, 256> upper;
};

char32_t ByteToCodePoint(unsigned page, unsigned char byte) {
    char in = static_cast<char>(byte);
    std::u16string wide = ToUtf16(std::string_view(&in, 1), page);
    return wide.size() == 1 ? wide[0] : 0xFFFD;
}

int CodePointToByte(unsigned page, char32_t cp) {
    std::u16string wide(1, static_cast<char16_t>(cp));
    std::string narrow = RunIconv(
        page, 1200, std::string_view(reinterpret_cast<const char*>(wide.data()), 2), 2, "");
    return narrow.size() == 1 ? static_cast<unsigned char>(narrow[0]) : -1;
}

FoldTables BuildFoldTables(unsigned page) {
    FoldTables t{};
    for (int b = 0; b < 256; ++b) {
        t.lower[b] = static_cast<unsigned char>(b);
        t.upper[b] = static_cast<unsigned char>(b);
    }
    for (int b = 'A'; b <= 'Z'; ++b) t.lower[b] = static_cast<unsigned char>(b + 32);
    for (int b = 'a'; b <= 'z'; ++b) t.upper[b] = static_cast<unsigned char>(b - 32);
    for (int b = 0x80; b < 256; ++b) {
        char32_t cp = ByteToCodePoint(page, static_cast<unsigned char>(b));
        if (cp == 0xFFFD) continue;
        char32_t lo = LowerOf(cp), up = UpperOf(cp);
        if (lo != cp) {
            int mapped = CodePointToByte(page, lo);
            if (mapped >= 0) t.lower[b] = static_cast<unsigned char>(mapped);
        }
        if (up != cp) {
            int mapped = CodePointToByte(page, up);
            if (mapped >= 0) t.upper[b] = static_cast<unsigned char>(mapped);
        }
    }
    return t;
}

const FoldTables& FoldTablesFor(unsigned page) {
    static std::mutex mutex;
    static std::map<unsigned, std::unique_ptr<FoldTables>> tables;
    std::lock_guard lock(mutex);
    auto& slot = tables[page];
    if (!slot) slot = std::make_unique<FoldTables>(BuildFoldTables(page));
    return *slot;
}

// UTF-8 decoding that never fails: a byte that starts no valid sequence stands for itself
// (mapped above the Unicode range so it cannot equal a real character).
char32_t DecodeUtf8(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    auto invalid = [&] {
        ++i;
        return static_cast<char32_t>(0x110000 + c);
    };
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len = (c >= 0xF0 && c < 0xF5) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC2 && c < 0xE0) ? 2 : 0;
    if (len == 0 || c >= 0xF5 || i + len > s.size()) return invalid();
    char32_t cp = c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return invalid();
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += len;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <class Map>
void MapUtf8(std::string& text, Map map) {
    if (IsAscii(text)) {
        for (char& c : text) c = static_cast<char>(map(static_cast<unsigned char>(c)));
        return;
    }
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        char32_t cp = DecodeUtf8(text, i);
        if (cp >= 0x110000) {
            out.append(text, start, i - start);
        } else {
            AppendUtf8(out, map(cp));
        }
    }
    text = std::move(out);
}

}  // namespace

unsigned AnsiCodePage() {
    EnsurePages();
    return g_ansi.load(std::memory_order_relaxed);
}

unsigned OemCodePage() {
    EnsurePages();
    return g_oem.load(std::memory_order_relaxed);
}

unsigned ResolveCodePage(unsigned codePage) {
    if (codePage == CP_ACP) return AnsiCodePage();
    if (codePage == CP_OEMCP) return OemCodePage();
    return codePage;
}

std::u16string ToUtf16(std::string_view text, unsigned codePage) {
    codePage = ResolveCodePage(codePage);
    if (IsAscii(text)) return std::u16string(text.begin(), text.end());
    const char16_t fffd = 0xFFFD;
    std::string bytes = RunIconv(1200, codePage, text, 1,
                                 std::string_view(reinterpret_cast<const char*>(&fffd), 2));
    std::u16string out(bytes.size() / 2, u'\0');
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string FromUtf16(std::u16string_view text, unsigned codePage) {
    codePage = ResolveCodePage(codePage);
    bool ascii = true;
    for (char16_t c : text)
        if (c >= 0x80) ascii = false;
    if (ascii) return std::string(text.begin(), text.end());
    return RunIconv(codePage, 1200,
                    std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2),
                    2, "?");
}

std::string Convert(std::string_view text, unsigned fromPage, unsigned toPage) {
    fromPage = ResolveCodePage(fromPage);
    toPage = ResolveCodePage(toPage);
    if (fromPage == toPage || IsAscii(text)) return std::string(text);
    return FromUtf16(ToUtf16(text, fromPage), toPage);
}

std::string FromUtf8ToAnsi(std::string_view utf8) {
    return Convert(utf8, 65001, AnsiCodePage());
}

int FoldCompare(std::string_view a, std::string_view b) {
    unsigned page = AnsiCodePage();
    if (page == 65001) {
        size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            char32_t ca = LowerOf(DecodeUtf8(a, i));
            char32_t cb = LowerOf(DecodeUtf8(b, j));
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        if (i < a.size()) return 1;
        if (j < b.size()) return -1;
        return 0;
    }
    const auto& lower = FoldTablesFor(page).lower;
    size_t n = std::min(a.size(), b.size());
    for (size_t k = 0; k < n; ++k) {
        unsigned char ca = lower[static_cast<unsigned char>(a[k])];
        unsigned char cb = lower[static_cast<unsigned char>(b[k])];
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void ToLower(std::string& text) {
    unsigned page = AnsiCodePage();
    if (page == 65001) return MapUtf8(text, LowerOf);
    const auto& lower = FoldTablesFor(page).lower;
    for (char& c : text) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
}

void ToUpper(std::string& text) {
    unsigned page = AnsiCodePage();
    if (page == 65001) return MapUtf8(text, UpperOf);
    const auto& upper = FoldTablesFor(page).upper;
    for (char& c : text) c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
}

}  // namespace kst::detail

// ---- the host hook and the system interfaces ---------------------------------------------------

namespace kst {

void SetCodePages(unsigned ansi, unsigned oem) {
    detail::EnsurePages();
    if (ansi) detail::g_ansi.store(ansi);
    if (oem) detail::g_oem.store(oem);
}

unsigned AnsiCodePage() {
    return detail::AnsiCodePage();
}
unsigned OemCodePage() {
    return detail::OemCodePage();
}

}  // namespace kst

UINT GetACP() {
    return kst::detail::AnsiCodePage();
}
UINT GetOEMCP() {
    return kst::detail::OemCodePage();
}

namespace {

// The platform's length conventions: -1 means "up to and including the zero".
template <class Char>
std::basic_string_view<Char> SourceView(const Char* text, int length, bool& withZero) {
    withZero = length < 0;
    if (!text) return {};
    if (length < 0) return std::basic_string_view<Char>(text, std::char_traits<Char>::length(text));
    return std::basic_string_view<Char>(text, static_cast<size_t>(length));
}

template <class Char>
int CopyOut(const std::basic_string<Char>& result, bool withZero, Char* dest, int destSize) {
    int needed = static_cast<int>(result.size()) + (withZero ? 1 : 0);
    if (destSize == 0) return needed;
    if (!dest || destSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(result.begin(), result.end(), dest);
    if (withZero) dest[result.size()] = Char{};
    return needed;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR wide, int wideSize) {
    if (!text || length == 0 || wideSize < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    bool withZero;
    auto source = SourceView(text, length, withZero);
    return CopyOut(kst::detail::ToUtf16(source, codePage), withZero, wide, wideSize);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text, int size,
                        LPCSTR, BOOL* usedDefault) {
    if (!wide || wideLength == 0 || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    bool withZero;
    auto source = SourceView(wide, wideLength, withZero);
    std::string result = kst::detail::FromUtf16(source, codePage);
    if (usedDefault) {
        // A '?' that the source did not have marks a character the page cannot hold.
        size_t sourceMarks = 0, resultMarks = 0;
        for (char16_t c : source) sourceMarks += (c == u'?');
        for (char c : result) resultMarks += (c == '?');
        *usedDefault = resultMarks > sourceMarks;
    }
    return CopyOut(result, withZero, text, size);
}

namespace {

// Converts length bytes, in place or not; answers the bytes written, or -1. Between
// single-byte pages the length stays; a multibyte target is cut so that it fits, and a
// shorter result leaves zeros behind it.
long ConvertBuffer(LPCSTR source, LPSTR dest, size_t length, unsigned from, unsigned to) {
    if (!source || !dest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    std::string converted = kst::detail::Convert(std::string_view(source, length), from, to);
    size_t n = std::min(converted.size(), length);
    memmove(dest, converted.data(), n);
    memset(dest + n, 0, length - n);
    return static_cast<long>(n);
}

// The zero-terminated forms: the text and its terminator, in place or not.
BOOL ConvertString(LPCSTR source, LPSTR dest, unsigned from, unsigned to) {
    if (!source) return FALSE;
    size_t length = strlen(source);
    if (ConvertBuffer(source, dest, length, from, to) < 0) return FALSE;
    dest[length] = '\0';
    return TRUE;
}

}  // namespace

BOOL CharToOemBuffA(LPCSTR source, LPSTR dest, DWORD length) {
    return ConvertBuffer(source, dest, length, CP_ACP, CP_OEMCP) >= 0;
}

BOOL OemToCharBuffA(LPCSTR source, LPSTR dest, DWORD length) {
    return ConvertBuffer(source, dest, length, CP_OEMCP, CP_ACP) >= 0;
}

BOOL CharToOemA(LPCSTR source, LPSTR dest) {
    return ConvertString(source, dest, CP_ACP, CP_OEMCP);
}

BOOL OemToCharA(LPCSTR source, LPSTR dest) {
    return ConvertString(source, dest, CP_OEMCP, CP_ACP);
}
