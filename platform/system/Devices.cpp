// Raw diskette devices: \\.\X: reads the drive table's raw device of X, \\.\vwin32 is the
// older family's disk service with its INT 13h sector read.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

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
bool SectorsReadable(char letter, off_t offset, DWORD size) {
    if (size == 0) return true;
    auto first = static_cast<unsigned>(offset / kSectorSize);
    auto last = static_cast<unsigned>((offset + size - 1) / kSectorSize);
    for (unsigned sector = first; sector <= last; ++sector)
        if (IsBadSector(letter, sector)) return false;
    return true;
}

HANDLE OpenDriveDevice(char letter, bool write) {
    auto drive = FindDrive(letter);
    if (!drive || drive->rawDevice.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int fd = -1;
    if (write) fd = ::open(drive->rawDevice.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fd = ::open(drive->rawDevice.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno == ENOENT ? ENOENT : errno);
        return INVALID_HANDLE_VALUE;
    }
    auto device = std::make_shared<FileObject>(FileObject::Kind::RawDevice, fd, drive->rawDevice);
    device->SetDriveLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::move(device));
}

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
void DiskRead(DIOC_REGISTERS& regs) {
    unsigned function = (regs.reg_EAX >> 8) & 0xFF;
    unsigned count = regs.reg_EAX & 0xFF;
    unsigned driveNumber = regs.reg_EDX & 0xFF;
    if (function != 0x02 || count == 0 || driveNumber > 1) {
        SetStatus(regs, kStatusBadCommand, 0);
        return;
    }
    char letter = static_cast<char>('A' + driveNumber);
    auto drive = FindDrive(letter);
    int fd = drive && !drive->rawDevice.empty()
                 ? ::open(drive->rawDevice.c_str(), O_RDONLY | O_CLOEXEC)
                 : -1;
    Chs chs = ChsOf(regs);
    if (fd < 0 || chs.sector == 0) {
        if (fd >= 0) ::close(fd);
        SetStatus(regs, kStatusNotReady, 0);
        return;
    }
    unsigned lba = (chs.cylinder * kHeads + chs.head) * kSectorsPerTrack + chs.sector - 1;
    off_t offset = off_t(lba) * kSectorSize;
    DWORD size = count * kSectorSize;
    bool ok = SectorsReadable(letter, offset, size) &&
              ::pread(fd, reinterpret_cast<void*>(regs.reg_EBX), size, offset) == ssize_t(size);
    ::close(fd);
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
    return NewFileHandle(FileObject::Kind::DiskService, -1, std::string(name));
}

bool ReadRawDevice(FileObject& device, void* buffer, DWORD size, DWORD& done, off_t* offset) {
    off_t at = offset ? *offset : ::lseek(device.fd(), 0, SEEK_CUR);
    if (at < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    // A bad sector fails the whole read, as a diskette controller reports it.
    if (!SectorsReadable(device.driveLetter(), at, size)) {
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
    kst::detail::DiskRead(regs);
    std::memcpy(outBuffer, &regs, sizeof regs);
    if (bytesReturned) *bytesReturned = sizeof regs;
    return TRUE;
}
