// The trace log's two channels against their yardsticks, in one run:
//  - the file channel (flush after every line) against spdlog writing the same lines to a
//    file with a flush after every line;
//  - the pipe channel against a bare loop that connects, writes one message and reads the
//    4-byte answer: the limit of a connection per line.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "BenchTiming.h"
#include "KstPlatform.h"
#include "KstTraceLog.h"

#ifdef KST_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

sockaddr_un Address(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

// Answers every message with 4 bytes, one connection at a time.
class Listener {
public:
    explicit Listener(const std::string& path) : m_path(path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        unlink(path.c_str());
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        auto addr = Address(path);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(m_fd, 512) != 0) {
            perror("listener");
            std::exit(1);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~Listener() {
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
        unlink(m_path.c_str());
    }

private:
    static uint32_t Word(const char* p) {
        auto* u = reinterpret_cast<const unsigned char*>(p);
        return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24);
    }
    void Serve() {
        char buffer[4096];
        for (;;) {
            int c = accept(m_fd, nullptr, nullptr);
            if (c < 0) return;
            size_t have = 0, need = 20;
            ssize_t n;
            while (have < need && (n = read(c, buffer + have, sizeof buffer - have)) > 0) {
                have += static_cast<size_t>(n);
                if (have >= 20) need = 20 + Word(buffer + 8) + Word(buffer + 12);
            }
            (void)!write(c, "\0\0\0\0", 4);
            close(c);
        }
    }
    std::string m_path;
    int m_fd;
    std::thread m_thread;
};

void BareMessage(const std::string& path, const std::string& text) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    auto addr = Address(path);
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    char message[600];
    uint32_t header[5] = {0, static_cast<uint32_t>(getpid()), 5,
                          static_cast<uint32_t>(text.size() + 1), 0};
    memcpy(message, header, 20);
    memcpy(message + 20, "HOST", 5);
    memcpy(message + 25, text.c_str(), text.size() + 1);
    (void)!write(fd, message, 25 + text.size() + 1);
    char reply[4];
    (void)!read(fd, reply, 4);
    close(fd);
}

void Compare(const char* what, const char* peerName, const kstbench::Work& ours,
             const kstbench::Work& peer) {
    kstbench::Versus v = kstbench::Alternate(ours, peer);
    printf("%-26s ours %7.3f s   %-10s %7.3f s   best/best %.2f   median ratio %.2f\n", what,
           v.ours, peerName, v.peer, v.ours / v.peer, v.medianRatio);
}

}  // namespace

int main() {
    const int kFileLines = 100000, kPipeLines = 10000;
    const char* line = "MESSAGE: CBench::Run(); a line of a typical length for a trace\n";
    auto dir =
        std::filesystem::temp_directory_path() / ("kst-bench-trace-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    // File channel.
    cTraceLogGlobal.EnableOutput(0);
    auto oursFile = [&] {
        cTraceLogGlobal.EnableFile(1);
        cTraceLogGlobal.ClearFile();
        for (int i = 0; i < kFileLines; ++i) CTraceLog_Trace("%s", line);
        cTraceLogGlobal.EnableFile(0);
    };
#ifdef KST_HAVE_SPDLOG
    auto spdlogFile = [&] {
        auto logger = spdlog::basic_logger_mt("bench", (dir / "spdlog.txt").string(), true);
        logger->set_pattern("%c; %v");
        logger->flush_on(spdlog::level::trace);
        for (int i = 0; i < kFileLines; ++i) logger->info("{}", line);
        spdlog::drop("bench");
    };
    Compare("file channel, 1e5 lines", "spdlog", oursFile, spdlogFile);
#else
    printf("file channel, 1e5 lines: ours %.3f s (spdlog not available)\n",
           kstbench::Seconds(oursFile));
#endif

    // Pipe channel.
    std::string pipe = "kst-bench-" + std::to_string(getpid());
    std::string path = kst::PipeFolder() + "/" + pipe;
    {
        Listener listener(path);
        cTraceLogGlobal.SetPipeName(".", pipe.c_str());
        cTraceLogGlobal.EnableOutput(1);
        Compare(
            "pipe channel, 1e4 lines", "bare loop",
            [&] {
                for (int i = 0; i < kPipeLines; ++i) CTraceLog_Trace("%s", line);
            },
            [&] {
                for (int i = 0; i < kPipeLines; ++i) BareMessage(path, line);
            });
        cTraceLogGlobal.EnableOutput(0);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
