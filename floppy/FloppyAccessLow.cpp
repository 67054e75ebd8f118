// The diskette copy: the FAT12 walk over the sector reads of either family.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "KstFileService.h"
#include "KstFloppyAccessLow.h"
#include "KstTraceLog.h"
#include "KstWin32.h"
#include "files/internal/SharedPathHelpers.h"
#include "internal/Fat12.h"
#include "internal/SectorReads.h"
#include "platform/system/internal/CodePage.h"

namespace kst::floppy {
namespace {

constexpr DWORD kEntrySize = 32;
constexpr DWORD kEntriesPerSector = kSectorSize / kEntrySize;
constexpr DWORD kNameSize = 11;
// Sectors of the file gathered before they go to the destination in one write.
constexpr DWORD kWriteBatch = 128 * kSectorSize;

void TraceRunReadSector() {
    CTraceLog_Trace("MESSAGE: CFloppyAccessLow::CopyFile(); Run ReadSector()\n");
}

// The handles of one copy, closed on every way out.
struct Handles {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE destination = INVALID_HANDLE_VALUE;
    ~Handles() {
        if (destination != INVALID_HANDLE_VALUE) CloseHandle(destination);
        if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
    }
};

// Sector reads of the diskette through the family's service, each with the caller's retries.
class Diskette {
public:
    Diskette(HANDLE device, bool newerFamily, int retries)
        : m_device(device), m_newerFamily(newerFamily), m_retries(retries) {}

    void SetSectorSize(WORD bytesPerSector) { m_bytesPerSector = bytesPerSector; }

    // bytes at a byte offset of the volume (newer family).
    DWORD ReadBytes(void* buffer, DWORD size, ULONGLONG offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        ReadFileRet(m_device, buffer, size, &read, &at, m_retries);
        return read;
    }

    // One 512-byte sector (older family: by its number; newer: at sector × bytes per sector).
    DWORD ReadOne(void* buffer, ULONGLONG sector) {
        if (m_newerFamily) return ReadBytes(buffer, kSectorSize, sector * m_bytesPerSector);
        DWORD read = 0;
        ReadSector(m_device, buffer, 1, &read, static_cast<DWORD>(sector), m_retries);
        return read;
    }

    bool NewerFamily() const { return m_newerFamily; }

private:
    HANDLE m_device;
    bool m_newerFamily;
    int m_retries;
    WORD m_bytesPerSector = kSectorSize;
};

// The FAT, zero-padded to the bytes that 4096 entries take; empty when it does not read.
std::vector<BYTE> ReadFat(Diskette& disk, const BootSector& boot) {
    std::vector<BYTE> fat;
    DWORD read = 0;
    if (disk.NewerFamily()) {
        // One read of the whole table, but of no more sectors than 4096 entries fill: a damaged
        // boot sector cannot ask for gigabytes.
        DWORD size = DWORD(boot.bytesPerSector) * boot.sectorsPerFat;
        if (boot.bytesPerSector) {
            DWORD sectorsNeeded = (kFatBytesNeeded + boot.bytesPerSector - 1) / boot.bytesPerSector;
            size = std::min(size, sectorsNeeded * boot.bytesPerSector);
        }
        fat.assign(std::max(size, kFatBytesNeeded), 0);
        read =
            disk.ReadBytes(fat.data(), size, ULONGLONG(boot.reservedSectors) * boot.bytesPerSector);
    } else {
        // Sectors 1 onwards, whatever the reserved count, until one does not read.
        DWORD sectors = std::min<DWORD>(boot.sectorsPerFat, kFatBytesNeeded / kSectorSize);
        fat.assign(std::max(sectors * kSectorSize, kFatBytesNeeded), 0);
        for (DWORD i = 0; i < sectors; ++i) {
            TraceRunReadSector();
            read = disk.ReadOne(fat.data() + i * kSectorSize, 1 + i);
            if (read == 0) break;
        }
    }
    if (read == 0) fat.clear();
    return fat;
}

// Looks for name among the entries of one directory sector. 1: found (entry filled); -1: the
// end of the directory; 0: not in this sector. A sector that does not read is passed over: it
// cannot name the file, and the sectors after it still can.
int SearchSector(Diskette& disk, ULONGLONG sector, const char* name, BYTE entry[kEntrySize]) {
    BYTE buffer[kSectorSize];
    if (!disk.NewerFamily()) TraceRunReadSector();
    if (disk.ReadOne(buffer, sector) < kSectorSize) return 0;
    for (DWORD i = 0; i < kEntriesPerSector; ++i) {
        BYTE* at = buffer + i * kEntrySize;
        if (at[0] == 0) return -1;
        for (DWORD k = 0; k < kNameSize; ++k)
            at[k] = static_cast<BYTE>(at[k] >= 'a' && at[k] <= 'z' ? at[k] - 'a' + 'A' : at[k]);
        if (name && std::memcmp(at, name, kNameSize) == 0) {
            std::memcpy(entry, at, kEntrySize);
            return 1;
        }
    }
    return 0;
}

// Finds the entry of name in the root directory (cluster 0) or in the directory that starts at
// cluster. False when the end marker, the root's last sector or the chain's end comes first.
bool FindEntry(Diskette& disk, const FatLayout& layout, const std::vector<BYTE>& fat, WORD cluster,
               const char* name, BYTE entry[kEntrySize]) {
    if (cluster == 0) {
        for (ULONGLONG i = 0; i < layout.rootLength; ++i) {
            int found = SearchSector(disk, layout.rootStart + i, name, entry);
            if (found) return found > 0;
        }
        return false;
    }
    ChainGuard chain;
    for (; InChain(cluster) && chain.FirstVisit(cluster); cluster = Fat12Entry(fat, cluster)) {
        ULONGLONG first = ClusterSector(layout, cluster);
        for (unsigned i = 0; i < layout.sectorsPerCluster; ++i) {
            int found = SearchSector(disk, first + i, name, entry);
            if (found) return found > 0;
        }
    }
    return false;
}

// What goes to the destination, gathered into large writes.
class Destination {
public:
    explicit Destination(HANDLE file) : m_file(file) {
        if (file != INVALID_HANDLE_VALUE) m_buffer.reserve(kWriteBatch);
    }
    ~Destination() { Flush(); }
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    void Write(const BYTE* bytes, DWORD size) {
        if (m_file == INVALID_HANDLE_VALUE) return;
        m_buffer.insert(m_buffer.end(), bytes, bytes + size);
        if (m_buffer.size() >= kWriteBatch) Flush();
    }
    void Flush() {
        if (m_buffer.empty()) return;
        DWORD written = 0;
        WriteFile(m_file, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), &written, nullptr);
        m_buffer.clear();
    }

private:
    HANDLE m_file;
    std::vector<BYTE> m_buffer;
};

DWORD Dword(const BYTE* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (DWORD(at[3]) << 24);
}

}  // namespace
}  // namespace kst::floppy

int CFloppyAccessLow::CopyFileA(const char* source, const char* destination, int verify,
                                CWordArray* badSectors, BYTE retries, WORD maxBad, CWnd* progress,
                                int counter, int, CWnd*) {
    using namespace kst::floppy;
    CTraceLog_Trace("MESSAGE: CFloppyAccessLow::CopyFile(); FileName=%s\n",
                    source ? source : "(null)");
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(source, shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    if (destination) {
        char drive[_MAX_DRIVE], dir[_MAX_DIR], folder[MAX_PATH];
        _splitpath(destination, drive, dir, nullptr, nullptr);
        _makepath(folder, drive, dir, nullptr, nullptr);
        CreateDirTree(folder);
    }
    bool newerFamily = (GetVersion() & 0x80000000u) == 0;
    CString drive = CFileService::GetDrive(shortPath);
    if (!IsFloppyDisk(drive)) {
        ::CopyFileA(source, destination, FALSE);
        CString copy(destination ? destination : "");
        return verify ? VerifyFile(copy) : 1;
    }
    CharToOemBuffA(shortPath, shortPath, length);
    StrToUpper(shortPath, static_cast<WORD>(length));

    Handles handles;
    if (newerFamily)
        handles.device =
            CreateFileA((CString("\\\\.\\") + drive).c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    else
        handles.device =
            CreateFileA("\\\\.\\vwin32", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handles.device == INVALID_HANDLE_VALUE) return 0;
    Diskette disk(handles.device, newerFamily, retries);

    BYTE bootSector[kSectorSize] = {};
    DWORD read = 0;
    if (newerFamily) {
        read = disk.ReadBytes(bootSector, kSectorSize, 0);
    } else {
        TraceRunReadSector();
        read = disk.ReadOne(bootSector, 0);
    }
    if (read == 0) {
        CTraceLog_Trace("%s", kst::detail::FromUtf8ToAnsi(
                                  "ERROR: CFloppyAccessLow::CopyFile(); Не могу прочитать "
                                  "boot-sector дискеты!\n")
                                  .c_str());
        return 0;
    }
    BootSector boot = ParseBootSector(bootSector);
    disk.SetSectorSize(boot.bytesPerSector);
    std::vector<BYTE> fat = ReadFat(disk, boot);
    if (fat.empty()) {
        CTraceLog_Trace("%s",
                        kst::detail::FromUtf8ToAnsi("ERROR: не могу прочитать FAT!\n").c_str());
        return 0;
    }
    FatLayout layout = LayoutOf(boot);

    // The components after the first separator, each looked up in the directory before it.
    const char* rest = std::strpbrk(shortPath, "\\/");
    if (!rest) return 0;
    BYTE entry[kEntrySize] = {};
    WORD directory = 0;  // the root
    for (;;) {
        const char* component = rest + 1;
        rest = std::strpbrk(component, "\\/");
        std::string_view part(component, rest ? size_t(rest - component) : std::strlen(component));
        char name[kNameSize];
        bool named = DirectoryName(part, name);
        if (!FindEntry(disk, layout, fat, directory, named ? name : nullptr, entry)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        if (!rest) break;
        directory = static_cast<WORD>(entry[26] | (entry[27] << 8));
        if (directory == 0) {  // a folder entry without clusters: nothing can be in it
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
    }

    if (destination)
        handles.destination = CreateFileA(destination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    {
        Destination out(handles.destination);
        WORD cluster = static_cast<WORD>(entry[26] | (entry[27] << 8));
        DWORD remaining = Dword(entry + 28);
        WORD ordinal = 0;
        int reads = 0;
        BYTE sector[kSectorSize];
        ChainGuard chain;
        bool stopped = false;
        while (!stopped && InChain(cluster) && remaining > 0 && chain.FirstVisit(cluster)) {
            ULONGLONG first = ClusterSector(layout, cluster);
            for (unsigned i = 0; i < layout.sectorsPerCluster && remaining > 0; ++i) {
                std::memset(sector, 0, sizeof sector);
                if (!newerFamily)
                    CTraceLog_Trace(
                        "MESSAGE: CFloppyAccessLow::CopyFile(); Run ReadSector(), nIter = %d\n",
                        ++reads);
                read = disk.ReadOne(sector, first + i);
                if (progress)
                    PostMessageA(progress->GetSafeHwnd(), WM_FLOPPY_PROGRESS, ++counter, 1);
                if (read < kSectorSize && badSectors) {
                    badSectors->SetAtGrow(badSectors->GetSize(), ordinal);
                    if (badSectors->GetSize() > maxBad) {
                        stopped = true;
                        break;
                    }
                }
                ++ordinal;
                DWORD size = std::min(remaining, kSectorSize);
                out.Write(sector, size);
                remaining -= size;
            }
            cluster = Fat12Entry(fat, cluster);
        }
    }
    if (handles.destination != INVALID_HANDLE_VALUE) {
        CloseHandle(handles.destination);
        handles.destination = INVALID_HANDLE_VALUE;
    }
    CloseHandle(handles.device);
    handles.device = INVALID_HANDLE_VALUE;
    CTraceLog_Trace("MESSAGE: CFloppyAccessLow::CopyFile(); Run VerifyFile()\n");
    CString copy(destination ? destination : "");
    return verify ? VerifyFile(copy) : 1;
}

int CFloppyAccessLow::VerifyFile(CString& path) {
    return CopyFileA(path.c_str(), nullptr, 0, nullptr, 0, 0xFFFF, nullptr, -1);
}

bool CFloppyAccessLow::IsFloppyDisk(const char* path) {
    CString drive = CFileService::GetDrive(path ? path : "");
    if (drive.IsEmpty()) return false;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    return (letter == 'A' || letter == 'B') && GetDriveTypeA(drive.c_str()) == DRIVE_REMOVABLE;
}

void CFloppyAccessLow::StrToUpper(char* buffer, WORD length) {
    for (WORD i = 0; i < length; ++i)
        if (buffer[i] >= 'a' && buffer[i] <= 'z')
            buffer[i] = static_cast<char>(buffer[i] - 'a' + 'A');
}
