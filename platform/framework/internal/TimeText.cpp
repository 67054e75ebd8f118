#include "TimeText.h"

#include <vector>

namespace kst::detail {

std::string FormatTm(const char* format, const struct tm& fields) {
    if (*format == '\0') return {};
    // strftime answers 0 both for a buffer too small and for an empty result: grow a few times.
    for (size_t size = 256; size <= 64 * 1024; size *= 4) {
        std::vector<char> buffer(size);
        size_t length = strftime(buffer.data(), size, format, &fields);
        if (length > 0) return std::string(buffer.data(), length);
    }
    return {};
}

}  // namespace kst::detail
