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

struct CZipSpan::SpanState {
    std::unique_ptr<kst::zip::BlockReader> reader;
    std::vector<kst::zip::CentralEntry> directory;
    ULONGLONG directoryStart = 0;  // no local header lies at or after it
    ULONGLONG endRecord = 0;
    std::vector<ULONGLONG> localOffsets;             // sorted, of the directory
    std::unordered_map<ULONGLONG, size_t> byOffset;  // local offset -> directory index
    // Last header of a name wins; the names are those held in directory.
    std::unordered_map<std::string_view, size_t> byName;
    // By source position. The name is kept because a directory offset matches a position only
    // when the names agree: an archive behind a stub states offsets that point elsewhere.
    struct Copied {
        CZipSpan::FileSpanInfo where;
        std::string name;
    };
    std::unordered_map<ULONGLONG, Copied> copied;
    std::vector<BYTE> chunk;   // entry data in transit
    std::vector<BYTE> header;  // a local or central header in transit
};
