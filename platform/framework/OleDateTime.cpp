// COleDateTime: automation dates, days since 1899-12-30 with the time of day as the fraction.
#include <cmath>
#include <cstdio>
#include <string>

#include "KstTime.h"
#include "internal/TimeFields.h"
#include "internal/TimeText.h"

namespace {

constexpr double kMinDate = -657434.0;  // 0100-01-01
constexpr double kMaxDate = 2958465.0;  // 9999-12-31
constexpr int64_t kDaysFrom1899To1970 = 25569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

bool InRange(double date) {
    return std::isfinite(date) && date >= kMinDate && date < kMaxDate + 1;
}

// Breaks a date into fields, rounded to the second; false when out of range.
bool DateToTm(double date, struct tm& fields) {
    if (!InRange(date)) return false;
    int64_t day = static_cast<int64_t>(std::trunc(date));
    int64_t seconds = std::llround(std::fabs(date - static_cast<double>(day)) * 86400.0);
    if (seconds >= 86400) {  // rounds up into the next calendar day
        seconds -= 86400;
        day += 1;
    }
    int year, month, mday;
    CivilFromDays(day - kDaysFrom1899To1970, year, month, mday);
    fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = mday;
    fields.tm_hour = static_cast<int>(seconds / 3600);
    fields.tm_min = static_cast<int>(seconds / 60 % 60);
    fields.tm_sec = static_cast<int>(seconds % 60);
    int64_t weekday = (day - kDaysFrom1899To1970 + 4) % 7;  // 1970-01-01 was a Thursday
    fields.tm_wday = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
    fields.tm_yday = static_cast<int>(day - kDaysFrom1899To1970 - DaysFromCivil(year, 1, 1));
    return true;
}

// Reads 2024-05-01, 2024-05-01T10:20:30 or 2024-05-01 10:20[:30] from an automation string.
bool ParseDateText(const BSTR text, COleDateTime& result) {
    std::string ascii;
    for (const OLECHAR* p = text; p && *p; ++p) {
        if (*p > 0x7F) return false;
        ascii += static_cast<char>(*p);
    }
    int year, month, day, hour = 0, minute = 0, second = 0, used = 0;
    char separator = 'T';
    int count = sscanf(ascii.c_str(), " %4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &year, &month, &day, &used,
                       &separator, &hour, &minute, &used, &second, &used);
    if (count < 3 || count == 4 || count == 5 ||
        (count > 3 && separator != 'T' && separator != ' '))
        return false;
    if (ascii.find_first_not_of(" \t", static_cast<size_t>(used)) != std::string::npos)
        return false;
    return result.SetDateTime(year, month, day, hour, minute, second) == 0;
}

double NumberOf(const VARIANT& v, bool& ok) {
    ok = true;
    switch (v.vt) {
        case VT_EMPTY:
            return 0;
        case VT_DATE:
            return v.date;
        case VT_R8:
            return v.dblVal;
        case VT_R4:
            return v.fltVal;
        case VT_I1:
            return v.cVal;
        case VT_UI1:
            return v.bVal;
        case VT_I2:
            return v.iVal;
        case VT_UI2:
            return v.uiVal;
        case VT_I4:
            return v.lVal;
        case VT_UI4:
            return v.ulVal;
        case VT_INT:
            return v.intVal;
        case VT_UINT:
            return v.uintVal;
        case VT_I8:
            return static_cast<double>(v.llVal);
        case VT_UI8:
            return static_cast<double>(v.ullVal);
        case VT_BOOL:
            return v.boolVal;
        default:
            ok = false;
            return 0;
    }
}

}  // namespace

COleDateTime::COleDateTime(DATE date) : m_dt(date), m_status(InRange(date) ? valid : invalid) {}

COleDateTime::COleDateTime(const VARIANT& variant) {
    if (variant.vt == VT_NULL) {
        m_status = null;
        return;
    }
    if (variant.vt == VT_BSTR) {
        if (!ParseDateText(variant.bstrVal, *this)) m_status = invalid;
        return;
    }
    bool ok;
    double date = NumberOf(variant, ok);
    m_dt = ok ? date : 0;
    m_status = ok && InRange(date) ? valid : invalid;
}

COleDateTime::COleDateTime(const CTime& time) {
    struct tm fields;
    if (time.GetLocalTm(&fields))
        SetDateTime(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                    fields.tm_min, fields.tm_sec);
    else
        m_status = invalid;
}

COleDateTime::COleDateTime(const SYSTEMTIME& time) {
    SetDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
}

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
}

COleDateTime COleDateTime::GetCurrentTime() {
    return COleDateTime(CTime::GetCurrentTime());
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > kst::detail::DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59) {
        m_dt = 0;
        m_status = invalid;
        return 1;
    }
    double days = static_cast<double>(DaysFromCivil(year, month, day) + kDaysFrom1899To1970);
    double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
    m_dt = days >= 0 ? days + fraction : days - fraction;
    m_status = valid;
    return 0;
}

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& time) const {
    struct tm fields;
    if (m_status != valid || !DateToTm(m_dt, fields)) return false;
    kst::detail::TmToSystemTime(fields, 0, time);
    return true;
}

namespace {

int Field(const COleDateTime& date, int tm::*field, int offset) {
    struct tm fields;
    return date.GetStatus() == COleDateTime::valid && DateToTm(date.m_dt, fields)
               ? fields.*field + offset
               : -1;  // AFX_OLE_DATETIME_ERROR
}

}  // namespace

int COleDateTime::GetYear() const {
    return Field(*this, &tm::tm_year, 1900);
}
int COleDateTime::GetMonth() const {
    return Field(*this, &tm::tm_mon, 1);
}
int COleDateTime::GetDay() const {
    return Field(*this, &tm::tm_mday, 0);
}
int COleDateTime::GetHour() const {
    return Field(*this, &tm::tm_hour, 0);
}
int COleDateTime::GetMinute() const {
    return Field(*this, &tm::tm_min, 0);
}
int COleDateTime::GetSecond() const {
    return Field(*this, &tm::tm_sec, 0);
}
int COleDateTime::GetDayOfWeek() const {
    return Field(*this, &tm::tm_wday, 1);
}
int COleDateTime::GetDayOfYear() const {
    return Field(*this, &tm::tm_yday, 1);
}

CString COleDateTime::Format(const char* format) const {
    struct tm fields;
    if (!format || m_status != valid || !DateToTm(m_dt, fields)) return CString();
    fields.tm_isdst = -1;
    return CString(kst::detail::FormatTm(format, fields));
}
