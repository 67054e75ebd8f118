// The marks live at 2^62 + {0: holds read, 1: holds write, 2: denies read, 3: denies write}.
// Every mark is a shared lock, so marks of the same kind coexist; a conflict is found by
// asking whether any other open file description has a lock on the opposite byte. Marks are
// set before the check, so of two racing conflicting openers at least one sees the other.
#include "internal/Sharing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace kst::detail {
namespace {

constexpr off_t kMarkBase = off_t(1) << 62;
enum Mark : off_t { HoldsRead = 0, HoldsWrite = 1, DeniesRead = 2, DeniesWrite = 3 };

// The marks as bits (1 << mark), so that neighbouring marks go to the system in one call: an
// exclusive opener sets all four with one lock and looks for all four with one test.
unsigned Bit(Mark mark) {
    return 1u << mark;
}

// Calls fn(first, count) for each run of set bits.
template <class Fn>
bool ForEachRun(unsigned bits, Fn fn) {
    for (int first = 0; first < 4;) {
        if (!(bits & (1u << first))) {
            ++first;
            continue;
        }
        int last = first;
        while (last + 1 < 4 && (bits & (1u << (last + 1)))) ++last;
        if (!fn(first, last - first + 1)) return false;
        first = last + 1;
    }
    return true;
}

struct flock LockOf(int first, int count, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkBase + first;
    lock.l_len = count;
    return lock;
}

void ClearMarks(int fd) {
    auto lock = LockOf(0, 4, F_UNLCK);
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

// Whether another open file description has any of these marks.
bool Marked(int fd, unsigned bits) {
    return !ForEachRun(bits, [fd](int first, int count) {
        auto lock = LockOf(first, count, F_WRLCK);
        return ::fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK;
    });
}

bool Conflicts(int fd, const ShareRequest& r) {
    unsigned bits = (r.read ? Bit(DeniesRead) : 0) | (r.write ? Bit(DeniesWrite) : 0) |
                    (r.shareRead ? 0 : Bit(HoldsRead)) | (r.shareWrite ? 0 : Bit(HoldsWrite));
    return Marked(fd, bits);
}

bool SetMarks(int fd, const ShareRequest& r) {
    unsigned bits = (r.read ? Bit(HoldsRead) : 0) | (r.write ? Bit(HoldsWrite) : 0) |
                    (r.shareRead ? 0 : Bit(DeniesRead)) | (r.shareWrite ? 0 : Bit(DeniesWrite));
    return ForEachRun(bits, [fd](int first, int count) {
        auto lock = LockOf(first, count, F_RDLCK);
        return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
    });
}

}  // namespace

ShareResult TakeShareMarks(int lockFd, const ShareRequest& request) {
    // A conflict seen right after setting may be a racing opener that backs off as well;
    // look again briefly before calling it a violation.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!SetMarks(lockFd, request)) {
            int err = errno;
            ClearMarks(lockFd);
            // File systems without byte-range locks cannot enforce sharing; let the open pass.
            if (err == EINVAL || err == ENOLCK || err == EOPNOTSUPP) return ShareResult::Granted;
            errno = err;
            return ShareResult::Failed;
        }
        if (!Conflicts(lockFd, request)) return ShareResult::Granted;
        ClearMarks(lockFd);
        if (!Conflicts(lockFd, request)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200 * (attempt + 1)));
            continue;
        }
        return ShareResult::Violation;
    }
    return ShareResult::Violation;
}

}  // namespace kst::detail
