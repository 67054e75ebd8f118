// Joining a volume set into one archive, checking what was joined, and rewriting its directory
// and end record for a single volume.
#include <algorithm>
#include <cstring>
#include <cstdarg>
#include <string>
#include <vector>

#include "KstFileService.h"
#include "KstWin32.h"
#include "KstZipSpan.h"
#include "internal/BlockReader.h"
#include "internal/Joiner.h"
#include "internal/SourceDirectory.h"
#include "internal/Zip64.h"
#include "internal/ZipFormat.h"
#include "internal/ZipText.h"

using namespace kst::zip;

namespace {

// Reads small ranges of a file through a window of 64 KiB, so that the local headers checked
// in file order cost a system call per window rather than per header.
class WindowReader {
public:
    explicit WindowReader(CFile& file) : m_file(file) {}

    // The bytes at [position, position + count), or nullptr when the file ends before.
    const BYTE* Read(ULONGLONG position, size_t count) {
        if (position < m_start || position + count > m_start + m_bytes.size()) {
            m_bytes.resize(std::max<size_t>(count, kWindow));
            m_file.Seek(static_cast<LONGLONG>(position), CFile::begin);
            m_bytes.resize(m_file.Read(m_bytes.data(), static_cast<UINT>(m_bytes.size())));
            m_start = position;
            if (count > m_bytes.size()) return nullptr;
        }
        return m_bytes.data() + (position - m_start);
    }

private:
    static constexpr size_t kWindow = 65536;
    CFile& m_file;
    ULONGLONG m_start = 0;
    std::vector<BYTE> m_bytes;
};

CString Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
CString Text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    return text;
}

}  // namespace

// The archive path against the volumes' paths, before anything is opened for writing: a
// name, a symbolic link or a hard link of a volume is the same device and file number.
bool CZipSpan::Joiner::IsOneOfTheVolumes(const CString& name) {
    kst::FileIdentity archive;
    if (!kst::GetFileIdentity(m_owner.m_strArchivePath, &archive)) return false;
    for (int n = 1; n <= m_count; ++n) {
        kst::FileIdentity volume;
        if (kst::GetFileIdentity(m_owner.DiskName(m_folder, name, n), &volume) &&
            volume == archive) {
            Fail(Text("the archive is volume %d of the set", n), n);
            return true;
        }
    }
    return false;
}

bool CZipSpan::Joiner::CheckAsOneVolume() {
    m_checkOnly = true;
    if (!m_archive.Open(m_owner.m_strArchivePath, CFile::modeRead | CFile::shareDenyNone))
        return Fail("the archive cannot be opened: " + SystemErrorText(GetLastError()), 0);
    // The positions are the archive's own; a span marker at its start is what the join drops.
    Volume v;
    v.end = m_archive.GetLength();
    BYTE head[4] = {};
    if (m_archive.Read(head, 4) == 4 && Get32(head) == kSpanMarker) v.start = 4;
    m_volumes.push_back(v);
    m_last = v.end > v.start ? 1 : 0;
    return Rebuild();
}

bool CZipSpan::Joiner::Copy() {
    CurDisk_t& disk = m_owner.m_curDisk;
    disk.m_strFolder = m_folder;
    disk.m_pOwner = &m_owner;
    disk.m_dwCapacity = m_owner.m_dwMaxSize;
    disk.m_nVolume = 0;
    disk.m_bOpen = 0;
    disk.m_strArchiveName = CFileService::GetName(m_owner.m_strArchivePath);
    if (IsOneOfTheVolumes(disk.m_strArchiveName)) return false;
    if (!m_archive.Open(m_owner.m_strArchivePath,
                        CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive)) {
        DWORD error = GetLastError();
        m_owner.MessageError();
        return Fail("the archive cannot be created: " + SystemErrorText(error), 0);
    }
    kst::GetFileIdentity(m_archive.m_hFile, &m_archiveId);
    m_volumes.reserve(static_cast<size_t>(m_count));
    for (int n = 1; n <= m_count; ++n) {
        if (!CopyVolume(n)) return false;
        m_owner.ShowProgress(static_cast<double>(n) / m_count, 0);
    }
    return true;
}

bool CZipSpan::Joiner::CopyVolume(int n) {
    CurDisk_t& disk = m_owner.m_curDisk;
    disk.m_nVolume = n;
    disk.m_strVolumePath = m_owner.DiskName(m_folder, disk.m_strArchiveName, n);
    CFile volume;
    SetLastError(0);
    if (!m_owner.GetNextVolume(volume, disk.m_strVolumePath)) {
        DWORD error = GetLastError();
        return Fail(Text("volume %d (%s) cannot be opened", n, disk.m_strVolumePath.c_str()) +
                        (error ? ": " + SystemErrorText(error) : CString()),
                    n);
    }
    kst::FileIdentity id;
    if (kst::GetFileIdentity(volume.m_hFile, &id) && id == m_archiveId) {
        m_archiveIsVolume = true;
        return Fail(Text("the archive is volume %d of the set", n), n);
    }
    Volume v;
    v.start = v.end = m_archive.GetPosition();
    v.base = static_cast<LONGLONG>(v.start);
    ULONGLONG length = volume.GetLength();
    ULONGLONG from = volume.GetPosition();
    if (n == 1 && from == 0) {
        BYTE head[4] = {};
        if (volume.Read(head, 4) == 4 && Get32(head) == kSpanMarker) {
            from = 4;
            v.base -= 4;  // the volume's offsets count the marker the join drops
        } else {
            volume.Seek(0, CFile::begin);
        }
    }
    ULONGLONG rest = length > from ? length - from : 0;
    ULONGLONG copied = 0;
    if (!kst::CopyFileData(volume.m_hFile, m_archive.m_hFile, rest, &copied) || copied < rest) {
        DWORD error = GetLastError();
        return Fail(Text("copying volume %d into the archive failed: ", n) +
                        (copied < rest && error == 0 ? CString("the volume ended early")
                                                     : SystemErrorText(error)),
                    n);
    }
    volume.Close();
    v.end = v.start + copied;
    if (copied > 0) m_last = n;
    m_volumes.push_back(v);
    return true;
}

// The end record must end the last volume, whole, and count the volumes given (where a record
// longer than a volume began counts); the directory it names must be there.
bool CZipSpan::Joiner::Rebuild() {
    if (m_last == 0) return Fail("the volumes are empty", 1);
    ArchiveEnd end;
    ULONGLONG length = m_volumes.back().end;
    if (!LocateEnd(m_archive, end) ||
        end.position + end.record.size() < m_volumes[static_cast<size_t>(m_last - 1)].start)
        return Fail(Text("volume %d holds no end of central directory record: it is not the "
                         "last volume of the set",
                         m_last),
                    m_last);
    if (end.record.size() != kEndRecordSize + Get16(end.record.data() + kEndCommentLength) ||
        end.position + end.record.size() != length)
        return Fail(Text("the end of central directory record on volume %d is cut short or "
                         "followed by other bytes",
                         m_last),
                    m_last);
    int holder = 1;
    while (holder < m_last && m_volumes[static_cast<size_t>(holder)].start <= end.position)
        ++holder;
    if (static_cast<ULONGLONG>(end.thisDisk) + 1 != static_cast<ULONGLONG>(holder))
        return Fail(Text("the set has %llu volumes, not %d",
                         static_cast<unsigned long long>(end.thisDisk) + 1, m_last),
                    m_last);
    ULONGLONG start = 0;
    if (!FindDirectory(end, start)) return false;
    m_archive.Seek(static_cast<LONGLONG>(start), CFile::begin);
    BlockReader reader(m_archive);
    std::vector<CentralEntry> entries = ReadCentralEntries(reader, start, end.blockStart);
    ULONGLONG found = entries.size();
    // Writers before ZIP64 count modulo 65,536, or stop at 0xFFFF.
    bool countAgrees = found == end.entriesTotal ||
                       (!end.zip64 && (found % 65536 == end.entriesTotal ||
                                       (end.entriesTotal == 0xFFFF && found > 0xFFFF)));
    if (!countAgrees)
        return Fail(Text("the central directory holds %llu entries where the end record counts "
                         "%llu: a volume is damaged",
                         static_cast<unsigned long long>(found),
                         static_cast<unsigned long long>(end.entriesTotal)),
                    m_last);
    std::vector<Placed> placed;
    if (!PlaceEntries(entries, placed)) return false;
    if (m_checkOnly) return true;
    return WriteDirectory(entries, placed, end, start);
}

bool CZipSpan::Joiner::FindDirectory(const ArchiveEnd& end, ULONGLONG& start) {
    int volume = static_cast<int>(std::min<ULONGLONG>(end.dirDisk, 0x7FFFFFFF)) + 1;
    bool known = end.dirDisk < m_volumes.size();
    LONGLONG at = known ? m_volumes[end.dirDisk].base + static_cast<LONGLONG>(end.dirOffset) : -1;
    DWORD signature = 0;
    if (at >= 0 && static_cast<ULONGLONG>(at) < end.blockStart) {
        WindowReader reader(m_archive);
        const BYTE* bytes = reader.Read(static_cast<ULONGLONG>(at), 4);
        if (bytes) signature = Get32(bytes);
    }
    if (signature != kCentralHeaderSig)
        return Fail(Text("the central directory is not where the end record says (volume %d, "
                         "offset %llu)",
                         volume, static_cast<unsigned long long>(end.dirOffset)),
                    known ? volume : m_last);
    start = static_cast<ULONGLONG>(at);
    return true;
}

// Every entry's local header where its directory header says, and its data before the next
// entry: a short, emptied or misplaced volume moves what follows it.
bool CZipSpan::Joiner::PlaceEntries(const std::vector<CentralEntry>& entries,
                                    std::vector<Placed>& placed) {
    WindowReader headers(m_archive);
    placed.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const CentralEntry& e = entries[i];
        int volume = static_cast<int>(std::min<ULONGLONG>(e.disk, 0x7FFFFFFF)) + 1;
        const char* name = e.name.c_str();
        bool inSet = e.disk < m_volumes.size();
        LONGLONG at = inSet ? m_volumes[e.disk].base + static_cast<LONGLONG>(e.localOffset) : -1;
        const BYTE* bytes = nullptr;
        size_t headerLength = kLocalHeaderSize + e.name.size();
        if (at >= 0 && static_cast<ULONGLONG>(at) >= m_volumes[e.disk].start &&
            static_cast<ULONGLONG>(at) + headerLength <= m_volumes[e.disk].end)
            bytes = headers.Read(static_cast<ULONGLONG>(at), headerLength);
        if (!bytes || Get32(bytes) != kLocalHeaderSig ||
            Get16(bytes + kLocNameLength) != e.name.size() ||
            std::memcmp(e.name.data(), bytes + kLocalHeaderSize, e.name.size()) != 0)
            return Fail(Text("the local header of %s is not where the central directory says "
                             "(volume %d, offset %llu)",
                             name, volume, static_cast<unsigned long long>(e.localOffset)),
                        inSet ? volume : m_last);
        Placed p;
        p.local = static_cast<ULONGLONG>(at);
        p.dataEnd = p.local + LocalHeaderLength(bytes) + e.compressed;
        p.entry = i;
        placed.push_back(p);
    }
    std::vector<const Placed*> order;
    order.reserve(placed.size());
    for (const Placed& p : placed) order.push_back(&p);
    std::sort(order.begin(), order.end(),
              [](const Placed* a, const Placed* b) { return a->local < b->local; });
    ULONGLONG next = entries.empty() ? m_archive.GetLength() : entries.front().position;
    for (size_t k = order.size(); k-- > 0;) {
        // Headers named twice share one place: the next place is the next other one.
        if (k + 1 < order.size() && order[k + 1]->local != order[k]->local)
            next = order[k + 1]->local;
        if (order[k]->dataEnd <= next) continue;
        const CentralEntry& e = entries[order[k]->entry];
        int volume = static_cast<int>(std::min<ULONGLONG>(e.disk, 0x7FFFFFFF)) + 1;
        return Fail(Text("the data of %s runs into what follows it: a volume from volume %d on "
                         "is short, empty or out of order",
                         e.name.c_str(), volume),
                    volume);
    }
    return true;
}

// The directory is written anew from its start: each header names volume 0 and the local
// header's place in the joined archive (in ZIP64 fields where it does not fit), then the end
// record, after a ZIP64 end record and locator when a value needs them.
bool CZipSpan::Joiner::WriteDirectory(const std::vector<CentralEntry>& entries,
                                      const std::vector<Placed>& placed, const ArchiveEnd& end,
                                      ULONGLONG start) {
    std::vector<BYTE> directory;
    std::vector<BYTE> header;
    m_archive.Seek(static_cast<LONGLONG>(start), CFile::begin);
    BlockReader reader(m_archive);
    for (size_t i = 0; i < entries.size(); ++i) {
        reader.Seek(entries[i].position);
        header.resize(entries[i].length);
        header.resize(reader.Read(header.data(), header.size()));
        SetEntryPlace(header, 0, placed[i].local);
        directory.insert(directory.end(), header.begin(), header.end());
    }
    EndValues values;
    values.entriesHere = values.entriesTotal = entries.size();
    values.dirSize = directory.size();
    values.dirOffset = start;
    values.comment = end.Comment();
    TakeVersions(values, end, header);
    std::vector<BYTE> block = BuildEnd(values, start + directory.size());
    directory.insert(directory.end(), block.begin(), block.end());
    m_archive.Seek(static_cast<LONGLONG>(start), CFile::begin);
    m_archive.Write(directory.data(), static_cast<UINT>(directory.size()));
    m_archive.SetLength(start + directory.size());
    ArchiveEnd written;
    if (!LocateEnd(m_archive, written) || written.entriesTotal != entries.size() ||
        written.dirOffset != start)
        return Fail("the end record written cannot be read back", m_last);
    return true;
}

int CZipSpan::UnSpan(CString folder, int count) {
    m_strFailure.Empty();
    m_nFailureVolume = 0;
    if (count < 1) {
        Fail(Text("%d is no number of volumes", count), 0);
        return 0;
    }
    try {
        Joiner joiner(*this, folder, count);
        if (!joiner.Run()) return 0;
    } catch (CException* error) {
        Fail(ExceptionText(error), m_curDisk.m_nVolume);
        error->Delete();
        return 0;
    } catch (...) {
        Fail("an unexpected error", m_curDisk.m_nVolume);
        return 0;
    }
    ShowProgress(100.0, 0);
    return 1;
}
