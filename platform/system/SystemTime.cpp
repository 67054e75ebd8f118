// The system clock as SYSTEMTIME and conversions to and from FILETIME.
#include <time.h>

#include "KstWin32Time.h"
#include "internal/LocalTime.h"
#include "internal/TimeFields.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;  // file times count 100 ns

void ClockAsSystemTime(bool local, LPSYSTEMTIME time) {
    if (!time) return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm fields;
    if (local) {
        kst::detail::FollowTimeZone();
        localtime_r(&now.tv_sec, &fields);
    } else {
        gmtime_r(&now.tv_sec, &fields);
    }
    kst::detail::TmToSystemTime(fields, static_cast<int>(now.tv_nsec / 1000000), *time);
}

}  // namespace

void GetLocalTime(LPSYSTEMTIME time) {
    ClockAsSystemTime(true, time);
}
void GetSystemTime(LPSYSTEMTIME time) {
    ClockAsSystemTime(false, time);
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) return FALSE;
    uint64_t ticks =
        (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    time_t seconds =
        static_cast<time_t>(ticks / kTicksPerSecond) - kst::detail::kFileTimeEpochSeconds;
    struct tm fields;
    if (!gmtime_r(&seconds, &fields)) return FALSE;
    kst::detail::TmToSystemTime(fields, static_cast<int>(ticks % kTicksPerSecond / 10000),
                                *systemTime);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    if (!systemTime || !fileTime) return FALSE;
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > kst::detail::DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999)
        return FALSE;
    struct tm fields = {};
    fields.tm_year = t.wYear - 1900;
    fields.tm_mon = t.wMonth - 1;
    fields.tm_mday = t.wDay;
    fields.tm_hour = t.wHour;
    fields.tm_min = t.wMinute;
    fields.tm_sec = t.wSecond;
    uint64_t seconds = static_cast<uint64_t>(timegm(&fields) + kst::detail::kFileTimeEpochSeconds);
    uint64_t ticks = seconds * kTicksPerSecond + t.wMilliseconds * 10000u;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

namespace kst::detail {

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
