#include "internal/SourceDirectory.h"

#include <algorithm>

#include "internal/FindSignature.h"
#include "internal/ZipFormat.h"

namespace kst::zip {

bool LocateEndRecord(CFile& file, ULONGLONG& position) {
    ULONGLONG length = file.GetLength();
    file.Seek(length > kSearchBlock ? static_cast<LONGLONG>(length - kSearchBlock) : 0,
              CFile::begin);
    WORD offset = 0;
    DWORD found = 0;
    if (!FindSignature(file, kEndRecordSig, offset, found, nullptr, true)) return false;
    position = found;
    return true;
}

std::vector<BYTE> ReadEndRecord(CFile& file, ULONGLONG position) {
    std::vector<BYTE> record(kEndRecordSize + 0xFFFF, 0);
    file.Seek(static_cast<LONGLONG>(position), CFile::begin);
    UINT got = file.Read(record.data(), static_cast<UINT>(record.size()));
    DWORD comment = Get16(record.data() + kEndCommentLength);
    DWORD available = got > kEndRecordSize ? got - kEndRecordSize : 0;
    record.resize(kEndRecordSize + std::min(comment, available));
    return record;
}

std::vector<CentralEntry> ReadCentralEntries(BlockReader& reader, ULONGLONG start,
                                             ULONGLONG limit) {
    std::vector<CentralEntry> entries;
    // Room for as many headers as the bytes can hold, within reason for a damaged limit.
    if (limit > start)
        entries.reserve(static_cast<size_t>(
            std::min<ULONGLONG>((limit - start) / kCentralHeaderSize, ULONGLONG{1} << 16)));
    reader.Seek(start);
    while (reader.SeekSignature(kCentralHeaderSig, limit)) {
        CentralEntry entry;
        entry.position = reader.Tell();
        BYTE header[kCentralHeaderSize] = {};
        reader.Read(header, kCentralHeaderSize);
        entry.length = CentralHeaderLength(header);
        entry.flags = Get16(header + kCenFlags);
        entry.compressed = Get32(header + kCenCompressed);
        entry.disk = Get16(header + kCenDisk);
        entry.localOffset = Get32(header + kCenLocalOffset);
        entry.name.resize(Get16(header + kCenNameLength));
        entry.name.resize(reader.Read(entry.name.data(), entry.name.size()));
        entries.push_back(std::move(entry));
        reader.Seek(entries.back().position + entries.back().length);
    }
    return entries;
}

}  // namespace kst::zip
