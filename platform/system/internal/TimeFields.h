// Calendar arithmetic shared by the system's clock and the framework's time classes.
#pragma once

#include <cstdint>
#include <ctime>

#include "KstWin32Time.h"

namespace kst::detail {

// Seconds from 1601-01-01 (the file-time epoch) to 1970-01-01.
inline constexpr int64_t kFileTimeEpochSeconds = 11644473600;

inline bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Month 1 to 12.
inline int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

void TmToSystemTime(const struct tm& fields, int milliseconds, SYSTEMTIME& time);

}  // namespace kst::detail
