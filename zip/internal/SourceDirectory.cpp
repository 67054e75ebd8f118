#include "internal/SourceDirectory.h"

#include <algorithm>

#include "internal/Zip64.h"
#include "internal/ZipFormat.h"

namespace kst::zip {

std::vector<CentralEntry> ReadCentralEntries(BlockReader& reader, ULONGLONG start,
                                             ULONGLONG limit) {
    std::vector<CentralEntry> entries;
    // Room for as many headers as the bytes can hold, within reason for a damaged limit.
    if (limit > start)
        entries.reserve(static_cast<size_t>(
            std::min<ULONGLONG>((limit - start) / kCentralHeaderSize, ULONGLONG{1} << 16)));
    std::vector<BYTE> header;
    reader.Seek(start);
    while (reader.SeekSignature(kCentralHeaderSig, limit)) {
        CentralEntry entry;
        entry.position = reader.Tell();
        header.assign(kCentralHeaderSize, 0);
        reader.Read(header.data(), kCentralHeaderSize);
        entry.length = CentralHeaderLength(header.data());
        WORD nameLength = Get16(header.data() + kCenNameLength);
        header.resize(kCentralHeaderSize + nameLength + Get16(header.data() + kCenExtraLength));
        header.resize(kCentralHeaderSize + reader.Read(header.data() + kCentralHeaderSize,
                                                       header.size() - kCentralHeaderSize));
        entry.flags = Get16(header.data() + kCenFlags);
        EntryFields fields = ReadEntryFields(header.data(), header.size());
        entry.compressed = fields.compressed;
        entry.disk = fields.disk;
        entry.localOffset = fields.localOffset;
        size_t name = std::min<size_t>(nameLength, header.size() - kCentralHeaderSize);
        entry.name.assign(reinterpret_cast<const char*>(header.data()) + kCentralHeaderSize, name);
        entries.push_back(std::move(entry));
        reader.Seek(entries.back().position + entries.back().length);
    }
    return entries;
}

}  // namespace kst::zip
