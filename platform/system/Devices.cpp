// Raw diskette devices: \\.\X: reads the drive table's raw device of X, \\.\vwin32 is the
// older family's disk service with its INT 13h sector read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/CodePage.h"
#include "internal/DriveTable.h"
#include "internal/Errno.h"
#include "internal/FileObject.h"

namespace kst::detail {
namespace {

constexpr unsigned kSectorSize = 512;
constexpr unsigned kSectorsPerTrack = 18;
constexpr unsigned kHeads = 2;
constexpr DWORD_PTR kCarryFlag = 1;
constexpr unsigned kStatusCrcError = 0x10;
constexpr unsigned kStatusNotReady = 0x80;
constexpr unsigned kStatusBadCommand = 0x01;

bool IsDevicePrefix(std::string_view path) {
    return path.size() > 4 && path[0] == '\\' && path[1] == '\\' && path[2] == '.' &&
           path[3] == '\\';
}

bool IsDriveDevice(std::string_view name) {
    return name.size() == 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
}

bool IsDiskService(std::string_view name) {
    return FoldCompare(name, "vwin32") == 0;
}

// True when no sector of [offset, offset + size) is marked bad.
bool RangeReadable(char letter, off_t offset, DWORD size) {
    if (size == 0 || offset < 0) return true;
    auto first = static_cast<unsigned long long>(offset) / kSectorSize;
    auto last = (static_cast<unsigned long long>(offset) + size - 1) / kSectorSize;
    constexpr unsigned long long kLastNumber = std::numeric_limits<unsigned>::max();
    if (first > kLastNumber) return true;  // beyond any sector number that can be marked
    return SectorsReadable(letter, static_cast<unsigned>(first),
                           static_cast<unsigned>(std::min(last, kLastNumber)));
}

bool IsBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

// A block device (a USB floppy drive, /dev/sdX) is opened for reading only, whatever access is
// asked: the layer never writes a raw device, a write-protected diskette refuses a writer, and
// closing a writer makes udev probe the disk again. An image file is opened for writing when
// asked and it can be, else for reading.
int OpenRawDevice(const std::string& path, bool write) {
    int fd = -1;
    if (write && !IsBlockDevice(path)) fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

ssize_t PreadFully(int fd, char* out, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, out + done, size - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// Reads of a raw device through a window of 64 KB that is read at once and serves the requests
// that lie inside it, as a diskette driver keeps whole tracks: a copy that asks for one sector
// at a time then makes one system call per window, not one per sector. A window that does not
// read (a bad sector of a real diskette inside it) is not tried again; the requests inside it go
// to the device one by one.
class ReadAhead {
public:
    // Answers the bytes read (short at the device's end), or -1 with errno set.
    ssize_t Read(int fd, void* out, size_t size, off_t offset) {
        std::lock_guard lock(m_mutex);
        if (size <= kWindow && !Within(m_failedStart, kWindow, offset, size)) {
            if (!Covers(offset, size)) Fill(fd, offset);
            if (Covers(offset, size)) {
                off_t end = m_start + off_t(m_data.size());
                size_t n = offset >= end ? 0 : std::min<size_t>(size, size_t(end - offset));
                if (n) std::memcpy(out, m_data.data() + (offset - m_start), n);
                return ssize_t(n);
            }
        }
        return PreadFully(fd, static_cast<char*>(out), size, offset);
    }
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_start = -1;
        m_failedStart = -1;
    }

private:
    static constexpr size_t kWindow = 64 * 1024;

    static bool Within(off_t start, size_t length, off_t offset, size_t size) {
        return start >= 0 && offset >= start && offset + off_t(size) <= start + off_t(length);
    }
    // The window holds the request, or ends at the device's end before it.
    bool Covers(off_t offset, size_t size) const {
        return m_start >= 0 && offset >= m_start &&
               (Within(m_start, m_data.size(), offset, size) || m_data.size() < kWindow);
    }
    void Fill(int fd, off_t offset) {
        off_t start = offset - offset % kSectorSize;
        if (!m_data.buffer) m_data.buffer = std::make_unique_for_overwrite<char[]>(kWindow);
        ssize_t n = PreadFully(fd, m_data.data(), kWindow, start);
        if (n < 0) {
            m_start = -1;
            m_failedStart = start;
            return;
        }
        m_data.length = size_t(n);
        m_start = start;
    }

    // The window's bytes, allocated at the first fill and not cleared before each.
    struct Window {
        std::unique_ptr<char[]> buffer;
        size_t length = 0;
        char* data() { return buffer.get(); }
        size_t size() const { return length; }
    };

    std::mutex m_mutex;
    Window m_data;
    off_t m_start = -1;
    off_t m_failedStart = -1;
};

// A drive's raw device as a handle: \\.\X:.
class RawDevice : public FileObject {
public:
    RawDevice(int fd, const std::string& path) : FileObject(Kind::RawDevice, fd, path) {}
    ReadAhead readAhead;
};

// Only a RawDevice is made with its kind, and callers ask for the kind first.
RawDevice& AsRawDevice(FileObject& device) {
    assert(device.kind() == FileObject::Kind::RawDevice);
    return static_cast<RawDevice&>(device);
}

HANDLE OpenDriveDevice(char letter, bool write) {
    auto drive = FindDrive(letter);
    if (!drive || drive->rawDevice.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int fd = OpenRawDevice(drive->rawDevice, write);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    auto device = std::make_shared<RawDevice>(fd, drive->rawDevice);
    device->SetDriveLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::move(device));
}

// The disk service keeps the raw devices of drives A: and B: open between requests, one
// sector each, and opens a device again when the drive table maps the letter elsewhere.
class DiskService : public FileObject {
public:
    DiskService() : FileObject(Kind::DiskService, -1, "vwin32") {}
    ~DiskService() override {
        for (auto& drive : m_drives)
            if (drive.fd >= 0) ::close(drive.fd);
    }

    // Reads of the raw device of BIOS drive 0 (A:) or 1 (B:): the bytes read, or -1 when the
    // drive has no device that opens.
    ssize_t Read(unsigned driveNumber, void* out, size_t size, off_t offset) {
        auto entry = FindDrive(static_cast<char>('A' + driveNumber));
        std::string path = entry ? entry->rawDevice : std::string();
        std::lock_guard lock(m_mutex);
        auto& drive = m_drives[driveNumber];
        if (drive.fd < 0 || drive.path != path) {
            if (drive.fd >= 0) ::close(drive.fd);
            drive.fd = path.empty() ? -1 : OpenRawDevice(path, false);
            drive.path = drive.fd >= 0 ? path : std::string();
            drive.readAhead.Forget();
        }
        return drive.fd < 0 ? -1 : drive.readAhead.Read(drive.fd, out, size, offset);
    }

private:
    struct Drive {
        std::string path;
        int fd = -1;
        ReadAhead readAhead;
    };
    std::mutex m_mutex;
    Drive m_drives[2];
};

struct Chs {
    unsigned cylinder, head, sector;
};

Chs ChsOf(const DIOC_REGISTERS& regs) {
    auto cx = static_cast<unsigned>(regs.reg_ECX & 0xFFFF);
    auto dh = static_cast<unsigned>((regs.reg_EDX >> 8) & 0xFF);
    return {((cx >> 8) & 0xFF) | ((cx & 0xC0) << 2), dh, cx & 0x3F};
}

void SetStatus(DIOC_REGISTERS& regs, unsigned status, unsigned count) {
    regs.reg_EAX = (regs.reg_EAX & ~DWORD_PTR(0xFFFF)) | (status << 8) | count;
    if (status)
        regs.reg_Flags |= kCarryFlag;
    else
        regs.reg_Flags &= ~kCarryFlag;
}

// INT 13h function 02h: read AL sectors at CHS of drive DL into the buffer at EBX.
void DiskRead(DiskService& service, DIOC_REGISTERS& regs) {
    unsigned function = (regs.reg_EAX >> 8) & 0xFF;
    unsigned count = regs.reg_EAX & 0xFF;
    unsigned driveNumber = regs.reg_EDX & 0xFF;
    if (function != 0x02 || count == 0 || driveNumber > 1) {
        SetStatus(regs, kStatusBadCommand, 0);
        return;
    }
    Chs chs = ChsOf(regs);
    if (chs.sector == 0) {
        SetStatus(regs, kStatusNotReady, 0);
        return;
    }
    char letter = static_cast<char>('A' + driveNumber);
    unsigned lba = (chs.cylinder * kHeads + chs.head) * kSectorsPerTrack + chs.sector - 1;
    off_t offset = off_t(lba) * kSectorSize;
    DWORD size = count * kSectorSize;
    if (!RangeReadable(letter, offset, size)) {
        SetStatus(regs, kStatusCrcError, 0);
        return;
    }
    ssize_t n = service.Read(driveNumber, reinterpret_cast<void*>(regs.reg_EBX), size, offset);
    if (n < 0)
        SetStatus(regs, kStatusNotReady, 0);
    else if (n != ssize_t(size))
        SetStatus(regs, kStatusCrcError, 0);
    else
        SetStatus(regs, 0, count);
}

}  // namespace

bool IsDevicePath(std::string_view path) {
    if (!IsDevicePrefix(path)) return false;
    auto name = path.substr(4);
    return IsDriveDevice(name) || IsDiskService(name);
}

HANDLE OpenDevice(std::string_view path, bool write) {
    auto name = path.substr(4);
    if (IsDriveDevice(name)) return OpenDriveDevice(name[0], write);
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::make_shared<DiskService>());
}

bool ReadRawDevice(FileObject& device, void* buffer, DWORD size, DWORD& done, off_t* offset) {
    off_t at = offset ? *offset : ::lseek(device.fd(), 0, SEEK_CUR);
    if (at < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    // A bad sector fails the whole read, as a diskette controller reports it.
    if (!RangeReadable(device.driveLetter(), at, size)) {
        SetLastError(ERROR_CRC);
        return false;
    }
    ssize_t n = AsRawDevice(device).readAhead.Read(device.fd(), buffer, size, at);
    if (n < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    done = DWORD(n);
    if (!offset) ::lseek(device.fd(), at + done, SEEK_SET);
    return true;
}

void ForgetReadAhead(FileObject& device) {
    AsRawDevice(device).readAhead.Forget();
}

}  // namespace kst::detail

BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                     LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    using kst::detail::FileObject;
    if (bytesReturned) *bytesReturned = 0;
    auto object = kst::detail::LookupHandleAs<FileObject>(device);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Only the disk service is made with its kind.
    if (object->kind() != FileObject::Kind::DiskService || controlCode != VWIN32_DIOC_DOS_INT13) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!inBuffer || inSize < sizeof(DIOC_REGISTERS) || !outBuffer ||
        outSize < sizeof(DIOC_REGISTERS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DIOC_REGISTERS regs;
    std::memcpy(&regs, inBuffer, sizeof regs);
    kst::detail::DiskRead(static_cast<kst::detail::DiskService&>(*object), regs);
    std::memcpy(outBuffer, &regs, sizeof regs);
    if (bytesReturned) *bytesReturned = sizeof regs;
    return TRUE;
}
