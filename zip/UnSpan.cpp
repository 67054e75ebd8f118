// Joining a volume set into one archive and repairing its directory for a single volume.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "KstFileService.h"
#include "KstWin32.h"
#include "KstZipSpan.h"
#include "internal/BlockReader.h"
#include "internal/FindSignature.h"
#include "internal/SourceDirectory.h"
#include "internal/ZipFormat.h"

using namespace kst::zip;

namespace {

// Where each volume's offsets start in the joined archive (volume 1's count its marker, which
// the join drops). Empty when the join did not write the archive.
using VolumeStarts = std::vector<LONGLONG>;

struct Patch {
    ULONGLONG header;
    DWORD localOffset;
    bool known;
};

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

class Repairer {
public:
    Repairer(CFile& file, const VolumeStarts& starts) : m_file(file), m_starts(starts) {}

    void Run();

private:
    std::vector<CentralEntry> DirectoryFromEndRecord(ULONGLONG endRecord);
    std::vector<CentralEntry> DirectoryByScan();
    bool LocalHeaderAt(ULONGLONG position, const std::string& name);
    bool Resolve(const CentralEntry& entry, DWORD& offset);
    void IndexLocalHeaders();

    void PatchDirectory(const std::vector<Patch>& patches);

    CFile& m_file;
    WindowReader m_headers{m_file};
    const VolumeStarts& m_starts;
    ULONGLONG m_length = 0;
    bool m_indexed = false;
    ULONGLONG m_afterLastEntry = 0;
    std::unordered_map<std::string, DWORD> m_localIndex;
};

bool Repairer::LocalHeaderAt(ULONGLONG position, const std::string& name) {
    if (position + kLocalHeaderSize + name.size() > m_length) return false;
    const BYTE* bytes = m_headers.Read(position, kLocalHeaderSize + name.size());
    return bytes && Get32(bytes) == kLocalHeaderSig &&
           Get16(bytes + kLocNameLength) == name.size() &&
           std::equal(name.begin(), name.end(), bytes + kLocalHeaderSize);
}

// The scan of local headers, each entry skipped by its local compressed size. Entries with a
// data descriptor state 0 there, so this index only serves headers the directory cannot place.
void Repairer::IndexLocalHeaders() {
    m_indexed = true;
    m_file.Seek(0, CFile::begin);
    WORD offset = 0;
    DWORD position = 0;
    while (FindSignature(m_file, kLocalHeaderSig, offset, position, nullptr, false)) {
        BYTE header[kLocalHeaderSize] = {};
        m_file.Seek(position, CFile::begin);
        if (m_file.Read(header, kLocalHeaderSize) < kLocalHeaderSize) break;
        std::string name(Get16(header + kLocNameLength), '\0');
        name.resize(m_file.Read(name.data(), static_cast<UINT>(name.size())));
        m_localIndex[name] = position;
        ULONGLONG next = static_cast<ULONGLONG>(position) + LocalHeaderLength(header) +
                         Get32(header + kLocCompressed);
        m_afterLastEntry = next;
        if (next >= m_length) break;
        m_file.Seek(static_cast<LONGLONG>(next), CFile::begin);
    }
}

bool Repairer::Resolve(const CentralEntry& entry, DWORD& offset) {
    LONGLONG base = 0;
    if (!m_starts.empty()) {
        base = entry.disk < m_starts.size() ? m_starts[entry.disk] : -1;
    } else if (entry.disk != 0) {
        base = -1;
    }
    LONGLONG candidate = base + static_cast<LONGLONG>(entry.localOffset);
    if (base >= -4 && candidate >= 0 &&
        LocalHeaderAt(static_cast<ULONGLONG>(candidate), entry.name)) {
        offset = static_cast<DWORD>(candidate);
        return true;
    }
    if (!m_indexed) IndexLocalHeaders();
    auto found = m_localIndex.find(entry.name);
    if (found == m_localIndex.end()) return false;
    offset = found->second;
    return true;
}

std::vector<CentralEntry> Repairer::DirectoryFromEndRecord(ULONGLONG endRecord) {
    std::vector<BYTE> record = ReadEndRecord(m_file, endRecord);
    WORD disk = Get16(record.data() + kEndDirDisk);
    LONGLONG base =
        m_starts.empty() ? (disk == 0 ? 0 : -1) : (disk < m_starts.size() ? m_starts[disk] : -1);
    LONGLONG start = base + static_cast<LONGLONG>(Get32(record.data() + kEndDirOffset));
    if (base < -4 || start < 0 || static_cast<ULONGLONG>(start) >= endRecord) return {};
    m_file.Seek(start, CFile::begin);
    BlockReader reader(m_file);
    DWORD signature = 0;
    if (!reader.Peek32(signature) || signature != kCentralHeaderSig) return {};
    return ReadCentralEntries(reader, static_cast<ULONGLONG>(start), endRecord);
}

std::vector<CentralEntry> Repairer::DirectoryByScan() {
    if (!m_indexed) IndexLocalHeaders();
    m_file.Seek(static_cast<LONGLONG>(std::min(m_afterLastEntry, m_length)), CFile::begin);
    BlockReader reader(m_file);
    return ReadCentralEntries(reader, reader.Tell(), m_length);
}

// The headers' volume numbers become 0 and their local offsets those found; the directory is
// read, patched in memory and written back at once.
void Repairer::PatchDirectory(const std::vector<Patch>& patches) {
    if (patches.empty()) return;
    ULONGLONG first = m_length, last = 0;
    for (const Patch& patch : patches) {
        first = std::min(first, patch.header);
        last = std::max(last, patch.header + kCentralHeaderSize);
    }
    last = std::min(last, m_length);
    if (first >= last) return;
    std::vector<BYTE> bytes(static_cast<size_t>(last - first));
    m_file.Seek(static_cast<LONGLONG>(first), CFile::begin);
    bytes.resize(m_file.Read(bytes.data(), static_cast<UINT>(bytes.size())));
    for (const Patch& patch : patches) {
        size_t at = static_cast<size_t>(patch.header - first);
        if (at + kCentralHeaderSize > bytes.size()) continue;
        Put16(bytes.data() + at + kCenDisk, 0);
        if (patch.known) Put32(bytes.data() + at + kCenLocalOffset, patch.localOffset);
    }
    m_file.Seek(static_cast<LONGLONG>(first), CFile::begin);
    m_file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
}

void Repairer::Run() {
    m_length = m_file.GetLength();
    ULONGLONG endRecord = 0;
    bool haveEnd = LocateEndRecord(m_file, endRecord);
    std::vector<CentralEntry> directory;
    if (haveEnd) directory = DirectoryFromEndRecord(endRecord);
    if (directory.empty()) directory = DirectoryByScan();

    std::vector<Patch> patches;
    for (const CentralEntry& entry : directory) {
        Patch patch{entry.position, entry.localOffset, false};
        patch.known = Resolve(entry, patch.localOffset);
        patches.push_back(patch);
    }
    PatchDirectory(patches);
    if (!haveEnd || endRecord + kEndRecordSize > m_length) return;
    BYTE fields[kEndRecordSize];
    m_file.Seek(static_cast<LONGLONG>(endRecord), CFile::begin);
    m_file.Read(fields, kEndRecordSize);
    Put16(fields + kEndThisDisk, 0);
    Put16(fields + kEndDirDisk, 0);
    // A set whose directory spread over several volumes counts only the last volume's
    // headers: the single archive counts them all.
    WORD count = static_cast<WORD>(directory.size());
    Put16(fields + kEndEntriesHere, count);
    Put16(fields + kEndEntriesTotal, count);
    DWORD start = directory.empty() ? static_cast<DWORD>(m_length)
                                    : static_cast<DWORD>(directory.front().position);
    Put32(fields + kEndDirOffset, start);
    m_file.Seek(static_cast<LONGLONG>(endRecord), CFile::begin);
    m_file.Write(fields, kEndRecordSize);
}

}  // namespace

int CZipSpan::UnSpan(CString folder, int count) {
    if (count < 1) return 0;
    VolumeStarts starts;
    CFile archive;
    if (archive.Open(m_strArchivePath, CFile::modeCreate | CFile::modeWrite)) {
        CurDisk_t& disk = m_curDisk;
        disk.m_strFolder = folder;
        disk.m_pOwner = this;
        disk.m_dwCapacity = m_dwMaxSize;
        disk.m_nVolume = 0;
        disk.m_bOpen = 0;
        disk.m_strArchiveName = CFileService::GetName(m_strArchivePath);
        ULONGLONG joined = 0;
        for (int n = 1; n <= count; ++n) {
            disk.m_nVolume = n;
            disk.m_strVolumePath = DiskName(folder, disk.m_strArchiveName, n);
            CFile volume;
            if (!GetNextVolume(volume, disk.m_strVolumePath)) {
                archive.Close();
                return 0;
            }
            LONGLONG skipped = 0;
            if (n == 1) {
                BYTE head[4] = {};
                if (volume.Read(head, 4) == 4 && Get32(head) == kSpanMarker)
                    skipped = 4;
                else
                    volume.Seek(0, CFile::begin);
            }
            starts.push_back(static_cast<LONGLONG>(joined) - skipped);
            ULONGLONG rest = volume.GetLength() - volume.GetPosition();
            ULONGLONG copied = 0;
            if (!kst::CopyFileData(volume.m_hFile, archive.m_hFile, rest, &copied))
                CFileException::ThrowOsError(static_cast<LONG>(GetLastError()),
                                             archive.GetFilePath());
            joined += copied;
            volume.Close();
            ShowProgress(static_cast<double>(n) / count, 0);
        }
        archive.Close();
    }
    CFile file;
    if (!file.Open(m_strArchivePath, CFile::modeReadWrite | CFile::shareExclusive)) {
        MessageError();
        return 0;
    }
    Repairer(file, starts).Run();
    file.Close();
    ShowProgress(100.0, 0);
    return 1;
}
