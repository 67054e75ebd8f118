// The central directory and end record of an archive as raw records, for spanning and for
// the join's repair (which need every header, also repeated names, and its file position).
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
    DWORD compressed = 0;
    WORD disk = 0;
    DWORD localOffset = 0;
    std::string name;  // bytes as stored
};

// Finds the last end record in the file's final 65,535 bytes; false when there is none.
bool LocateEndRecord(CFile& file, ULONGLONG& position);

// Reads the end record at position with its comment, cut at the end of the file; the fixed
// part is zero-filled when the file ends inside it.
std::vector<BYTE> ReadEndRecord(CFile& file, ULONGLONG position);

// The central directory headers from start up to limit, in file order; bytes between headers
// that are no header are skipped.
std::vector<CentralEntry> ReadCentralEntries(BlockReader& reader, ULONGLONG start, ULONGLONG limit);

}  // namespace kst::zip
