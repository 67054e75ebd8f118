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

struct flock LockOf(Mark mark, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkBase + mark;
    lock.l_len = 1;
    return lock;
}

bool SetMark(int fd, Mark mark) {
    auto lock = LockOf(mark, F_RDLCK);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

void ClearMarks(int fd) {
    struct flock lock {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkBase;
    lock.l_len = 4;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

// Whether another open file description has a mark on this byte.
bool Marked(int fd, Mark mark) {
    auto lock = LockOf(mark, F_WRLCK);
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

bool Conflicts(int fd, const ShareRequest& r) {
    return (r.read && Marked(fd, DeniesRead)) || (r.write && Marked(fd, DeniesWrite)) ||
           (!r.shareRead && Marked(fd, HoldsRead)) || (!r.shareWrite && Marked(fd, HoldsWrite));
}

bool SetMarks(int fd, const ShareRequest& r) {
    return (!r.read || SetMark(fd, HoldsRead)) && (!r.write || SetMark(fd, HoldsWrite)) &&
           (r.shareRead || SetMark(fd, DeniesRead)) && (r.shareWrite || SetMark(fd, DeniesWrite));
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
