// Case folding of the ANSI page's letters (Latin, Greek, Cyrillic) for case-blind comparison
// and case mapping; UTF-8 text folds by code point.
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "internal/CodePage.h"

namespace kst::detail {
namespace {

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

// cp is above ASCII here, so a "?" is a character the page cannot hold.
int CodePointToByte(unsigned page, char32_t cp) {
    std::string narrow = FromUtf16(std::u16string(1, static_cast<char16_t>(cp)), page);
    return narrow.size() == 1 && narrow[0] != '?' ? static_cast<unsigned char>(narrow[0]) : -1;
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

// A page's tables are built once under the lock and never freed; each thread remembers the
// last page it asked for, so that comparisons take no lock once a thread has its page.
const FoldTables& FoldTablesFor(unsigned page) {
    struct Last {
        unsigned page;
        const FoldTables* tables;
    };
    thread_local Last last{0, nullptr};
    if (last.tables && last.page == page) return *last.tables;
    static std::mutex mutex;
    static auto* tables = new std::map<unsigned, std::unique_ptr<FoldTables>>;
    std::lock_guard lock(mutex);
    auto& slot = (*tables)[page];
    if (!slot) slot = std::make_unique<FoldTables>(BuildFoldTables(page));
    last = {page, slot.get()};
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
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) ascii = false;
    if (ascii) {
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

// ASCII letters fold alike in every page; the page in force is looked up only for others (a
// host name upper-cased at load then costs no locale).
bool FoldAscii(std::string& text, char from, char to) {
    if (!IsAscii(text)) return false;
    for (char& c : text)
        if (c >= from && c <= from + 25) c = static_cast<char>(c - from + to);
    return true;
}

// Byte by byte, each byte folded by lower.
template <class Lower>
int CompareFolded(std::string_view a, std::string_view b, Lower lower) {
    size_t n = std::min(a.size(), b.size());
    for (size_t k = 0; k < n; ++k) {
        unsigned char ca = lower(static_cast<unsigned char>(a[k]));
        unsigned char cb = lower(static_cast<unsigned char>(b[k]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int FoldCompare(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b))
        return CompareFolded(a, b, [](unsigned char c) {
            return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        });
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
    return CompareFolded(a, b, [&lower](unsigned char c) { return lower[c]; });
}

void ToLower(std::string& text) {
    if (FoldAscii(text, 'A', 'a')) return;
    unsigned page = AnsiCodePage();
    if (page == 65001) return MapUtf8(text, LowerOf);
    const auto& lower = FoldTablesFor(page).lower;
    for (char& c : text) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
}

void ToUpper(std::string& text) {
    if (FoldAscii(text, 'a', 'A')) return;
    unsigned page = AnsiCodePage();
    if (page == 65001) return MapUtf8(text, UpperOf);
    const auto& upper = FoldTablesFor(page).upper;
    for (char& c : text) c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
}

}  // namespace kst::detail
