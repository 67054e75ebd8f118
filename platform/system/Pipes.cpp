// Named pipes as Unix stream sockets in kst::PipeFolder(): \\.\pipe\NAME is the socket NAME.
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/CodePage.h"
#include "internal/Errno.h"
#include "internal/FileObject.h"
#include "internal/Identity.h"
#include "internal/MissingSockets.h"
#include "internal/Paths.h"

namespace kst {

namespace {

std::string PipeFolderPath() {
    static const uid_t uid = ::getuid();  // asked once: every trace line opens a pipe
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) + "/kst-pipe"
                               : "/tmp/kst-pipe-" + std::to_string(uid);
}

}  // namespace

// Listeners ask for the folder, so it is made ready for them; writers only need its path.
std::string PipeFolder() {
    std::string folder = PipeFolderPath();
    ::mkdir(folder.c_str(), 0700);  // an existing folder stays as it is
    return folder;
}

}  // namespace kst

namespace kst::detail {
namespace {

constexpr std::string_view kPipeWord = "pipe";
constexpr DWORD kDefaultPipeWaitMs = 50;

bool SameText(std::string_view a, std::string_view b) {
    return FoldCompare(a, b) == 0;
}

struct PipeName {
    std::string machine;
    std::string name;
};

// \\MACHINE\pipe\NAME with either separator; nullopt when the path is no pipe path.
std::optional<PipeName> ParsePipePath(std::string_view path) {
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return std::nullopt;
    path.remove_prefix(2);
    size_t sep = 0;
    while (sep < path.size() && !IsSeparator(path[sep])) ++sep;
    if (sep == path.size()) return std::nullopt;
    PipeName pipe{std::string(path.substr(0, sep)), {}};
    path.remove_prefix(sep + 1);
    if (path.size() <= kPipeWord.size() || !SameText(path.substr(0, kPipeWord.size()), kPipeWord) ||
        !IsSeparator(path[kPipeWord.size()]))
        return std::nullopt;
    pipe.name = path.substr(kPipeWord.size() + 1);
    return pipe;
}

bool IsThisComputer(const std::string& machine) {
    return machine == "." || SameText(machine, ComputerName()) || SameText(machine, "localhost");
}

// A socket path for the pipe, or nullopt with the last error set.
std::optional<std::string> SocketPath(std::string_view path) {
    auto pipe = ParsePipePath(path);
    if (!pipe) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    if (!IsThisComputer(pipe->machine)) {
        SetLastError(ERROR_BAD_NETPATH);
        return std::nullopt;
    }
    if (pipe->name.empty() || pipe->name.find('/') != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    return kst::PipeFolderPath() + "/" + pipe->name;
}

enum class ConnectResult { Connected, NoListener, Busy, Failed };

// A socket kept from a connect that found no listener, for the next one: a trace line with no
// listener then costs one failed connect, not a socket, a connect and a close. A Unix socket
// whose connect failed that way is still unconnected and can connect again.
std::atomic<int> g_spareSocket{-1};

// A child process does not share the parent's spare: both would connect the same socket.
[[maybe_unused]] const int g_spareAtFork = pthread_atfork(nullptr, nullptr, [] {
    int fd = g_spareSocket.exchange(-1);
    if (fd >= 0) ::close(fd);
});

void KeepSpare(int fd) {
    int old = g_spareSocket.exchange(fd);
    if (old >= 0) ::close(old);
}

// Connects without blocking: a full backlog answers at once instead of waiting.
ConnectResult Connect(const std::string& socketPath, int& fd) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return ConnectResult::Failed;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    uint64_t ticket;
    if (IsKnownMissingSocket(socketPath, ticket)) {
        errno = ENOENT;
        return ConnectResult::NoListener;
    }
    fd = g_spareSocket.exchange(-1);
    if (fd < 0) fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return ConnectResult::Failed;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return ConnectResult::Connected;
    int err = errno;
    // A refused connect is not remembered: a listener may be between its bind and its listen.
    if (err == ENOENT) NoteMissingSocket(socketPath, ticket);
    if (err == ENOENT || err == ECONNREFUSED)
        KeepSpare(fd);
    else
        ::close(fd);
    fd = -1;
    errno = err;
    if (err == ENOENT || err == ECONNREFUSED || err == ENOTSOCK) return ConnectResult::NoListener;
    if (err == EAGAIN || err == EWOULDBLOCK) return ConnectResult::Busy;
    return ConnectResult::Failed;
}

bool MakeBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

bool IsPipePath(std::string_view path) {
    return ParsePipePath(path).has_value();
}

HANDLE OpenPipe(std::string_view path) {
    auto socketPath = SocketPath(path);
    if (!socketPath) return INVALID_HANDLE_VALUE;
    int fd = -1;
    switch (Connect(*socketPath, fd)) {
        case ConnectResult::Connected:
            break;
        case ConnectResult::NoListener:
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        case ConnectResult::Busy:
            SetLastError(ERROR_PIPE_BUSY);
            return INVALID_HANDLE_VALUE;
        case ConnectResult::Failed:
            SetLastErrorFromErrno(errno);
            return INVALID_HANDLE_VALUE;
    }
    if (!MakeBlocking(fd)) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = NewFileHandle(FileObject::Kind::Pipe, fd, *socketPath);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

}  // namespace kst::detail

// Polls until a connect would succeed. A missing socket, or one nobody listens on (a listener
// that died), answers at once, as the platform does for a pipe with no instance: a writer must
// not wait out the whole time-out for a listener that is gone.
BOOL WaitNamedPipeA(LPCSTR namedPipeName, DWORD timeOut) {
    using namespace kst::detail;
    using Clock = std::chrono::steady_clock;
    if (!namedPipeName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto socketPath = SocketPath(namedPipeName);
    if (!socketPath) return FALSE;
    if (timeOut == NMPWAIT_USE_DEFAULT_WAIT) timeOut = kDefaultPipeWaitMs;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeOut);
    for (;;) {
        int fd = -1;
        ConnectResult result = Connect(*socketPath, fd);
        if (result == ConnectResult::Connected) {
            // The probe takes a place in the backlog; the listener sees it close at once.
            ::close(fd);
            return TRUE;
        }
        if (result == ConnectResult::Failed || result == ConnectResult::NoListener) {
            if (result == ConnectResult::Failed)
                SetLastErrorFromErrno(errno);
            else
                SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        if (timeOut != NMPWAIT_WAIT_FOREVER && Clock::now() >= deadline) {
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
