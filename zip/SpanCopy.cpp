// The multi-volume way of DoSpan: entries, then the rewritten directory and end record.
#include <algorithm>

#include "KstZipSpan.h"
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
    ULONGLONG length = m_file.GetLength();
    if (!LocateEndRecord(m_file, s.endRecord)) s.endRecord = length;
    s.reader = std::make_unique<BlockReader>(m_file);
    s.directoryStart = std::min<ULONGLONG>(m_pInfo->GetCentralDirPosition(), s.endRecord);
    s.directory = ReadCentralEntries(*s.reader, s.directoryStart, s.endRecord);
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
    FileSpanInfo where(static_cast<WORD>(m_curDisk.m_nBlockVolume), m_curDisk.m_dwBlockOffset);
    s.copied[headerPos] = SpanState::Copied{where, name};
    CString key(name.data(), static_cast<int>(name.size()));
    CObject* previous = nullptr;
    if (m_mapFiles.Lookup(key, previous)) delete previous;
    m_mapFiles.SetAt(key, new FileSpanInfo(where));

    ULONGLONG dataStart = headerPos + headerLength;
    ULONGLONG boundary = s.directoryStart;
    ULONGLONG length = DataLength(headerPos, dataStart, header, name, boundary);
    CopyEntryData(length);
    if (Get16(header + kLocFlags) & kFlagDescriptor) {
        DWORD descriptor = DescriptorLength(dataStart + length, boundary);
        BYTE bytes[kSignedDescriptorSize];
        DWORD read = static_cast<DWORD>(reader.Read(bytes, descriptor));
        if (read) m_curDisk.Write(bytes, read, 0);
    }
    return 1;
}

// The entry's compressed size from its directory header, found by the header's position
// (sound also when names repeat), else by name; never running past the next entry.
ULONGLONG CZipSpan::DataLength(ULONGLONG header, ULONGLONG dataStart, const BYTE* local,
                               const std::string& name, ULONGLONG& boundary) {
    SpanState& s = *m_state;
    ULONGLONG limit = s.directoryStart > dataStart ? s.directoryStart - dataStart : 0;
    auto byOffset = s.byOffset.find(header);
    if (byOffset != s.byOffset.end() && s.directory[byOffset->second].name == name) {
        auto next = std::upper_bound(s.localOffsets.begin(), s.localOffsets.end(), header);
        if (next != s.localOffsets.end() && *next < s.directoryStart) boundary = *next;
        ULONGLONG room = boundary > dataStart ? boundary - dataStart : 0;
        return std::min<ULONGLONG>(s.directory[byOffset->second].compressed, room);
    }
    auto byName = s.byName.find(name);
    if (byName != s.byName.end())
        return std::min<ULONGLONG>(s.directory[byName->second].compressed, limit);
    // Not in the directory: the local header's own size when it states one, else up to the
    // next local header, so that the entries after it are still copied as entries.
    if (!(Get16(local + kLocFlags) & kFlagDescriptor))
        return std::min<ULONGLONG>(Get32(local + kLocCompressed), limit);
    BlockReader& reader = *s.reader;
    reader.Seek(dataStart);
    ULONGLONG end =
        reader.SeekSignature(kLocalHeaderSig, s.directoryStart) ? reader.Tell() : s.directoryStart;
    reader.Seek(dataStart);
    boundary = end;
    return end > dataStart ? end - dataStart : 0;
}

// 16 bytes when the descriptor carries its signature, else 12; where the next entry's start
// is known, it decides (a CRC-32 may equal the signature).
DWORD CZipSpan::DescriptorLength(ULONGLONG dataEnd, ULONGLONG boundary) {
    BlockReader& reader = *m_state->reader;
    ULONGLONG room = boundary > dataEnd ? boundary - dataEnd : 0;
    if (room < kDescriptorSize) return static_cast<DWORD>(room);
    DWORD first = 0;
    bool sign = reader.Peek32(first) && first == kSpanMarker;
    if (room == kDescriptorSize) return kDescriptorSize;
    if (room == kSignedDescriptorSize) return sign ? kSignedDescriptorSize : kDescriptorSize;
    return sign ? kSignedDescriptorSize : kDescriptorSize;
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

void CZipSpan::WriteCentralDirectory() {
    SpanState& s = *m_state;
    m_wDirStartVolume = static_cast<WORD>(std::max(m_curDisk.m_nVolume, 1));
    m_dwDirStartOffset =
        m_curDisk.m_file.m_hFile != CFile::hFileNull ? m_curDisk.GetFilePosition() : 0;
    m_wEntriesOnLastVolume = 0;
    int countedVolume = 0;
    for (size_t i = 0; i < s.directory.size(); ++i) {
        const CentralEntry& entry = s.directory[i];
        const FileSpanInfo* where = nullptr;
        auto copied = s.copied.find(entry.localOffset);
        CObject* byName = nullptr;
        if (copied != s.copied.end() && copied->second.name == entry.name) {
            where = &copied->second.where;
        } else if (m_mapFiles.Lookup(
                       CString(entry.name.data(), static_cast<int>(entry.name.size())), byName)) {
            where = static_cast<const FileSpanInfo*>(byName);
        } else {
            throw SpanFailed;
        }
        BYTE* header = Room(s.header, entry.length);
        s.reader->Seek(entry.position);
        size_t length = s.reader->Read(header, entry.length);
        if (length < kCentralHeaderSize) throw SpanFailed;
        Put16(header + kCenDisk, static_cast<WORD>(where->m_wVolume - 1));
        Put32(header + kCenLocalOffset, where->m_dwOffset);
        m_curDisk.Write(header, static_cast<DWORD>(length), 0);
        if (i == 0) {
            m_wDirStartVolume = static_cast<WORD>(m_curDisk.m_nBlockVolume);
            m_dwDirStartOffset = m_curDisk.m_dwBlockOffset;
        }
        // A header counts on the volume where it begins.
        if (m_curDisk.m_nBlockVolume != countedVolume) {
            countedVolume = m_curDisk.m_nBlockVolume;
            m_wEntriesOnLastVolume = 0;
        }
        ++m_wEntriesOnLastVolume;
    }
    m_nLastHeaderVolume = countedVolume;
}

void CZipSpan::WriteEndRecord() {
    SpanState& s = *m_state;
    std::vector<BYTE> record = kst::zip::ReadEndRecord(m_file, s.endRecord);
    CurDisk_t& disk = m_curDisk;
    bool open = disk.m_file.m_hFile != CFile::hFileNull;
    bool fits = open && disk.m_dwWritten < disk.m_dwCapacity &&
                disk.m_dwWritten + record.size() <= disk.m_dwCapacity;
    int volume = fits ? disk.m_nVolume : disk.m_nVolume + 1;
    Put16(record.data() + kEndThisDisk, static_cast<WORD>(volume - 1));
    Put16(record.data() + kEndDirDisk, static_cast<WORD>(m_wDirStartVolume - 1));
    Put16(record.data() + kEndEntriesHere,
          volume == m_nLastHeaderVolume ? m_wEntriesOnLastVolume : 0);
    Put32(record.data() + kEndDirOffset, m_dwDirStartOffset);
    disk.Write(record.data(), static_cast<DWORD>(record.size()), 0);
}
