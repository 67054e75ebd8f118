// What a file, pipe or device handle stands for in the handle table.
#pragma once

#include <string>

#include "internal/Handle.h"

namespace kst::detail {

class FileObject : public KernelObject {
public:
    enum class Kind { File, Pipe, RawDevice, DiskService };

    FileObject(Kind kind, int fd, std::string hostPath) noexcept
        : m_kind(kind), m_fd(fd), m_hostPath(std::move(hostPath)) {}
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    FileObject* AsFile() override { return this; }
    Kind kind() const { return m_kind; }
    int fd() const { return m_fd; }
    const std::string& hostPath() const { return m_hostPath; }

    // A second description that carries the sharing marks when fd cannot (write-only).
    void SetLockFd(int lockFd) { m_lockFd = lockFd; }
    void SetDeleteOnClose() { m_deleteOnClose = true; }
    // A regular file, whose reads come short only at its end.
    void SetRegular() { m_regular = true; }
    bool regular() const { return m_regular; }
    // The drive letter of a raw device, whose bad sectors its reads honour.
    void SetDriveLetter(char letter) { m_driveLetter = letter; }
    char driveLetter() const { return m_driveLetter; }

private:
    Kind m_kind;
    int m_fd;
    int m_lockFd = -1;
    std::string m_hostPath;
    bool m_deleteOnClose = false;
    bool m_regular = false;
    char m_driveLetter = 0;
};

// Registers a new handle for the object.
HANDLE NewFileHandle(FileObject::Kind kind, int fd, std::string hostPath);

// Pipes: opens \\.\pipe\NAME or \\<this computer>\pipe\NAME (path with `\` separators as
// given); INVALID_HANDLE_VALUE with the last error set on failure.
bool IsPipePath(std::string_view path);
HANDLE OpenPipe(std::string_view path);

// Devices: \\.\X: and \\.\vwin32.
bool IsDevicePath(std::string_view path);
HANDLE OpenDevice(std::string_view path, bool write);
bool ReadRawDevice(FileObject& device, void* buffer, DWORD size, DWORD& done, off_t* offset);
// A write through the handle makes what its reads keep in memory stale.
void ForgetReadAhead(FileObject& device);

}  // namespace kst::detail
