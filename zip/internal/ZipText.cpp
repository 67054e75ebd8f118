#include "internal/ZipText.h"

#include "internal/CodePage.h"
#include "internal/ZipFormat.h"

namespace kst::zip {

CString NameToAnsi(std::string_view stored, WORD flags) {
    unsigned from = (flags & kFlagUtf8) ? 65001u : kst::detail::OemCodePage();
    return CString(kst::detail::Convert(stored, from, kst::detail::AnsiCodePage()));
}

}  // namespace kst::zip
