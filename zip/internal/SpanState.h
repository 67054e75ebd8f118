// What one DoSpan knows about its source archive beyond the CZipInfo records.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "KstZipSpan.h"
#include "internal/BlockReader.h"
#include "internal/SourceDirectory.h"
#include "internal/Zip64.h"

struct CZipSpan::SpanState {
    std::unique_ptr<kst::zip::BlockReader> reader;
    std::vector<kst::zip::CentralEntry> directory;
    ULONGLONG directoryStart = 0;  // no local header lies at or after it
    kst::zip::ArchiveEnd end;
    std::vector<ULONGLONG> localOffsets;             // sorted, of the directory
    std::unordered_map<ULONGLONG, size_t> byOffset;  // local offset -> directory index
    // Last header of a name wins; the names are those held in directory.
    std::unordered_map<std::string_view, size_t> byName;
    // Where a local header was written: volume (1-based, at full width) and offset in it.
    struct Place {
        int volume = 0;
        DWORD offset = 0;
        ULONGLONG room =
            0;  // bytes written after the header before the next one (data, descriptor)
    };
    // By source position. The name is kept because a directory offset matches a position only
    // when the names agree: an archive behind a stub states offsets that point elsewhere.
    struct Copied {
        Place where;
        std::string name;
    };
    std::unordered_map<ULONGLONG, Copied> copied;
    std::unordered_map<std::string, Place> copiedByName;  // the last copy of a name wins
    ULONGLONG directoryWritten = 0;                       // bytes of the central headers written
    ULONGLONG entriesWritten = 0;                         // central headers written
    std::vector<BYTE> chunk;                              // entry data in transit
    std::vector<BYTE> header;                             // a local header in transit
    std::vector<BYTE> central;                            // a central header in transit
};
