#include "internal/DriveTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <mutex>

namespace kst::detail {
namespace {

struct DriveTable {
    std::mutex mutex;
    std::array<std::optional<DriveEntry>, 26> drives;
    // Kept apart from the mapping: bad sectors may be set before the drive is mapped.
    std::array<std::vector<unsigned>, 26> badSectors;
    // Sectors that fail only their next few reads: sector to the reads still to fail.
    std::array<std::map<unsigned, unsigned>, 26> failingReads;
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
    return table.drives[slot];
}

bool SectorsReadable(char letter, unsigned first, unsigned last) {
    int slot = SlotOf(letter);
    if (slot < 0) return true;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    const auto& bad = table.badSectors[slot];
    auto& failing = table.failingReads[slot];
    if (bad.empty() && failing.empty()) return true;
    for (unsigned sector = first; sector <= last && sector >= first; ++sector) {
        if (std::find(bad.begin(), bad.end(), sector) != bad.end()) return false;
        auto it = failing.find(sector);
        if (it == failing.end()) continue;
        if (--it->second == 0) failing.erase(it);
        return false;
    }
    return true;
}

}  // namespace kst::detail

namespace kst {

void MapDrive(char letter, const std::string& rootFolder, DriveType type,
              const std::string& rawDevice) {
    int slot = detail::SlotOf(letter);
    if (slot < 0) return;
    auto& table = detail::Table();
    std::lock_guard lock(table.mutex);
    table.drives[slot] = detail::DriveEntry{rootFolder, type, rawDevice};
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
    table.failingReads[slot].clear();
}

void SetFailingReads(char letter, unsigned sector, unsigned reads) {
    int slot = detail::SlotOf(letter);
    if (slot < 0) return;
    auto& table = detail::Table();
    std::lock_guard lock(table.mutex);
    if (reads)
        table.failingReads[slot][sector] = reads;
    else
        table.failingReads[slot].erase(sector);
}

}  // namespace kst
