#include "internal/Zip64.h"

#include <algorithm>

#include "internal/ZipFormat.h"

namespace kst::zip {

namespace {

WORD Narrow16(ULONGLONG value) {
    return value >= kNo16 ? kNo16 : static_cast<WORD>(value);
}
DWORD Narrow32(ULONGLONG value) {
    return value >= kNo32 ? kNo32 : static_cast<DWORD>(value);
}

// Reads count bytes at position; fewer only where the file ends.
size_t ReadAt(CFile& file, ULONGLONG position, BYTE* bytes, size_t count) {
    file.Seek(static_cast<LONGLONG>(position), CFile::begin);
    size_t done = 0;
    while (done < count) {
        UINT got = file.Read(bytes + done, static_cast<UINT>(count - done));
        if (got == 0) break;
        done += got;
    }
    return done;
}

// The ZIP64 extra field among extra fields: offset and length of its data; false when absent.
bool FindZip64Extra(const BYTE* extra, size_t length, size_t& at, size_t& size) {
    size_t pos = 0;
    while (pos + 4 <= length) {
        WORD id = Get16(extra + pos);
        size_t data = Get16(extra + pos + 2);
        if (pos + 4 + data > length) return false;
        if (id == kZip64ExtraId) {
            at = pos + 4;
            size = data;
            return true;
        }
        pos += 4 + data;
    }
    return false;
}

// Takes the next 8-byte slot of a ZIP64 extra field when the classic field defers to it.
struct SlotReader {
    const BYTE* data;
    size_t size;
    size_t pos = 0;
    ULONGLONG Take(ULONGLONG classic, bool deferred, size_t width) {
        if (!deferred) return classic;
        if (pos + width > size) {
            pos = size;
            return classic;
        }
        ULONGLONG value = width == 8 ? Get64(data + pos) : Get32(data + pos);
        pos += width;
        return value;
    }
};

}  // namespace

std::string ArchiveEnd::Comment() const {
    return std::string(reinterpret_cast<const char*>(record.data()) + kEndRecordSize,
                       record.size() - kEndRecordSize);
}

bool LocateEnd(CFile& file, ArchiveEnd& end) {
    ULONGLONG length = file.GetLength();
    ULONGLONG tailStart = length > kEndSearchTail ? length - kEndSearchTail : 0;
    // The locator of an end record at the tail's very start is read with the tail.
    ULONGLONG readStart = tailStart > kZip64LocatorSize ? tailStart - kZip64LocatorSize : 0;
    std::vector<BYTE> tail(static_cast<size_t>(length - readStart));
    tail.resize(ReadAt(file, readStart, tail.data(), tail.size()));
    size_t from = static_cast<size_t>(tailStart - readStart);
    if (tail.size() < from + 4) return false;
    // The last record in the tail wins: the search runs backwards.
    size_t at = tail.size() - 4;
    for (;; --at) {
        if (tail[at] == 0x50 && Get32(tail.data() + at) == kEndRecordSig) break;
        if (at == from) return false;
    }
    end = ArchiveEnd();
    end.position = readStart + at;
    end.blockStart = end.position;
    size_t available = tail.size() - at;
    end.record.assign(tail.begin() + static_cast<std::ptrdiff_t>(at), tail.end());
    if (end.record.size() < kEndRecordSize) end.record.resize(kEndRecordSize, 0);
    size_t comment = Get16(end.record.data() + kEndCommentLength);
    end.record.resize(kEndRecordSize + std::min(comment, available > kEndRecordSize
                                                             ? available - kEndRecordSize
                                                             : 0));
    const BYTE* r = end.record.data();
    end.thisDisk = Get16(r + kEndThisDisk);
    end.dirDisk = Get16(r + kEndDirDisk);
    end.entriesHere = Get16(r + kEndEntriesHere);
    end.entriesTotal = Get16(r + kEndEntriesTotal);
    end.dirSize = Get32(r + kEndDirSize);
    end.dirOffset = Get32(r + kEndDirOffset);

    if (at < kZip64LocatorSize) return true;
    const BYTE* locator = tail.data() + at - kZip64LocatorSize;
    if (Get32(locator) != kZip64LocatorSig) return true;
    ULONGLONG locatorPos = end.position - kZip64LocatorSize;
    ULONGLONG stated = Get64(locator + kLoc64Offset);
    BYTE z[kZip64EndSize];
    for (ULONGLONG candidate :
         {stated, locatorPos - std::min<ULONGLONG>(locatorPos, kZip64EndSize)}) {
        if (candidate + kZip64EndSize > locatorPos) continue;
        if (ReadAt(file, candidate, z, kZip64EndSize) < kZip64EndSize || Get32(z) != kZip64EndSig)
            continue;
        end.zip64 = true;
        end.blockStart = candidate;
        end.madeBy = Get16(z + kZ64MadeBy);
        end.needed = Get16(z + kZ64Needed);
        end.thisDisk = Get32(z + kZ64ThisDisk);
        end.dirDisk = Get32(z + kZ64DirDisk);
        end.entriesHere = Get64(z + kZ64EntriesHere);
        end.entriesTotal = Get64(z + kZ64EntriesTotal);
        end.dirSize = Get64(z + kZ64DirSize);
        end.dirOffset = Get64(z + kZ64DirOffset);
        break;
    }
    return true;
}

bool NeedsZip64(const EndValues& v) {
    return v.thisDisk >= kNo16 || v.dirDisk >= kNo16 || v.entriesHere >= kNo16 ||
           v.entriesTotal >= kNo16 || v.dirSize >= kNo32 || v.dirOffset >= kNo32;
}

void TakeVersions(EndValues& values, const ArchiveEnd& source,
                  const std::vector<BYTE>& lastCentralHeader) {
    if (source.zip64) {
        values.madeBy = source.madeBy;
        values.needed = source.needed;
    } else if (lastCentralHeader.size() >= kCenMadeBy + 2) {
        values.madeBy = Get16(lastCentralHeader.data() + kCenMadeBy);
    }
}

std::vector<BYTE> BuildEnd(const EndValues& v, ULONGLONG blockPosition) {
    size_t comment = std::min<size_t>(v.comment.size(), 0xFFFF);
    bool zip64 = NeedsZip64(v);
    size_t head = zip64 ? kZip64EndSize + kZip64LocatorSize : 0;
    std::vector<BYTE> block(head + kEndRecordSize + comment, 0);
    BYTE* p = block.data();
    if (zip64) {
        Put32(p, kZip64EndSig);
        Put64(p + kZ64RecordSize, kZip64EndSize - 12);
        Put16(p + kZ64MadeBy, v.madeBy);
        Put16(p + kZ64Needed, v.needed);
        Put32(p + kZ64ThisDisk, v.thisDisk);
        Put32(p + kZ64DirDisk, v.dirDisk);
        Put64(p + kZ64EntriesHere, v.entriesHere);
        Put64(p + kZ64EntriesTotal, v.entriesTotal);
        Put64(p + kZ64DirSize, v.dirSize);
        Put64(p + kZ64DirOffset, v.dirOffset);
        p += kZip64EndSize;
        Put32(p, kZip64LocatorSig);
        Put32(p + kLoc64Disk, v.thisDisk);
        Put64(p + kLoc64Offset, blockPosition);
        Put32(p + kLoc64Disks, v.thisDisk + 1);
        p += kZip64LocatorSize;
    }
    Put32(p, kEndRecordSig);
    Put16(p + kEndThisDisk, Narrow16(v.thisDisk));
    Put16(p + kEndDirDisk, Narrow16(v.dirDisk));
    Put16(p + kEndEntriesHere, Narrow16(v.entriesHere));
    Put16(p + kEndEntriesTotal, Narrow16(v.entriesTotal));
    Put32(p + kEndDirSize, Narrow32(v.dirSize));
    Put32(p + kEndDirOffset, Narrow32(v.dirOffset));
    Put16(p + kEndCommentLength, static_cast<WORD>(comment));
    std::copy_n(v.comment.data(), comment, p + kEndRecordSize);
    return block;
}

EntryFields ReadEntryFields(const BYTE* header, size_t length) {
    EntryFields f;
    DWORD uncompressed = Get32(header + kCenUncompressed);
    DWORD compressed = Get32(header + kCenCompressed);
    DWORD offset = Get32(header + kCenLocalOffset);
    WORD disk = Get16(header + kCenDisk);
    f.uncompressed = uncompressed;
    f.compressed = compressed;
    f.localOffset = offset;
    f.disk = disk;
    if (uncompressed != kNo32 && compressed != kNo32 && offset != kNo32 && disk != kNo16) return f;
    size_t extraStart = kCentralHeaderSize + Get16(header + kCenNameLength);
    if (extraStart > length) return f;
    size_t extraLength = std::min<size_t>(Get16(header + kCenExtraLength), length - extraStart);
    size_t at = 0, size = 0;
    if (!FindZip64Extra(header + extraStart, extraLength, at, size)) return f;
    SlotReader slots{header + extraStart + at, size};
    f.uncompressed = slots.Take(uncompressed, uncompressed == kNo32, 8);
    f.compressed = slots.Take(compressed, compressed == kNo32, 8);
    f.localOffset = slots.Take(offset, offset == kNo32, 8);
    f.disk = static_cast<DWORD>(slots.Take(disk, disk == kNo16, 4));
    return f;
}

void SetEntryPlace(std::vector<BYTE>& header, DWORD disk, ULONGLONG localOffset) {
    BYTE* h = header.data();
    bool sizeSlot = Get32(h + kCenUncompressed) == kNo32;
    bool packedSlot = Get32(h + kCenCompressed) == kNo32;
    bool hadOffset = Get32(h + kCenLocalOffset) == kNo32;
    bool hadDisk = Get16(h + kCenDisk) == kNo16;
    bool offsetSlot = hadOffset || localOffset >= kNo32;
    bool diskSlot = hadDisk || disk >= kNo16;
    Put32(h + kCenLocalOffset, offsetSlot ? kNo32 : static_cast<DWORD>(localOffset));
    Put16(h + kCenDisk, diskSlot ? kNo16 : static_cast<WORD>(disk));
    if (!offsetSlot && !diskSlot) return;

    size_t extraStart = kCentralHeaderSize + Get16(h + kCenNameLength);
    size_t extraLength = Get16(h + kCenExtraLength);
    if (extraStart + extraLength > header.size()) return;  // a header cut short stays as it is
    size_t offsetAt = 8 * ((sizeSlot ? 1 : 0) + (packedSlot ? 1 : 0));
    size_t needed = offsetAt + (offsetSlot ? 8 : 0) + (diskSlot ? 4 : 0);
    size_t at = 0, size = 0;
    bool present = FindZip64Extra(h + extraStart, extraLength, at, size);
    if (!present || size < needed) {
        // Slots are added in the field's order; the sizes it held and any bytes after its
        // slots are kept.
        const BYTE* old = present ? h + extraStart + at : nullptr;
        size_t oldSlots = offsetAt + (hadOffset ? 8 : 0) + (hadDisk ? 4 : 0);
        std::vector<BYTE> field(4 + needed, 0);
        Put16(field.data(), kZip64ExtraId);
        for (size_t i = 0; i < offsetAt; ++i) field[4 + i] = old && i < size ? old[i] : 0xFF;
        if (old && size > oldSlots) field.insert(field.end(), old + oldSlots, old + size);
        size_t newExtra = extraLength - (present ? 4 + size : 0) + field.size();
        if (field.size() - 4 > 0xFFFF || newExtra > 0xFFFF) return;
        Put16(field.data() + 2, static_cast<WORD>(field.size() - 4));
        size_t place = extraStart + (present ? at - 4 : extraLength);
        auto where = header.begin() + static_cast<std::ptrdiff_t>(place);
        if (present) where = header.erase(where, where + static_cast<std::ptrdiff_t>(4 + size));
        header.insert(where, field.begin(), field.end());
        h = header.data();
        Put16(h + kCenExtraLength, static_cast<WORD>(newExtra));
        at = place - extraStart + 4;
    }
    BYTE* slots = h + extraStart + at;
    if (offsetSlot) Put64(slots + offsetAt, localOffset);
    if (diskSlot) Put32(slots + offsetAt + (offsetSlot ? 8 : 0), disk);
}

ULONGLONG LocalCompressedSize(const BYTE* header, size_t length) {
    DWORD uncompressed = Get32(header + kLocUncompressed);
    DWORD compressed = Get32(header + kLocCompressed);
    if (compressed != kNo32) return compressed;
    size_t extraStart = kLocalHeaderSize + Get16(header + kLocNameLength);
    if (extraStart > length) return compressed;
    size_t extraLength = std::min<size_t>(Get16(header + kLocExtraLength), length - extraStart);
    size_t at = 0, size = 0;
    if (!FindZip64Extra(header + extraStart, extraLength, at, size)) return compressed;
    SlotReader slots{header + extraStart + at, size};
    slots.Take(uncompressed, uncompressed == kNo32, 8);
    return slots.Take(compressed, true, 8);
}

bool HasZip64Extra(const BYTE* header, size_t length) {
    size_t extraStart = kLocalHeaderSize + Get16(header + kLocNameLength);
    if (extraStart > length) return false;
    size_t extraLength = std::min<size_t>(Get16(header + kLocExtraLength), length - extraStart);
    size_t at = 0, size = 0;
    return FindZip64Extra(header + extraStart, extraLength, at, size);
}

}  // namespace kst::zip
