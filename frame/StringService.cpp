#include "KstStringService.h"

#include "KstCollections.h"

void CStringService::PackToString(const CStringArray& list, CString& out, const char* delimiter,
                                  int trailing) {
    out.Empty();
    if (list.GetSize() == 0) return;
    out = list.GetAt(0);
    for (int i = 1; i < list.GetSize(); ++i) {
        out += delimiter;
        out += list.GetAt(i);
    }
    if (trailing) out += delimiter;
}

void CStringService::UnpackFromString(CStringArray& list, CString text, CString delimiter) {
    list.RemoveAll();
    // An empty delimiter would match everywhere without consuming text: take the text whole.
    if (delimiter.IsEmpty()) {
        if (!text.IsEmpty()) list.Add(text);
        return;
    }
    std::string_view rest = text.view();
    for (size_t at; (at = rest.find(delimiter.view())) != std::string_view::npos;) {
        list.Add(CString(rest.substr(0, at)));
        rest.remove_prefix(at + delimiter.view().size());
    }
    if (!rest.empty()) list.Add(CString(rest));
}

void CStringService::UnpackFromString2(CStringArray& list, CString text, CString delimiters,
                                       bool trim) {
    list.RemoveAll();
    std::string_view rest = text.view();
    auto add = [&](std::string_view piece) {
        CString element(piece);
        if (trim) element.Trim();
        list.Add(element);
    };
    // A zero byte ends the delimiter set, as it ends any C string.
    std::string_view set(delimiters.c_str());
    for (size_t at; !set.empty() && (at = rest.find_first_of(set)) != std::string_view::npos;) {
        add(rest.substr(0, at));
        rest.remove_prefix(at + 1);
    }
    if (!rest.empty()) add(rest);
}
