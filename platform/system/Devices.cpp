// Raw diskette devices: \\.\X: reads the drive table's raw device of X, \\.\vwin32 is the
// older family's disk service with its INT 13h sector read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    auto device = std::make_shared<FileObject>(FileObject::Kind::RawDevice, fd, drive->rawDevice);
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

    // The descriptor of the raw device of BIOS drive 0 (A:) or 1 (B:); -1 when there is none.
    int DeviceOf(unsigned driveNumber) {
        auto entry = FindDrive(static_cast<char>('A' + driveNumber));
        std::lock_guard lock(m_mutex);
        auto& drive = m_drives[driveNumber];
        std::string path = entry ? entry->rawDevice : std::string();
        if (drive.fd >= 0 && drive.path == path) return drive.fd;
        if (drive.fd >= 0) ::close(drive.fd);
        drive.fd = path.empty() ? -1 : OpenRawDevice(path, false);
        drive.path = drive.fd >= 0 ? path : std::string();
        return drive.fd;
    }

private:
    struct Drive {
        std::string path;
        int fd = -1;
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
    int fd = service.DeviceOf(driveNumber);
    if (fd < 0 || chs.sector == 0) {
        SetStatus(regs, kStatusNotReady, 0);
        return;
    }
    char letter = static_cast<char>('A' + driveNumber);
    unsigned lba = (chs.cylinder * kHeads + chs.head) * kSectorsPerTrack + chs.sector - 1;
    off_t offset = off_t(lba) * kSectorSize;
    DWORD size = count * kSectorSize;
    bool ok = RangeReadable(letter, offset, size) &&
              ::pread(fd, reinterpret_cast<void*>(regs.reg_EBX), size, offset) == ssize_t(size);
    SetStatus(regs, ok ? 0 : kStatusCrcError, ok ? count : 0);
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
    while (done < size) {
        ssize_t n = ::pread(device.fd(), static_cast<char*>(buffer) + done, size - done, at + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (!offset) ::lseek(device.fd(), at + done, SEEK_SET);
    return true;
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
    auto service = std::dynamic_pointer_cast<kst::detail::DiskService>(object);
    if (!service || controlCode != VWIN32_DIOC_DOS_INT13) {
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
    kst::detail::DiskRead(*service, regs);
    std::memcpy(outBuffer, &regs, sizeof regs);
    if (bytesReturned) *bytesReturned = sizeof regs;
    return TRUE;
}
