#include "internal/LocalTime.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>  // environ

namespace kst::detail {

namespace {

// Plain thread-local data, kept small: times are still converted after the thread's objects
// are gone (the module's last trace line), and the library's thread-local block is static, so
// a host that loads it late has little room for it.
struct ZoneState {
    time_t checkedAt = -1;
    bool tzSet = false;
    char tz[64] = {};
    unsigned generation = 0;
    // Where TZ stood in the environment when last looked up.
    char** environment = nullptr;
    size_t index = 0;             // of the entry, or of the terminating null when absent
    const char* entry = nullptr;  // the entry, or the one before the null
    bool present = false;
};
thread_local ZoneState zone;

struct MinuteStart {
    unsigned generation = 0;  // 0: empty
    int year, month, day, hour, minute, dst;
    time_t start;
};
thread_local MinuteStart minutes[8];

// getenv("TZ") scans the whole environment; the entry is looked up again only when the
// environment array, the entry's slot or the array's end changed, which setenv, putenv and
// unsetenv all do. Its text is still compared by the caller.
const char* ZoneVariable() {
    char** environment = environ;
    if (environment && environment == zone.environment) {
        if (zone.present && environment[zone.index] == zone.entry) return zone.entry + 3;
        if (!zone.present && environment[zone.index] == nullptr &&
            (zone.index == 0 || environment[zone.index - 1] == zone.entry))
            return nullptr;
    }
    zone.environment = environment;
    zone.present = false;
    zone.entry = nullptr;
    size_t i = 0;
    for (; environment && environment[i]; ++i) {
        if (std::strncmp(environment[i], "TZ=", 3) == 0) {
            zone.present = true;
            zone.index = i;
            zone.entry = environment[i];
            return zone.entry + 3;
        }
    }
    zone.index = i;
    zone.entry = i > 0 ? environment[i - 1] : nullptr;
    return nullptr;
}

bool SameZone(const char* tz, time_t now) {
    if (now != zone.checkedAt) return false;
    if (!tz) return !zone.tzSet;
    return zone.tzSet && std::strlen(tz) < sizeof zone.tz && std::strcmp(tz, zone.tz) == 0;
}

}  // namespace

unsigned FollowTimeZone() {
    const char* tz = ZoneVariable();
    time_t now = std::time(nullptr);
    if (SameZone(tz, now)) return zone.generation;
    tzset();
    zone.checkedAt = now;
    zone.tzSet = tz != nullptr;
    std::strncpy(zone.tz, tz ? tz : "", sizeof zone.tz - 1);
    if (++zone.generation == 0) zone.generation = 1;
    return zone.generation;
}

time_t LocalFieldsToTime(struct tm fields) {
    bool inRange = fields.tm_mon >= 0 && fields.tm_mon < 12 && fields.tm_mday >= 1 &&
                   fields.tm_mday <= 31 && fields.tm_hour >= 0 && fields.tm_hour < 24 &&
                   fields.tm_min >= 0 && fields.tm_min < 60 && fields.tm_sec >= 0 &&
                   fields.tm_sec < 60;
    if (!inRange) return mktime(&fields);
    unsigned generation = FollowTimeZone();
    unsigned slot =
        static_cast<unsigned>(fields.tm_min + 60 * (fields.tm_hour + 24 * fields.tm_mday)) %
        (sizeof minutes / sizeof minutes[0]);
    MinuteStart& cached = minutes[slot];
    if (cached.generation == generation && cached.year == fields.tm_year &&
        cached.month == fields.tm_mon && cached.day == fields.tm_mday &&
        cached.hour == fields.tm_hour && cached.minute == fields.tm_min &&
        cached.dst == fields.tm_isdst)
        return cached.start + fields.tm_sec;
    struct tm start = fields;
    start.tm_sec = 0;
    time_t value = mktime(&start);
    if (value == static_cast<time_t>(-1)) return mktime(&fields);
    // Zone changes fall on whole minutes, so the minute's seconds add to its start.
    cached = MinuteStart{generation,     fields.tm_year, fields.tm_mon,   fields.tm_mday,
                         fields.tm_hour, fields.tm_min,  fields.tm_isdst, value};
    return value + fields.tm_sec;
}

}  // namespace kst::detail
