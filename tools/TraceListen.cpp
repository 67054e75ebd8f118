// kst trace-listen: the debug listener. It serves the local pipe that trace logs write to,
// answers each message with 4 bytes and prints one line per message.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "Commands.h"
#include "KstPlatform.h"

namespace kstool {
namespace {

constexpr size_t kHeaderSize = 20;
constexpr uint32_t kMaxField = 1u << 20;  // a larger name or text is not a trace line

volatile sig_atomic_t g_stop = 0;
int g_wakeWrite = -1;

void OnStopSignal(int) {
    g_stop = 1;
    if (g_wakeWrite >= 0) {
        char b = 1;
        (void)!write(g_wakeWrite, &b, 1);
    }
}

uint32_t LoadLittleEndian(const unsigned char* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

struct Options {
    std::string pipe = "AtlsDbgPipe";
    bool raw = false;
    long count = -1;  // stop after this many messages; -1: until Ctrl-C
};

struct Connection {
    int fd;
    std::string bytes;
};

// A message is complete once the header and both fields it announces have arrived.
enum class Parse { Incomplete, Complete, Invalid };

Parse ParseMessage(const std::string& bytes, uint32_t& pid, std::string& computer,
                   std::string& text) {
    if (bytes.size() < kHeaderSize) return Parse::Incomplete;
    auto* h = reinterpret_cast<const unsigned char*>(bytes.data());
    uint32_t nameLength = LoadLittleEndian(h + 8), textLength = LoadLittleEndian(h + 12);
    if (nameLength > kMaxField || textLength > kMaxField) return Parse::Invalid;
    if (bytes.size() < kHeaderSize + nameLength + textLength) return Parse::Incomplete;
    pid = LoadLittleEndian(h + 4);
    computer.assign(bytes, kHeaderSize, nameLength);
    text.assign(bytes, kHeaderSize + nameLength, textLength);
    // Fields carry their zero byte; anything after the first zero is not text.
    computer.resize(strnlen(computer.c_str(), computer.size()));
    text.resize(strnlen(text.c_str(), text.size()));
    return Parse::Complete;
}

void PrintMessage(const Options& options, uint32_t pid, const std::string& computer,
                  std::string text) {
    if (options.raw) {
        fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    auto now = std::chrono::system_clock::now();
    time_t seconds = std::chrono::system_clock::to_time_t(now);
    int millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    struct tm local;
    localtime_r(&seconds, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    printf("%s.%03d [%u] %s: %s\n", stamp, millis, pid, computer.c_str(), text.c_str());
}

// A socket file whose listener is gone refuses connections: remove it. A live one is kept.
bool ClaimSocketPath(const std::string& path) {
    int probe = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int rc = connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int err = errno;
    close(probe);
    if (rc == 0 || err == EAGAIN) return false;
    if (err == ECONNREFUSED || err == ENOTSOCK) unlink(path.c_str());
    return true;
}

int OpenListener(const std::string& path) {
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        fprintf(stderr, "kst: the pipe path %s is too long\n", path.c_str());
        return -1;
    }
    if (!ClaimSocketPath(path)) {
        fprintf(stderr, "kst: another listener serves %s\n", path.c_str());
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        fprintf(stderr, "kst: cannot listen on %s: %s\n", path.c_str(), strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

Options g_options;
std::string g_count;

bool CheckOptions(Options& options) {
    if (!g_count.empty()) {
        char* end = nullptr;
        errno = 0;
        options.count = std::strtol(g_count.c_str(), &end, 10);
        if (*end || errno || options.count < 0) return false;
    }
    return !options.pipe.empty() && options.pipe.find('/') == std::string::npos;
}

class Listener {
public:
    Listener(const Options& options, int listenFd, int wakeFd)
        : m_options(options), m_listenFd(listenFd), m_wakeFd(wakeFd) {}

    void Run() {
        while (!g_stop && m_options.count != 0) {
            std::vector<pollfd> fds = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
            for (auto& c : m_connections) fds.push_back({c.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
            if (fds[0].revents & POLLIN) AcceptAll();
            for (size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents) Serve(m_connections[i - 2]);
            }
            std::erase_if(m_connections, [](const Connection& c) { return c.fd < 0; });
            fflush(stdout);
        }
        for (auto& c : m_connections) close(c.fd);
    }

private:
    void AcceptAll() {
        for (;;) {
            int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            m_connections.push_back({fd, {}});
        }
    }

    void Serve(Connection& c) {
        char buffer[65536];
        ssize_t n;
        while ((n = read(c.fd, buffer, sizeof buffer)) > 0)
            c.bytes.append(buffer, static_cast<size_t>(n));
        uint32_t pid = 0;
        std::string computer, text;
        Parse state = ParseMessage(c.bytes, pid, computer, text);
        if (state == Parse::Complete && m_options.count != 0) {
            PrintMessage(m_options, pid, computer, std::move(text));
            const unsigned char reply[4] = {0, 0, 0, 0};
            (void)!write(c.fd, reply, sizeof reply);
            if (m_options.count > 0) --m_options.count;
        }
        // One message per connection: done once answered, or when the writer gave up.
        bool writerGone = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        if (state != Parse::Incomplete || writerGone) {
            close(c.fd);
            c.fd = -1;
        }
    }

    Options m_options;
    int m_listenFd;
    int m_wakeFd;
    std::vector<Connection> m_connections;
};

int TraceListen() {
    Options& options = g_options;
    if (!CheckOptions(options))
        return UsageError("--count takes a number from 0, --pipe a name without /");
    std::string folder = kst::PipeFolder();
    mkdir(folder.c_str(), 0700);
    std::string path = folder + "/" + options.pipe;
    int listenFd = OpenListener(path);
    if (listenFd < 0) return 1;

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    g_wakeWrite = wake[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    fprintf(stderr, "kst: listening on %s (Ctrl-C ends)\n", path.c_str());

    Listener(options, listenFd, wake[0]).Run();

    close(listenFd);
    unlink(path.c_str());
    close(wake[0]);
    close(wake[1]);
    return 0;
}

Registration listenCommands({"trace-listen"}, [](CLI::App& kst) {
    CLI::App* cmd =
        AddCommand(kst, "trace-listen",
                   "serve the debug pipe and print the trace lines that arrive", TraceListen);
    cmd->add_option("--pipe", g_options.pipe, "the pipe name to serve")->capture_default_str();
    cmd->add_flag("--raw", g_options.raw,
                  "print only the texts, without time, process and computer");
    cmd->add_option("--count", g_count, "stop after N messages (default: at Ctrl-C)");
});

}  // namespace
}  // namespace kstool
