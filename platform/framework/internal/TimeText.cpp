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

void TmToSystemTime(const struct tm& fields, int milliseconds, SYSTEMTIME& time) {
    time.wYear = static_cast<WORD>(fields.tm_year + 1900);
    time.wMonth = static_cast<WORD>(fields.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    time.wDay = static_cast<WORD>(fields.tm_mday);
    time.wHour = static_cast<WORD>(fields.tm_hour);
    time.wMinute = static_cast<WORD>(fields.tm_min);
    time.wSecond = static_cast<WORD>(fields.tm_sec);
    time.wMilliseconds = static_cast<WORD>(milliseconds);
}

}  // namespace kst::detail
