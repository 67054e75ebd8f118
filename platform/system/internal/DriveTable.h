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
    std::vector<unsigned> badSectors;
};

// The entry of a letter (either case); nullopt when the letter is not mapped.
std::optional<DriveEntry> FindDrive(char letter);
bool IsBadSector(char letter, unsigned sector);

}  // namespace kst::detail
