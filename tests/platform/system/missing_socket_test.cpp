// A pipe found missing is remembered until its folder changes. Whatever changes, a listener
// made after a miss gets the very next open: made in the folder, in a folder that did not exist
// yet, and after a forked child has asked too.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "DebugListener.h"
#include "KstPlatform.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "ProcessState.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPipe = "\\\\.\\pipe\\late";

bool Opens() {
    HANDLE pipe =
        CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(pipe);
    return true;
}

void ExpectMisses() {
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(Opens());
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    }
}

TEST(MissingSocket, ListenerMadeAfterMissesGetsTheNextOpen) {
    fs::path runtime = fs::temp_directory_path() / ("kst-missing-" + std::to_string(getpid()));
    fs::remove_all(runtime);
    fs::create_directories(runtime);
    ksttest::EnvScope env("XDG_RUNTIME_DIR", runtime.string());
    fs::path folder = runtime / "kst-pipe";

    SCOPED_TRACE("the pipe folder does not exist yet");
    ExpectMisses();
    {
        ksttest::DebugListener listener("late");  // makes the folder, then the socket
        ASSERT_TRUE(listener.Ready());
        EXPECT_TRUE(Opens());
    }
    SCOPED_TRACE("the listener went, another comes in the same folder");
    ExpectMisses();
    {
        ksttest::DebugListener listener("late");
        EXPECT_TRUE(Opens());
    }
    SCOPED_TRACE("the folder went and comes back");
    ExpectMisses();
    fs::remove_all(folder);
    ExpectMisses();
    {
        ksttest::DebugListener listener("late");
        EXPECT_TRUE(Opens());
    }
    SCOPED_TRACE("a forked child asks after the listener came");
    ExpectMisses();
    {
        ksttest::DebugListener listener("late");
        pid_t child = fork();
        if (child == 0) _exit(Opens() ? 0 : 1);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_TRUE(Opens());
    }
    fs::remove_all(runtime);
}

}  // namespace
