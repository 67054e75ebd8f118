// Local time conversions that follow the system's time zone without reading its rules again on
// every call: with TZ unset, each tzset or mktime checks the zone file on disk.
#pragma once

#include <ctime>

namespace kst::detail {

// Reads the zone's rules again when TZ changed, else at most once a second; answers a number
// that changes whenever it did.
unsigned FollowTimeZone();

// mktime of the fields (tm_isdst as given); conversions of the same minute reuse the minute's
// start while the zone stays the same.
time_t LocalFieldsToTime(struct tm fields);

}  // namespace kst::detail
