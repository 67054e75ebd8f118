// The drive table of kst::MapDrive: which host folder and raw device a drive letter stands for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "KstPlatform.h"

namespace kst::detail {

struct DriveEntry {
    std::string root;  // host folder; empty for a drive that only has a raw device
    DriveType type = DriveType::Unknown;
    std::string rawDevice;  // block device or image file read by \\.\X:
};

// The entry of a letter (either case); nullopt when the letter is not mapped.
std::optional<DriveEntry> FindDrive(char letter);
// One read of the sectors first to last of the drive's raw device: false when it meets a bad
// sector (the read stops there, as a controller's does, so only that sector's count of failing
// reads is taken down).
bool SectorsReadable(char letter, unsigned first, unsigned last);

}  // namespace kst::detail
