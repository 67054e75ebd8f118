// Code pages: the ANSI and OEM pages in force, conversions through iconv, and the case
// folding of the ANSI page's letters (Cyrillic included) used by case-blind comparisons.
#pragma once

#include <string>
#include <string_view>

#include "KstExport.h"

namespace kst::detail {

KST_INTERNAL unsigned AnsiCodePage();
KST_INTERNAL unsigned OemCodePage();
// CP_ACP (0) and CP_OEMCP (1) resolve to the pages in force; others stay.
KST_INTERNAL unsigned ResolveCodePage(unsigned codePage);

// Characters that the target page cannot hold become '?'; bytes that are not valid in the
// source page become U+FFFD.
KST_INTERNAL std::u16string ToUtf16(std::string_view text, unsigned codePage);
KST_INTERNAL std::string FromUtf16(std::u16string_view text, unsigned codePage);
KST_INTERNAL bool IsAscii(std::string_view text);
KST_INTERNAL std::string Convert(std::string_view text, unsigned fromPage, unsigned toPage);

// Library texts are kept in UTF-8 in the sources; this gives them in the ANSI page.
KST_INTERNAL std::string FromUtf8ToAnsi(std::string_view utf8);

// Comparison that folds the letters of the ANSI page: <0, 0 or >0.
KST_INTERNAL int FoldCompare(std::string_view a, std::string_view b);
KST_INTERNAL void ToLower(std::string& text);
KST_INTERNAL void ToUpper(std::string& text);

}  // namespace kst::detail
