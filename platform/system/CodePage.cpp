// Code pages: the ANSI and OEM pages in force (from the locale or the host), conversions
// between them through iconv, and the system interfaces over both.
#include "internal/CodePage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

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
    // Only the two categories asked: loading every category of the locale costs a process
    // start as much again.
    locale_t loc =
        newlocale(LC_CTYPE_MASK | LC_IDENTIFICATION_MASK, "", static_cast<locale_t>(nullptr));
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

}  // namespace

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

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
    // Every page holds ASCII as it is; the pages in force are not even looked up for it.
    if (IsAscii(text)) return std::string(text);
    fromPage = ResolveCodePage(fromPage);
    toPage = ResolveCodePage(toPage);
    if (fromPage == toPage) return std::string(text);
    return FromUtf16(ToUtf16(text, fromPage), toPage);
}

std::string FromUtf8ToAnsi(std::string_view utf8) {
    return Convert(utf8, 65001, AnsiCodePage());
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
