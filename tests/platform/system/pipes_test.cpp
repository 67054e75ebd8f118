// Named pipes against real listener sockets.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "KstPlatform.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "ProcessState.h"

namespace {

using Clock = std::chrono::steady_clock;

class Pipes : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_listener >= 0) ::close(m_listener);
    }

    // A socket named NAME in the pipe folder; listening unless told otherwise.
    void Listen(const std::string& name, int backlog, bool listening = true) {
        m_listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = kst::PipeFolder() + "/" + name;
        ASSERT_LT(path.size(), sizeof address.sun_path);
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            ASSERT_EQ(::listen(m_listener, backlog), 0);
        }
    }

    int m_listener = -1;
    ksttest::EnvScope m_runtime{"XDG_RUNTIME_DIR", ksttest::ScratchDir()};
};

HANDLE OpenPipe(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0x190000,
                       nullptr);
}

}  // namespace

TEST_F(Pipes, MessageAndReplyThroughAListener) {
    Listen("TestPipe", 4);
    std::string received;
    std::thread server([&] {
        int client = ::accept(m_listener, nullptr, nullptr);
        char buffer[64];
        ssize_t n;
        while ((n = ::read(client, buffer, sizeof buffer)) > 0) {
            received.append(buffer, size_t(n));
            if (received.size() >= 9) break;
        }
        ::write(client, "ok", 2);  // the reply comes in two parts
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::write(client, "!!", 2);
        ::close(client);
    });
    HANDLE pipe = OpenPipe("\\\\.\\pipe\\TestPipe");
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(pipe, "header", 6, &written, nullptr));
    EXPECT_TRUE(WriteFile(pipe, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    char reply[4];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(pipe, reply, 4, &read, nullptr));
    EXPECT_EQ(std::string(reply, read), "ok!!") << "a read waits for all 4 bytes";
    EXPECT_FALSE(ReadFile(pipe, reply, 4, &read, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BROKEN_PIPE));
    CloseHandle(pipe);
    server.join();
    EXPECT_EQ(received, "headerabc");
}

TEST_F(Pipes, ThisComputerByNameAndOtherMachines) {
    Listen("Named", 4);
    kst::SetComputerName("PIPEHOST");
    HANDLE pipe = OpenPipe("\\\\pipehost\\pipe\\Named");
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
    CloseHandle(pipe);
    EXPECT_EQ(OpenPipe("\\\\otherhost\\pipe\\Named"), INVALID_HANDLE_VALUE);
    DWORD openError = GetLastError();
    EXPECT_FALSE(WaitNamedPipeA("\\\\otherhost\\pipe\\Named", 100));
    EXPECT_EQ(std::pair(openError, GetLastError()),
              std::pair(DWORD(ERROR_BAD_NETPATH), DWORD(ERROR_BAD_NETPATH)));
    kst::SetComputerName("");
}

TEST_F(Pipes, NoListenerFailsFastWithFileNotFound) {
    auto start = Clock::now();
    Listen("Stale", 0, false);  // a socket that nobody listens on
    for (const char* name : {"\\\\.\\pipe\\Nobody", "\\\\.\\pipe\\Stale"}) {
        EXPECT_EQ(OpenPipe(name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(WaitNamedPipeA(name, 5000));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << name;
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
}

TEST_F(Pipes, FullBacklogIsBusyUntilTheListenerAccepts) {
    Listen("Busy", 0);
    std::vector<HANDLE> waiting;
    DWORD error = ERROR_SUCCESS;
    for (int i = 0; i < 8 && error == ERROR_SUCCESS; ++i) {
        HANDLE pipe = OpenPipe("\\\\.\\pipe\\Busy");
        if (pipe == INVALID_HANDLE_VALUE)
            error = GetLastError();
        else
            waiting.push_back(pipe);
    }
    ASSERT_EQ(error, DWORD(ERROR_PIPE_BUSY));
    ASSERT_FALSE(waiting.empty());

    auto start = Clock::now();
    EXPECT_FALSE(WaitNamedPipeA("\\\\.\\pipe\\Busy", 100));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SEM_TIMEOUT));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));

    std::atomic<bool> stop{false};
    std::thread server([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (!stop) {
            int client = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK);
            if (client >= 0)
                ::close(client);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    ::fcntl(m_listener, F_SETFL, O_NONBLOCK);
    EXPECT_TRUE(WaitNamedPipeA("\\\\.\\pipe\\Busy", 5000));
    stop = true;
    server.join();
    for (HANDLE pipe : waiting) CloseHandle(pipe);
}
