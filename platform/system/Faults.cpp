// The tests' failing disks: a plan checked on each file read and write while one is in force.
#include "internal/Faults.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace kst::detail {
namespace {

std::atomic<bool> g_active{false};
std::mutex g_mutex;
FaultPlan g_plan;
long long g_written = 0;

bool Concerns(int fd) {
    if (g_plan.pathPart.empty()) return true;
    char path[4096];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    if (n < 0) return false;
    return std::string_view(path, size_t(n)).find(g_plan.pathPart) != std::string_view::npos;
}

// The bytes a read at offset may take (-1: fail with EIO).
ssize_t ReadAllowance(size_t size, off_t offset) {
    if (g_plan.shortReads) size = std::min(size, g_plan.shortReads);
    if (g_plan.readFailAt >= 0 && offset >= 0) {
        if (offset >= g_plan.readFailAt) return -1;
        size = std::min<size_t>(size, size_t(g_plan.readFailAt - offset));
    }
    return ssize_t(size);
}

// The bytes a write may take (-1: fail with ENOSPC).
ssize_t WriteAllowance(size_t size) {
    if (g_plan.shortWrites) size = std::min(size, g_plan.shortWrites);
    if (g_plan.writeLimit >= 0) {
        long long room = g_plan.writeLimit - g_written;
        if (room <= 0 && size > 0) return -1;
        size = std::min<size_t>(size, size_t(room));
    }
    return ssize_t(size);
}

template <class Call>
ssize_t Read(int fd, size_t size, off_t offset, Call call) {
    if (!g_active.load(std::memory_order_relaxed)) return call(size);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!Concerns(fd)) return call(size);
    if (offset < 0) offset = ::lseek(fd, 0, SEEK_CUR);
    ssize_t allowed = ReadAllowance(size, offset);
    if (allowed < 0) {
        errno = EIO;
        return -1;
    }
    return call(size_t(allowed));
}

template <class Call>
ssize_t Write(int fd, size_t size, Call call) {
    if (!g_active.load(std::memory_order_relaxed)) return call(size);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!Concerns(fd)) return call(size);
    ssize_t allowed = WriteAllowance(size);
    if (allowed < 0) {
        errno = ENOSPC;
        return -1;
    }
    ssize_t n = call(size_t(allowed));
    if (n > 0) g_written += n;
    return n;
}

}  // namespace

void SetFaults(const FaultPlan& plan) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_plan = plan;
    g_written = 0;
    g_active.store(true);
}

void ClearFaults() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_active.store(false);
    g_plan = FaultPlan{};
}

long long FaultWrittenBytes() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_written;
}

ssize_t FaultRead(int fd, void* buffer, size_t size) {
    return Read(fd, size, -1, [&](size_t n) { return ::read(fd, buffer, n); });
}

ssize_t FaultPread(int fd, void* buffer, size_t size, off_t offset) {
    return Read(fd, size, offset, [&](size_t n) { return ::pread(fd, buffer, n, offset); });
}

ssize_t FaultWrite(int fd, const void* buffer, size_t size) {
    return Write(fd, size, [&](size_t n) { return ::write(fd, buffer, n); });
}

ssize_t FaultPwrite(int fd, const void* buffer, size_t size, off_t offset) {
    return Write(fd, size, [&](size_t n) { return ::pwrite(fd, buffer, n, offset); });
}

ssize_t FaultCopyFileRange(int from, int to, size_t size) {
    if (g_active.load(std::memory_order_relaxed)) {
        errno = EXDEV;
        return -1;
    }
    return ::copy_file_range(from, nullptr, to, nullptr, size, 0);
}

}  // namespace kst::detail
