// The multi-volume way of DoSpan: entries, then the rewritten directory and end record.
#include <algorithm>
#include <map>

#include "KstFile.h"
#include "KstZipSpan.h"
#include "internal/BlockReader.h"
#include "internal/SourceDirectory.h"
#include "internal/SpanState.h"
#include "internal/ZipFormat.h"

using namespace kst::zip;

namespace {

// A buffer of at least size bytes, kept between entries: growing it again would clear it.
BYTE* Room(std::vector<BYTE>& buffer, size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

}  // namespace

void CZipSpan::PrepareSource() {
    SpanState& s = *m_state;
    if (!LocateEnd(m_file, s.end)) {
        s.end = ArchiveEnd();
        s.end.position = s.end.blockStart = m_file.GetLength();
        s.end.record.assign(kEndRecordSize, 0);
    }
    s.reader = std::make_unique<BlockReader>(m_file);
    s.directoryStart = std::min(m_pInfo->GetCentralDirPosition64(), s.end.blockStart);
    s.directory = ReadCentralEntries(*s.reader, s.directoryStart, s.end.blockStart);
    s.byOffset.reserve(s.directory.size());
    s.byName.reserve(s.directory.size());
    s.copied.reserve(s.directory.size());
    s.localOffsets.reserve(s.directory.size());
    for (size_t i = 0; i < s.directory.size(); ++i) {
        const CentralEntry& entry = s.directory[i];
        s.byOffset[entry.localOffset] = i;
        s.byName[entry.name] = i;
        s.localOffsets.push_back(entry.localOffset);
    }
    std::sort(s.localOffsets.begin(), s.localOffsets.end());
    s.reader->Seek(0);
}

int CZipSpan::CopyOneFile() {
    SpanState& s = *m_state;
    BlockReader& reader = *s.reader;
    if (!reader.SeekSignature(kLocalHeaderSig, s.directoryStart)) return 0;
    ULONGLONG headerPos = reader.Tell();
    BYTE* header = Room(s.header, kLocalHeaderSize);
    if (reader.Read(header, kLocalHeaderSize) < kLocalHeaderSize) return 0;
    DWORD headerLength = LocalHeaderLength(header);
    header = Room(s.header, headerLength);
    DWORD got = kLocalHeaderSize + static_cast<DWORD>(reader.Read(header + kLocalHeaderSize,
                                                                  headerLength - kLocalHeaderSize));
    if (got < headerLength) return 0;  // the archive ends inside the header
    m_curDisk.Write(header, headerLength, 0);

    std::string name(reinterpret_cast<const char*>(header) + kLocalHeaderSize,
                     Get16(header + kLocNameLength));
    SpanState::Place where{m_curDisk.m_nBlockVolume, m_curDisk.m_dwBlockOffset};
    s.copied[headerPos] = SpanState::Copied{where, name};
    s.copiedByName[name] = where;
    CString key(name.data(), static_cast<int>(name.size()));
    CObject* previous = nullptr;
    if (m_mapFiles.Lookup(key, previous)) delete previous;
    m_mapFiles.SetAt(key, new FileSpanInfo(static_cast<WORD>(where.volume), where.offset));

    ULONGLONG dataStart = headerPos + headerLength;
    ULONGLONG boundary = s.directoryStart;
    ULONGLONG length = DataLength(headerPos, dataStart, header, headerLength, name, boundary);
    bool wide = HasZip64Extra(header, headerLength);
    CopyEntryData(length);
    ULONGLONG room = length;
    if (Get16(header + kLocFlags) & kFlagDescriptor) {
        DWORD descriptor = DescriptorLength(dataStart + length, boundary, wide);
        BYTE bytes[kZip64SignedDescriptorSize];
        DWORD read = static_cast<DWORD>(reader.Read(bytes, descriptor));
        if (read) m_curDisk.Write(bytes, read, 0);
        room += read;
    }
    s.copied[headerPos].where.room = room;
    s.copiedByName[name].room = room;
    return 1;
}

// The entry's compressed size from its directory header, found by the header's position
// (sound also when names repeat), else by name. Data that would run past the next entry or
// into the directory fails the span: the set would keep the directory's size, and its join
// would refuse it.
ULONGLONG CZipSpan::DataLength(ULONGLONG header, ULONGLONG dataStart, const BYTE* local,
                               DWORD localLength, const std::string& name, ULONGLONG& boundary) {
    auto WithinRoom = [&](ULONGLONG compressed, ULONGLONG room, const std::string& entry) {
        if (compressed <= room) return compressed;
        Fail("the data of " + CString(entry) + " runs past the next entry: the archive is damaged",
             m_curDisk.m_nVolume);
        throw SpanFailed;
    };
    SpanState& s = *m_state;
    ULONGLONG limit = s.directoryStart > dataStart ? s.directoryStart - dataStart : 0;
    auto byOffset = s.byOffset.find(header);
    if (byOffset != s.byOffset.end() && s.directory[byOffset->second].name == name) {
        auto next = std::upper_bound(s.localOffsets.begin(), s.localOffsets.end(), header);
        if (next != s.localOffsets.end() && *next < s.directoryStart) boundary = *next;
        ULONGLONG room = boundary > dataStart ? boundary - dataStart : 0;
        return WithinRoom(s.directory[byOffset->second].compressed, room, name);
    }
    auto byName = s.byName.find(name);
    if (byName != s.byName.end())
        return WithinRoom(s.directory[byName->second].compressed, limit, name);
    // Not in the directory: the local header's own size when it states one, else up to the
    // next local header, so that the entries after it are still copied as entries.
    if (!(Get16(local + kLocFlags) & kFlagDescriptor))
        return std::min<ULONGLONG>(LocalCompressedSize(local, localLength), limit);
    BlockReader& reader = *s.reader;
    reader.Seek(dataStart);
    ULONGLONG end =
        reader.SeekSignature(kLocalHeaderSig, s.directoryStart) ? reader.Tell() : s.directoryStart;
    reader.Seek(dataStart);
    boundary = end;
    return end > dataStart ? end - dataStart : 0;
}

// 16 bytes when the descriptor carries its signature, else 12 (20 and 24 with the 8-byte sizes
// of a ZIP64 entry); where the next entry's start is known, it decides (a CRC-32 may equal the
// signature).
DWORD CZipSpan::DescriptorLength(ULONGLONG dataEnd, ULONGLONG boundary, bool wide) {
    BlockReader& reader = *m_state->reader;
    DWORD plain = wide ? kZip64DescriptorSize : kDescriptorSize;
    DWORD signedSize = plain + 4;
    ULONGLONG room = boundary > dataEnd ? boundary - dataEnd : 0;
    if (room < plain) return static_cast<DWORD>(room);
    if (room == plain) return plain;
    DWORD first = 0;
    bool sign = reader.Peek32(first) && first == kSpanMarker;
    return sign ? signedSize : plain;
}

// Small entries pass through memory with the headers around them; the bulk of a large one is
// copied from the archive file to the volumes inside the kernel.
void CZipSpan::CopyEntryData(ULONGLONG length) {
    constexpr ULONGLONG kInKernelFrom = 1 << 20;
    BlockReader& reader = *m_state->reader;
    std::vector<BYTE>& chunk = m_state->chunk;
    size_t buffered = static_cast<size_t>(std::min<ULONGLONG>(length, reader.Buffered()));
    if (length - buffered < kInKernelFrom) buffered = static_cast<size_t>(length);
    if (buffered > 0) {
        BYTE* bytes = Room(chunk, buffered);
        size_t got = reader.Read(bytes, buffered);
        m_curDisk.Write(bytes, static_cast<DWORD>(got), 1);
        length = got < buffered ? 0 : length - buffered;
    }
    if (length == 0) return;
    m_curDisk.CopyFrom(m_file, length);
    reader.Seek(m_file.GetPosition());
}

namespace {

// Whether the header, read back as the join reads it, names the entry and the place its local
// header was written: a damaged header (its ZIP64 field cut short) may not take the place.
bool StatesPlace(std::vector<BYTE>& header, const std::string& name, int volume, ULONGLONG offset) {
    CMemFile bytes(header.data(), static_cast<UINT>(header.size()));
    BlockReader reader(bytes, std::max<size_t>(header.size(), 1));  // not a 64 KB block per header
    std::vector<CentralEntry> back = ReadCentralEntries(reader, 0, header.size());
    return back.size() == 1 && back[0].name == name &&
           back[0].disk == static_cast<DWORD>(volume - 1) && back[0].localOffset == offset;
}

}  // namespace

void CZipSpan::WriteCentralDirectory() {
    SpanState& s = *m_state;
    m_dwDirStartVolume = static_cast<DWORD>(std::max(m_curDisk.m_nVolume, 1));
    m_dwDirStartOffset =
        m_curDisk.m_file.m_hFile != CFile::hFileNull ? m_curDisk.GetFilePosition() : 0;
    m_dwEntriesOnLastVolume = 0;
    s.entriesWritten = 0;
    // A damaged directory may hold two headers of one entry. Only the last is written, as
    // CZipInfo keeps the last record of a name: two headers of one entry make a set whose join
    // finds one entry's data running into the next.
    // Where the entry of a header was written: at its own offset when the names agree, else
    // the last copy of its name.
    auto placeOf = [&](const CentralEntry& entry) -> const SpanState::Place& {
        auto copied = s.copied.find(entry.localOffset);
        if (copied != s.copied.end() && copied->second.name == entry.name)
            return copied->second.where;
        auto byName = s.copiedByName.find(entry.name);
        if (byName == s.copiedByName.end()) {
            Fail("the central directory names " + CString(entry.name) +
                     ", which has no local header in the archive",
                 m_curDisk.m_nVolume);
            throw SpanFailed;
        }
        return byName->second;
    };
    std::vector<const SpanState::Place*> places(s.directory.size());
    std::map<std::pair<int, DWORD>, size_t> lastAtPlace;
    for (size_t i = 0; i < s.directory.size(); ++i) {
        places[i] = &placeOf(s.directory[i]);
        lastAtPlace[{places[i]->volume, places[i]->offset}] = i;
    }
    // A header placed at another header's copy (by name) must fit the data copied there, as
    // the join checks: its data may not run into the next entry.
    for (size_t i = 0; i < s.directory.size(); ++i) {
        const CentralEntry& entry = s.directory[i];
        if (lastAtPlace[{places[i]->volume, places[i]->offset}] != i ||
            entry.compressed <= places[i]->room)
            continue;
        Fail("the data of " + CString(entry.name) +
                 " runs past the next entry: the archive is damaged",
             m_curDisk.m_nVolume);
        throw SpanFailed;
    }
    int countedVolume = 0;
    for (size_t i = 0; i < s.directory.size(); ++i) {
        const CentralEntry& entry = s.directory[i];
        const SpanState::Place& where = *places[i];
        if (lastAtPlace[{where.volume, where.offset}] != i) continue;
        s.central.resize(entry.length);
        s.reader->Seek(entry.position);
        s.central.resize(s.reader->Read(s.central.data(), entry.length));
        // A header whose name, extra field or comment runs past the end of the archive is cut.
        if (s.central.size() < std::max<size_t>(entry.length, kCentralHeaderSize)) {
            Fail("the central directory is cut short by the end of the archive",
                 m_curDisk.m_nVolume);
            throw SpanFailed;
        }
        SetEntryPlace(s.central, static_cast<DWORD>(where.volume - 1), where.offset);
        if (!StatesPlace(s.central, entry.name, where.volume, where.offset)) {
            Fail("the central directory header of " + CString(entry.name) +
                     " cannot state where its entry was written: the archive is damaged",
                 m_curDisk.m_nVolume);
            throw SpanFailed;
        }
        s.directoryWritten += s.central.size();
        m_curDisk.Write(s.central.data(), static_cast<DWORD>(s.central.size()), 0);
        if (s.entriesWritten++ == 0) {
            m_dwDirStartVolume = static_cast<DWORD>(m_curDisk.m_nBlockVolume);
            m_dwDirStartOffset = m_curDisk.m_dwBlockOffset;
        }
        // A header counts on the volume where it begins.
        if (m_curDisk.m_nBlockVolume != countedVolume) {
            countedVolume = m_curDisk.m_nBlockVolume;
            m_dwEntriesOnLastVolume = 0;
        }
        ++m_dwEntriesOnLastVolume;
    }
    m_nLastHeaderVolume = countedVolume;
}

// The end record, after a ZIP64 end record and its locator when a value does not fit; the
// whole block is written unsplit, on a volume of its own when it does not fit the current one.
void CZipSpan::WriteEndRecord() {
    SpanState& s = *m_state;
    CurDisk_t& disk = m_curDisk;
    EndValues values;
    values.comment = s.end.Comment();
    TakeVersions(values, s.end, s.central);
    // What was written, not what the source's end record says: a damaged record would make
    // a set that its join refuses.
    values.entriesTotal = s.entriesWritten;
    values.dirSize = s.directoryWritten;
    values.dirDisk = m_dwDirStartVolume - 1;
    values.dirOffset = m_dwDirStartOffset;
    bool open = disk.m_file.m_hFile != CFile::hFileNull;
    int volume = disk.m_nVolume;
    values.thisDisk = static_cast<DWORD>(volume - 1);
    values.entriesHere = volume == m_nLastHeaderVolume ? m_dwEntriesOnLastVolume : 0;
    std::vector<BYTE> block = BuildEnd(values, open ? disk.GetFilePosition() : 0);
    bool fits = open && disk.m_dwWritten < disk.m_dwCapacity &&
                disk.m_dwWritten + block.size() <= disk.m_dwCapacity;
    if (!fits) {
        values.thisDisk = static_cast<DWORD>(volume);
        values.entriesHere = 0;
        block = BuildEnd(values, 0);
    }
    disk.Write(block.data(), static_cast<DWORD>(block.size()), 0);
}
