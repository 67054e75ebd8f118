// CTime in the system's time zone (DST changes, times past 2038), its formats, and automation
// dates.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "KstTime.h"
#include "ProcessState.h"

namespace {

using TimeZone = ksttest::TimeZoneScope;

// "year-month-day hour:minute:second weekday"
std::string Fields(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u %u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wDayOfWeek);
    return text;
}

TEST(CTime, LocalTimeFollowsTheZoneAcrossDaylightSavingChanges) {
    TimeZone zone("America/New_York");
    // Spring forward: 01:59:59 EST is followed by 03:00:00 EDT.
    CTime before(2021, 3, 14, 1, 59, 59);
    CTime after(2021, 3, 14, 3, 0, 0);
    EXPECT_EQ(before.GetTime(), 1615705199);
    EXPECT_TRUE(after - before == CTimeSpan(1) && after.GetHour() == 3);
    EXPECT_EQ(after.Format("%Y-%m-%d %H:%M:%S %Z") + "|" + before.Format("%H:%M %Z"),
              "2021-03-14 03:00:00 EDT|01:59 EST");
    // Fall back: 01:30 happens twice; the DST flag picks one.
    CTime daylight(2021, 11, 7, 1, 30, 0, 1);
    CTime standard(2021, 11, 7, 1, 30, 0, 0);
    EXPECT_EQ(standard - daylight, CTimeSpan(3600));
    EXPECT_EQ(daylight.FormatGmt("%H:%M").str(), "05:30");

    struct tm local, gmt;
    ASSERT_TRUE(after.GetLocalTm(&local) && after.GetGmtTm(&gmt));
    EXPECT_EQ(std::pair(local.tm_isdst, gmt.tm_hour), std::pair(1, 7));
}

// Conversions of one minute share work; a change of zone must still show at once, in both
// directions of the conversion.
TEST(CTime, ConversionsFollowAChangeOfZoneAtOnce) {
    __time64_t utc, tokyo;
    {
        TimeZone zone("UTC");
        utc = CTime(2004, 6, 15, 13, 45, 58).GetTime();
        EXPECT_EQ(CTime(2004, 6, 15, 13, 45, 0).GetTime(), utc - 58);
        EXPECT_EQ(CTime(utc).GetHour(), 13);
    }
    {
        TimeZone zone("Asia/Tokyo");
        tokyo = CTime(2004, 6, 15, 13, 45, 58).GetTime();
        EXPECT_EQ(CTime(utc).GetHour(), 22);
    }
    EXPECT_EQ(utc - tokyo, 9 * 3600);
    TimeZone zone("UTC");
    EXPECT_EQ(CTime(2004, 6, 15, 13, 45, 58).GetTime(), utc);
    EXPECT_EQ(CTime(2004, 6, 15, 13, 45, 61).GetTime(), utc + 3);  // normalized, as mktime does
}

TEST(CTime, TimesPast2038UpTo2106) {
    TimeZone zone("UTC");
    CTime y2100(2100, 1, 1, 0, 0, 0);
    CTime last(2106, 2, 7, 6, 28, 15);  // the largest unsigned 32-bit seconds value
    EXPECT_EQ(std::tuple(y2100.GetTime(), last.GetTime(), last.GetDayOfWeek()),
              std::tuple(4102444800LL, 0xFFFFFFFFLL, 1));  // a Sunday
    EXPECT_EQ(CTime(static_cast<__time64_t>(0xFFFFFFFFu)).GetYear(), 2106);
    EXPECT_EQ(CTime(0x80000000ll).Format("%Y-%m-%d %H:%M:%S").str(), "2038-01-19 03:14:08");
    SYSTEMTIME system;
    ASSERT_TRUE(last.GetAsSystemTime(system));
    EXPECT_EQ(Fields(system), "2106-02-07 06:28:15 0");
    EXPECT_EQ(CTime(system).GetTime(), last.GetTime());
}

TEST(CTime, DosDateAndFileTimeAndSpans) {
    TimeZone zone("Europe/Moscow");
    // 2004-06-15 13:45:58 in MS-DOS words.
    WORD date = static_cast<WORD>(((2004 - 1980) << 9) | (6 << 5) | 15);
    WORD time = static_cast<WORD>((13 << 11) | (45 << 5) | (58 / 2));
    EXPECT_EQ(CTime(date, time).Format("%Y-%m-%d %H:%M:%S").str(), "2004-06-15 13:45:58");
    EXPECT_EQ(CTime(date, time).GetTime(), CTime(2004, 6, 15, 13, 45, 58).GetTime());

    FILETIME fileTime{};
    uint64_t ticks = (11644473600ull + 1000000000ull) * 10000000ull;
    fileTime.dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    EXPECT_EQ(CTime(fileTime).GetTime(), 1000000000);
    SYSTEMTIME utc;
    ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &utc));
    EXPECT_EQ(Fields(utc), "2001-09-09 01:46:40 0");
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &back));
    EXPECT_EQ(std::pair(back.dwLowDateTime, back.dwHighDateTime),
              std::pair(fileTime.dwLowDateTime, fileTime.dwHighDateTime));

    CTimeSpan span(2, 3, 4, 5);
    EXPECT_EQ(span.GetTotalSeconds(), 2 * 86400 + 3 * 3600 + 4 * 60 + 5);
    EXPECT_EQ(span.Format("%D days %H:%M:%S %%").str(), "2 days 03:04:05 %");
    CTime start(2024, 2, 28, 12, 0, 0);
    EXPECT_TRUE((start + CTimeSpan(1, 0, 0, 0)).GetDay() == 29 && start < start + CTimeSpan(1));
}

TEST(CTime, CurrentTimeAndEmptyFormat) {
    CTime now = CTime::GetCurrentTime();
    EXPECT_LE(std::abs(now.GetTime() - static_cast<__time64_t>(time(nullptr))), 1);
    EXPECT_TRUE(!now.Format("%c").IsEmpty() && now.Format("").IsEmpty());
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(local.wYear, now.GetYear());
}

VARIANT Variant(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    return v;
}

TEST(COleDateTime, FromVariantsAndBackToSystemTime) {
    VARIANT date = Variant(VT_DATE);
    date.date = 45000.5;
    COleDateTime noon(date);
    ASSERT_EQ(noon.GetStatus(), COleDateTime::valid);
    SYSTEMTIME fields;
    ASSERT_TRUE(noon.GetAsSystemTime(fields));
    EXPECT_EQ(Fields(fields), "2023-03-15 12:00:00 3");

    // Before 1899-12-30 the fraction still counts forward from midnight.
    COleDateTime early(-1.25);
    EXPECT_EQ(early.Format("%Y-%m-%d %H:%M").str(), "1899-12-29 06:00");
    EXPECT_EQ(COleDateTime(1899, 12, 29, 6, 0, 0).m_dt, -1.25);
    // Rounding to the second may carry into the next day.
    EXPECT_EQ(COleDateTime(0.9999999).Format("%Y-%m-%d %H:%M:%S").str(), "1899-12-31 00:00:00");

    VARIANT text = Variant(VT_BSTR);
    WCHAR iso[] = u"2024-05-01T10:20:30";
    text.bstrVal = iso;
    COleDateTime parsed(text);
    EXPECT_EQ(std::tuple(parsed.GetStatus(), parsed.GetSecond(), parsed.GetDayOfYear()),
              std::tuple(COleDateTime::valid, 30, 122));
    WCHAR junk[] = u"2024-05-01 garbage";
    text.bstrVal = junk;
    EXPECT_EQ(COleDateTime(text).GetStatus(), COleDateTime::invalid);

    VARIANT number = Variant(VT_I4);
    number.lVal = 2;
    EXPECT_EQ(COleDateTime(number).GetDay(), 1);  // 1900-01-01
    EXPECT_EQ(
        (std::vector{COleDateTime(Variant(VT_NULL)).GetStatus(),
                     COleDateTime(Variant(VT_DISPATCH)).GetStatus(), COleDateTime(1e9).GetStatus(),
                     COleDateTime(2023, 2, 29, 0, 0, 0).GetStatus()}),
        (std::vector{COleDateTime::null, COleDateTime::invalid, COleDateTime::invalid,
                     COleDateTime::invalid}));
    EXPECT_FALSE(COleDateTime(1e9).GetAsSystemTime(fields));
}

TEST(COleDateTime, RoundTripsACTimeAsLocalTime) {
    TimeZone zone("America/New_York");
    CTime time(2021, 3, 14, 3, 15, 45);
    COleDateTime date(time);
    SYSTEMTIME fields;
    ASSERT_TRUE(date.GetAsSystemTime(fields));
    EXPECT_EQ(Fields(fields), "2021-03-14 03:15:45 0");
    EXPECT_EQ(CTime(fields).GetTime(), time.GetTime());
}

}  // namespace
