// A debug listener inside a test: accepts the library's pipe messages on a socket of
// kst::PipeFolder() (or at a full path) and keeps every message's bytes as they arrived.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KstPlatform.h"

namespace ksttest {

class DebugListener {
public:
    explicit DebugListener(const std::string& pipeName, int backlog = 64,
                           std::chrono::milliseconds acceptDelay = std::chrono::milliseconds(0))
        : m_path(pipeName.starts_with('/') ? pipeName : kst::PipeFolder() + "/" + pipeName) {
        std::filesystem::create_directories(std::filesystem::path(m_path).parent_path());
        unlink(m_path.c_str());
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        strncpy(addr.sun_path, m_path.c_str(), sizeof addr.sun_path - 1);
        m_ready = bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  listen(m_fd, backlog) == 0;
        m_thread = std::thread([this, acceptDelay] {
            std::this_thread::sleep_for(acceptDelay);
            Serve();
        });
    }
    ~DebugListener() {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
        unlink(m_path.c_str());
    }
    DebugListener(const DebugListener&) = delete;
    DebugListener& operator=(const DebugListener&) = delete;

    bool Ready() const { return m_ready; }

    // Every message so far, once count have arrived or the limit has passed.
    std::vector<std::string> WaitFor(size_t count,
                                     std::chrono::seconds limit = std::chrono::seconds(60)) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard lock(m_mutex);
                if (m_messages.size() >= count) return m_messages;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    // The text of a message, without its zero byte.
    static std::string Text(const std::string& message) {
        size_t text = 20 + Word(message, 8);
        return message.substr(text, Word(message, 12) - 1);
    }
    static size_t Word(const std::string& bytes, size_t at) {
        size_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(bytes[at + size_t(i)]);
        return value;
    }

private:
    void Serve() {
        while (!m_stop) {
            int c = accept(m_fd, nullptr, nullptr);
            if (c < 0) return;
            std::string bytes;
            char buffer[4096];
            ssize_t n;
            while ((bytes.size() < 20 || bytes.size() < 20 + Word(bytes, 8) + Word(bytes, 12)) &&
                   (n = read(c, buffer, sizeof buffer)) > 0) {
                bytes.append(buffer, static_cast<size_t>(n));
            }
            const char reply[4] = {7, 7, 7, 7};
            // A writer's wait for a busy pipe probes with a connection that carries nothing.
            (void)!send(c, reply, 4, MSG_NOSIGNAL);
            close(c);
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(bytes));
        }
    }

    std::string m_path;
    int m_fd;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

}  // namespace ksttest
