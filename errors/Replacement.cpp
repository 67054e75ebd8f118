// Placeholder substitution for message templates.
#include <algorithm>
#include <string>
#include <string_view>

#include "KstLocalization.h"

namespace {

// Applies one "name=replacement" item to the first occurrence of name; items without "=",
// or with nothing before it, change nothing.
void ApplyItem(std::string& result, std::string_view item) {
    size_t equals = item.find('=');
    if (equals == std::string_view::npos || equals == 0) return;
    std::string_view name = item.substr(0, equals);
    size_t at = result.find(name);
    if (at != std::string::npos) result.replace(at, name.size(), item.substr(equals + 1));
}

}  // namespace

CString CLocalizationCollection::Replacement(const char* text, const char* pairs,
                                             const char* delimiters) {
    std::string result(text ? text : "");
    std::string_view items(pairs ? pairs : "");
    std::string_view separators(delimiters ? delimiters : "");
    size_t pos = 0;
    while (pos < items.size()) {
        if (separators.find(items[pos]) != std::string_view::npos) {
            ++pos;
            continue;
        }
        size_t itemEnd = std::min(items.find_first_of(separators, pos), items.size());
        ApplyItem(result, items.substr(pos, itemEnd - pos));
        pos = itemEnd;
    }
    return CString(std::move(result));
}
