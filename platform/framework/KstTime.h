// Calendar times of the framework: CTime (seconds since 1970), CTimeSpan, COleDateTime
// (days since 1899-12-30). The system's SYSTEMTIME and FILETIME come with KstWin32Time.h.
#pragma once

#include <cstdint>
#include <ctime>

#include "KstExport.h"
#include "KstString.h"
#include "KstVariant.h"
#include "KstWin32Time.h"
#include "KstWinTypes.h"

typedef int64_t __time64_t;

class KST_API CTimeSpan {
public:
    CTimeSpan() = default;
    CTimeSpan(__time64_t seconds) : m_span(seconds) {}  // NOLINT: implicit as in the framework
    CTimeSpan(LONG days, int hours, int minutes, int seconds);

    __time64_t GetTimeSpan() const { return m_span; }
    LONGLONG GetDays() const { return m_span / 86400; }
    LONGLONG GetTotalHours() const { return m_span / 3600; }
    LONG GetHours() const { return static_cast<LONG>(GetTotalHours() - GetDays() * 24); }
    LONGLONG GetTotalMinutes() const { return m_span / 60; }
    LONG GetMinutes() const { return static_cast<LONG>(GetTotalMinutes() - GetTotalHours() * 60); }
    LONGLONG GetTotalSeconds() const { return m_span; }
    LONG GetSeconds() const { return static_cast<LONG>(m_span - GetTotalMinutes() * 60); }

    // %D days, %H hours, %M minutes, %S seconds, %% a percent sign.
    CString Format(const char* format) const;

    CTimeSpan operator+(CTimeSpan other) const { return m_span + other.m_span; }
    CTimeSpan operator-(CTimeSpan other) const { return m_span - other.m_span; }
    CTimeSpan& operator+=(CTimeSpan other) {
        m_span += other.m_span;
        return *this;
    }
    CTimeSpan& operator-=(CTimeSpan other) {
        m_span -= other.m_span;
        return *this;
    }
    auto operator<=>(const CTimeSpan&) const = default;

private:
    __time64_t m_span = 0;
};

class KST_API CTime {
public:
    CTime() = default;
    CTime(__time64_t seconds) : m_time(seconds) {}  // NOLINT: implicit as in the framework
    // Local time; dst < 0 lets the system decide on daylight saving time, 0 standard, > 0 DST.
    // A date the system cannot represent gives the time -1.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);
    // The MS-DOS date and time words, as local time.
    CTime(WORD dosDate, WORD dosTime, int dst = -1);
    CTime(const SYSTEMTIME& time, int dst = -1);
    // A file time is UTC; it becomes the same instant.
    CTime(const FILETIME& time, int dst = -1);

    static CTime GetCurrentTime();

    __time64_t GetTime() const { return m_time; }

    // Fill *tm (or a per-thread buffer when tm is null); null when the time is out of range.
    struct tm* GetGmtTm(struct tm* tm = nullptr) const;
    struct tm* GetLocalTm(struct tm* tm = nullptr) const;
    bool GetAsSystemTime(SYSTEMTIME& time) const;

    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 = Sunday

    // strftime patterns, in local time and in UTC.
    CString Format(const char* format) const;
    CString FormatGmt(const char* format) const;

    CTimeSpan operator-(CTime other) const { return m_time - other.m_time; }
    CTime operator-(CTimeSpan span) const { return m_time - span.GetTimeSpan(); }
    CTime operator+(CTimeSpan span) const { return m_time + span.GetTimeSpan(); }
    CTime& operator+=(CTimeSpan span) {
        m_time += span.GetTimeSpan();
        return *this;
    }
    CTime& operator-=(CTimeSpan span) {
        m_time -= span.GetTimeSpan();
        return *this;
    }
    bool operator==(const CTime&) const = default;
    auto operator<=>(const CTime&) const = default;

private:
    __time64_t m_time = 0;
};

// An automation date: days since 1899-12-30 00:00 as a double, the fraction being the time of
// day (for dates before 1899-12-30 the fraction still counts forward from midnight).
class KST_API COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    COleDateTime() = default;
    COleDateTime(DATE date);  // NOLINT: implicit as in the framework
    // VT_DATE, numbers, VT_BOOL, VT_EMPTY (0) and texts like 2024-05-01T10:20:30; VT_NULL
    // gives the status null, anything else invalid.
    COleDateTime(const VARIANT& variant);  // NOLINT
    COleDateTime(const CTime& time);       // NOLINT: the same local time
    COleDateTime(const SYSTEMTIME& time);  // NOLINT
    COleDateTime(int year, int month, int day, int hour, int minute, int second);

    static COleDateTime GetCurrentTime();

    DateTimeStatus GetStatus() const { return m_status; }
    void SetStatus(DateTimeStatus status) { m_status = status; }
    // 0 on success; an impossible date leaves the status invalid.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);
    int SetDate(int year, int month, int day) { return SetDateTime(year, month, day, 0, 0, 0); }

    bool GetAsSystemTime(SYSTEMTIME& time) const;
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 = Sunday
    int GetDayOfYear() const;  // 1 = January 1st

    // strftime patterns; empty for a date that is not valid.
    CString Format(const char* format) const;

    operator DATE() const { return m_dt; }  // NOLINT
    bool operator==(const COleDateTime& other) const {
        return m_status == other.m_status && m_dt == other.m_dt;
    }

    DATE m_dt = 0;
    DateTimeStatus m_status = valid;
};
