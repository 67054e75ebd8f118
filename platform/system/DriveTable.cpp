#include "internal/DriveTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

namespace kst::detail {
namespace {

struct DriveTable {
    std::mutex mutex;
    std::array<std::optional<DriveEntry>, 26> drives;
    // Kept apart from the mapping: bad sectors may be set before the drive is mapped.
    std::array<std::vector<unsigned>, 26> badSectors;
};

DriveTable& Table() {
    static DriveTable* table = new DriveTable;  // outlives static destructors that trace
    return *table;
}

int SlotOf(char letter) {
    int upper = std::toupper(static_cast<unsigned char>(letter));
    return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

}  // namespace

std::optional<DriveEntry> FindDrive(char letter) {
    int slot = SlotOf(letter);
    if (slot < 0) return std::nullopt;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto drive = table.drives[slot];
    if (drive) drive->badSectors = table.badSectors[slot];
    return drive;
}

bool IsBadSector(char letter, unsigned sector) {
    int slot = SlotOf(letter);
    if (slot < 0) return false;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    const auto& bad = table.badSectors[slot];
    return std::find(bad.begin(), bad.end(), sector) != bad.end();
}

}  // namespace kst::detail

namespace kst {

void MapDrive(char letter, const std::string& rootFolder, DriveType type,
              const std::string& rawDevice) {
    int slot = detail::SlotOf(letter);
    if (slot < 0) return;
    auto& table = detail::Table();
    std::lock_guard lock(table.mutex);
    table.drives[slot] = detail::DriveEntry{rootFolder, type, rawDevice, {}};
}

void UnmapDrive(char letter) {
    int slot = detail::SlotOf(letter);
    if (slot < 0) return;
    auto& table = detail::Table();
    std::lock_guard lock(table.mutex);
    table.drives[slot].reset();
}

void SetBadSectors(char letter, std::vector<unsigned> sectors) {
    int slot = detail::SlotOf(letter);
    if (slot < 0) return;
    auto& table = detail::Table();
    std::lock_guard lock(table.mutex);
    table.badSectors[slot] = std::move(sectors);
}

}  // namespace kst
