// Helpers shared by the time classes: strftime into a string, tm to SYSTEMTIME.
#pragma once

#include <ctime>
#include <string>

#include "KstTime.h"

namespace kst::detail {

// Seconds from 1601-01-01 (the file-time epoch) to 1970-01-01.
inline constexpr int64_t kFileTimeEpochSeconds = 11644473600;

std::string FormatTm(const char* format, const struct tm& fields);
void TmToSystemTime(const struct tm& fields, int milliseconds, SYSTEMTIME& time);

}  // namespace kst::detail
