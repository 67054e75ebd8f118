// Strings built from delimited lists and from string-table texts with "%1" placeholders.
#include <cstring>

#include "KstString.h"

BOOL AfxExtractSubString(CString& rString, LPCTSTR lpszFullString, int iSubString, TCHAR chSep) {
    rString.Empty();
    if (!lpszFullString || iSubString < 0) return FALSE;
    const char* start = lpszFullString;
    for (; iSubString > 0; --iSubString) {
        start = std::strchr(start, chSep);
        if (!start) return FALSE;
        ++start;
    }
    const char* end = std::strchr(start, chSep);
    rString = end ? CString(start, static_cast<int>(end - start)) : CString(start);
    return TRUE;
}

namespace {

// Replaces "%1".."%9" by the arguments, as the framework's formatter does for two of them.
void FormatPlaceholders(CString& rString, UINT nIDS, const LPCTSTR* args, int count) {
    CString pattern;
    if (!pattern.LoadString(nIDS)) {
        rString.Empty();
        return;
    }
    std::string out;
    const char* p = pattern;
    for (; *p; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' && p[1] - '1' < count) {
            const char* arg = args[p[1] - '1'];
            out += arg ? arg : "";
            ++p;
        } else {
            out += *p;
        }
    }
    rString = out.c_str();
}

}  // namespace

void AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1) {
    FormatPlaceholders(rString, nIDS, &lpsz1, 1);
}

void AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2) {
    const LPCTSTR args[] = {lpsz1, lpsz2};
    FormatPlaceholders(rString, nIDS, args, 2);
}
