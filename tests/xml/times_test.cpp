// A time written and read back in several zones: the written local time comes back to the
// second wherever it exists, also in the hour that repeats when daylight saving time ends;
// a local time in the skipped hour, written by hand, still reads as a nearby time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ProcessState.h"
#include "XmlTestSupport.h"

namespace {

using Zone = ksttest::TimeZoneScope;

std::string LocalText(time_t t) {
    struct tm fields;
    localtime_r(&t, &fields);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields);
    return text;
}

struct TimeCase {
    const char* name;
    const char* tz;
    time_t utc;
    bool sameInstant;  // false in the repeated hour: only the local time is sure
};

class Times : public ::testing::TestWithParam<TimeCase> {};

TEST_P(Times, LocalTimeComesBackToTheSecond) {
    Zone zone(GetParam().tz);
    CTimeP time{CTime(GetParam().utc)};
    std::string xml = xmltest::Store(time);
    EXPECT_NE(xml.find(">" + LocalText(GetParam().utc) + "<"), std::string::npos) << xml;
    EXPECT_NE(xml.find("dt:dt=\"dateTime\""), std::string::npos);
    CTimeP copy{CTime(12345)};
    xmltest::Load(xml, copy);
    EXPECT_EQ(LocalText(copy.GetTime()), LocalText(GetParam().utc));
    if (GetParam().sameInstant)
        EXPECT_EQ(copy.GetTime(), GetParam().utc);
    else
        EXPECT_EQ(std::llabs(copy.GetTime() - GetParam().utc) % 3600, 0);
}

constexpr const char* kCentral = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kEastern = "EST5EDT,M3.2.0,M11.1.0";

INSTANTIATE_TEST_SUITE_P(All, Times,
                         ::testing::Values(TimeCase{"Utc", "UTC0", 1714558830, true},
                                           TimeCase{"India", "<+0530>-5:30", 1714558830, true},
                                           TimeCase{"CentralWinter", kCentral, 1704067199, true},
                                           TimeCase{"CentralSummer", kCentral, 1719792000, true},
                                           // 2024-03-31: 01:59:59 CET, then 03:00:00 CEST.
                                           TimeCase{"BeforeTheSkip", kCentral, 1711846799, true},
                                           TimeCase{"AfterTheSkip", kCentral, 1711846800, true},
                                           // 2024-10-27 02:30 local happens twice, CEST and CET.
                                           TimeCase{"RepeatedFirst", kCentral, 1729989000, false},
                                           TimeCase{"RepeatedSecond", kCentral, 1729992600, false},
                                           TimeCase{"EasternRepeated", kEastern, 1730615400, false},
                                           TimeCase{"Epoch", "UTC0", 0, true}),
                         [](const auto& info) { return info.param.name; });

// 02:30 on 2024-03-31 does not exist in the central zone: it reads as 01:30 CET or 03:30 CEST.
TEST(Times, SkippedHourReadsNearby) {
    Zone zone(kCentral);
    CTimeP time{CTime(777)};
    xmltest::Load(
        "<Root xmlns:dt='urn:schemas-microsoft-com:datatypes' dt:dt='dateTime'>"
        "2024-03-31T02:30:00</Root>",
        time);
    EXPECT_TRUE(time.GetTime() == 1711848600 || time.GetTime() == 1711845000) << time.GetTime();
}

// Without the data type a date's text still converts; a broken date leaves the time as it was.
TEST(Times, UntypedConvertsBrokenLeavesTheTime) {
    Zone zone("UTC0");
    CTimeP untyped{CTime(777)};
    xmltest::Load("<Root>2024-01-01T00:00:00</Root>", untyped);
    EXPECT_EQ(untyped.GetTime(), 1704067200);
    for (const char* xml : {"<Root>yesterday</Root>",
                            "<Root xmlns:dt='urn:schemas-microsoft-com:datatypes' "
                            "dt:dt='dateTime'>2024-13-01T00:00:00</Root>"}) {
        CTimeP time{CTime(777)};
        xmltest::Load(xml, time);
        EXPECT_EQ(time.GetTime(), 777) << xml;
    }
}

}  // namespace
