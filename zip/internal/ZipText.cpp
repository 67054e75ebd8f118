#include "internal/ZipText.h"

#include "KstObject.h"
#include "KstWin32.h"
#include "internal/CodePage.h"
#include "internal/ZipFormat.h"

namespace kst::zip {

CString NameToAnsi(std::string_view stored, WORD flags) {
    unsigned from = (flags & kFlagUtf8) ? 65001u : kst::detail::OemCodePage();
    return CString(kst::detail::Convert(stored, from, kst::detail::AnsiCodePage()));
}

}  // namespace kst::zip

namespace kst::zip {

CString SystemErrorText(DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        text[--length] = '\0';
    CString result;
    if (length > 0)
        result = text;
    else
        result.Format("error %u", code);
    return result;
}

}  // namespace kst::zip

namespace kst::zip {

CString ExceptionText(CException* error) {
    char text[512] = {};
    if (!error || !error->GetErrorMessage(text, sizeof text)) return "an error of the framework";
    CString result(text);
    if (!result.IsEmpty() && result[result.GetLength() - 1] == '.')
        result = result.Left(result.GetLength() - 1);
    return result;
}

}  // namespace kst::zip
