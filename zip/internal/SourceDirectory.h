// The central directory of an archive as raw records, for spanning and for the join's repair
// (which need every header, also repeated names, and its file position).
#pragma once

#include <string>
#include <vector>

#include "KstFile.h"
#include "KstWinTypes.h"
#include "internal/BlockReader.h"

namespace kst::zip {

struct CentralEntry {
    ULONGLONG position = 0;  // of the header's signature
    DWORD length = 0;        // 46 + name + extra + comment, as the header states them
    WORD flags = 0;
    ULONGLONG compressed = 0;
    DWORD disk = 0;
    ULONGLONG localOffset = 0;
    std::string name;  // bytes as stored
};

// The central directory headers from start up to limit, in file order; bytes between headers
// that are no header are skipped.
std::vector<CentralEntry> ReadCentralEntries(BlockReader& reader, ULONGLONG start, ULONGLONG limit);

}  // namespace kst::zip
