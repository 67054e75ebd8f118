// The FAT12 file system as the diskette copy reads it: the boot sector's fields, the layout
// derived from them, FAT entries, directory names and the guard that ends looping chains.
#pragma once

#include <bitset>
#include <string_view>
#include <vector>

#include "KstExport.h"
#include "KstWinTypes.h"

namespace kst::floppy {

struct BootSector {
    WORD bytesPerSector = 0;
    BYTE sectorsPerCluster = 0;
    WORD reservedSectors = 0;
    BYTE fatCount = 0;
    WORD rootEntries = 0;
    WORD sectorsPerFat = 0;
};

// Sector numbers of the file system's parts.
struct FatLayout {
    ULONGLONG rootStart = 0;
    ULONGLONG rootLength = 0;
    ULONGLONG dataStart = 0;
    unsigned sectorsPerCluster = 1;
};

// A FAT12 table has at most 4096 entries of a byte and a half.
constexpr DWORD kFatBytesNeeded = 4096 * 3 / 2;
constexpr WORD kFirstCluster = 2;
constexpr WORD kLastCluster = 0xFFE;

KST_INTERNAL BootSector ParseBootSector(const BYTE* sector);
// A boot sector that says 0 bytes per sector has no root directory (the division by the sector
// size has no result), and one that says 0 sectors per cluster takes clusters of one sector.
KST_INTERNAL FatLayout LayoutOf(const BootSector& boot);
KST_INTERNAL ULONGLONG ClusterSector(const FatLayout& layout, WORD cluster);
// The entry of cluster in the FAT's bytes; bytes the table does not hold count as 0.
KST_INTERNAL WORD Fat12Entry(const std::vector<BYTE>& fat, WORD cluster);
inline bool InChain(WORD cluster) {
    return cluster >= kFirstCluster && cluster <= kLastCluster;
}
// The 11-byte directory name of a path component ("%-8s%-3s" of the parts before and after
// the first dot). False when a part is too long for its field: no entry can bear that name.
KST_INTERNAL bool DirectoryName(std::string_view component, char name[11]);

// The clusters a chain has passed. The walk follows a chain while its entries lie in 2 to
// 0xFFE, so a chain that comes back to a cluster would go round for ever: it ends instead at
// the first cluster it meets again.
class ChainGuard {
public:
    bool FirstVisit(WORD cluster) {
        if (m_seen.test(cluster & 0xFFF)) return false;
        m_seen.set(cluster & 0xFFF);
        return true;
    }

private:
    std::bitset<4096> m_seen;
};

}  // namespace kst::floppy
