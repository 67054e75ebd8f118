// CTime and CTimeSpan: 64-bit seconds since 1970, local time by the system's time-zone rules.
#include <time.h>

#include <string>

#include "KstTime.h"
#include "internal/LocalTime.h"
#include "internal/TimeFields.h"
#include "internal/TimeText.h"

namespace {

CTime FromLocalFields(int year, int month, int day, int hour, int minute, int second, int dst) {
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = dst < 0 ? -1 : (dst > 0 ? 1 : 0);
    // Fields out of their ranges are normalized (a 0th day is the last of the month before),
    // as the runtime's mktime does; a time it cannot represent becomes -1.
    return CTime(static_cast<__time64_t>(kst::detail::LocalFieldsToTime(fields)));
}

}  // namespace

CTimeSpan::CTimeSpan(LONG days, int hours, int minutes, int seconds)
    : m_span(seconds + 60 * (minutes + 60 * (hours + 24 * static_cast<__time64_t>(days)))) {}

CString CTimeSpan::Format(const char* format) const {
    std::string out;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        char buffer[32];
        switch (*++p) {
            case 'D':
                snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(GetDays()));
                break;
            case 'H':
                snprintf(buffer, sizeof buffer, "%02d", static_cast<int>(GetHours()));
                break;
            case 'M':
                snprintf(buffer, sizeof buffer, "%02d", static_cast<int>(GetMinutes()));
                break;
            case 'S':
                snprintf(buffer, sizeof buffer, "%02d", static_cast<int>(GetSeconds()));
                break;
            default:
                buffer[0] = *p, buffer[1] = '\0';
                break;  // "%%" and unknown: the character
        }
        out += buffer;
    }
    return CString(std::move(out));
}

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst)
    : CTime(FromLocalFields(year, month, day, hour, minute, second, dst)) {}

CTime::CTime(WORD dosDate, WORD dosTime, int dst)
    : CTime(FromLocalFields(1980 + (dosDate >> 9), (dosDate >> 5) & 0xF, dosDate & 0x1F,
                            dosTime >> 11, (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, dst)) {}

CTime::CTime(const SYSTEMTIME& time, int dst)
    : CTime(FromLocalFields(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
                            time.wSecond, dst)) {}

CTime::CTime(const FILETIME& time, int /*dst*/)
    : m_time(static_cast<__time64_t>(
                 ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
                 10000000u) -
             kst::detail::kFileTimeEpochSeconds) {}

CTime CTime::GetCurrentTime() {
    return CTime(static_cast<__time64_t>(::time(nullptr)));
}

struct tm* CTime::GetGmtTm(struct tm* tm) const {
    static thread_local struct tm buffer;
    time_t value = static_cast<time_t>(m_time);
    return gmtime_r(&value, tm ? tm : &buffer);
}

struct tm* CTime::GetLocalTm(struct tm* tm) const {
    static thread_local struct tm buffer;
    time_t value = static_cast<time_t>(m_time);
    kst::detail::FollowTimeZone();  // the zone the system has now, as mktime follows it
    return localtime_r(&value, tm ? tm : &buffer);
}

bool CTime::GetAsSystemTime(SYSTEMTIME& time) const {
    struct tm fields;
    if (!GetLocalTm(&fields)) return false;
    kst::detail::TmToSystemTime(fields, 0, time);
    return true;
}

namespace {

int LocalField(const CTime& time, int tm::*field, int offset) {
    struct tm fields;
    return time.GetLocalTm(&fields) ? fields.*field + offset : 0;
}

}  // namespace

int CTime::GetYear() const {
    return LocalField(*this, &tm::tm_year, 1900);
}
int CTime::GetMonth() const {
    return LocalField(*this, &tm::tm_mon, 1);
}
int CTime::GetDay() const {
    return LocalField(*this, &tm::tm_mday, 0);
}
int CTime::GetHour() const {
    return LocalField(*this, &tm::tm_hour, 0);
}
int CTime::GetMinute() const {
    return LocalField(*this, &tm::tm_min, 0);
}
int CTime::GetSecond() const {
    return LocalField(*this, &tm::tm_sec, 0);
}
int CTime::GetDayOfWeek() const {
    return LocalField(*this, &tm::tm_wday, 1);
}

CString CTime::Format(const char* format) const {
    struct tm fields;
    if (!format || !GetLocalTm(&fields)) return CString();
    return CString(kst::detail::FormatTm(format, fields));
}

CString CTime::FormatGmt(const char* format) const {
    struct tm fields;
    if (!format || !GetGmtTm(&fields)) return CString();
    return CString(kst::detail::FormatTm(format, fields));
}
