#include "internal/Fat12.h"

#include <cstdio>
#include <cstring>

namespace kst::floppy {
namespace {

WORD Word(const BYTE* at) {
    return static_cast<WORD>(at[0] | (at[1] << 8));
}

}  // namespace

BootSector ParseBootSector(const BYTE* sector) {
    BootSector boot;
    boot.bytesPerSector = Word(sector + 11);
    boot.sectorsPerCluster = sector[13];
    boot.reservedSectors = Word(sector + 14);
    boot.fatCount = sector[16];
    boot.rootEntries = Word(sector + 17);
    boot.sectorsPerFat = Word(sector + 22);
    return boot;
}

FatLayout LayoutOf(const BootSector& boot) {
    FatLayout layout;
    layout.rootStart = boot.reservedSectors + ULONGLONG(boot.fatCount) * boot.sectorsPerFat;
    layout.rootLength =
        boot.bytesPerSector ? ULONGLONG(boot.rootEntries) * 32 / boot.bytesPerSector : 0;
    layout.dataStart = layout.rootStart + layout.rootLength;
    layout.sectorsPerCluster = boot.sectorsPerCluster ? boot.sectorsPerCluster : 1;
    return layout;
}

ULONGLONG ClusterSector(const FatLayout& layout, WORD cluster) {
    return ULONGLONG(cluster - kFirstCluster) * layout.sectorsPerCluster + layout.dataStart;
}

WORD Fat12Entry(const std::vector<BYTE>& fat, WORD cluster) {
    size_t at = size_t(cluster) * 3 / 2;
    WORD word = static_cast<WORD>((at < fat.size() ? fat[at] : 0) |
                                  ((at + 1 < fat.size() ? fat[at + 1] : 0) << 8));
    return cluster & 1 ? static_cast<WORD>(word >> 4) : static_cast<WORD>(word & 0xFFF);
}

bool DirectoryName(std::string_view component, char name[11]) {
    size_t dot = component.find('.');
    std::string_view title = component.substr(0, dot);
    std::string_view ext =
        dot == std::string_view::npos ? std::string_view() : component.substr(dot + 1);
    if (title.size() > 8 || ext.size() > 3) return false;
    std::memset(name, ' ', 11);
    title.copy(name, title.size());
    ext.copy(name + 8, ext.size());
    return true;
}

}  // namespace kst::floppy
