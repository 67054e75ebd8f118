// A pipe found missing is remembered until its folder changes. Whatever changes, a listener
// made after a miss gets the very next open: made in the folder, in a folder that did not exist
// yet, and after a forked child has asked too.
#include <gtest/gtest.h>

#include "DebugListener.h"
#include "KstTest.h"
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

    // The listener makes the folder, then the socket.
    auto listenAndOpen = [](bool forkFirst) {
        ksttest::DebugListener listener("late");
        ASSERT_TRUE(listener.Ready());
        if (forkFirst) {
            pid_t child = fork();
            if (child == 0) _exit(Opens() ? 0 : 1);
            EXPECT_EQ(ksttest::WaitChild(child), 0);
        }
        EXPECT_TRUE(Opens());
    };
    SCOPED_TRACE("the pipe folder does not exist yet");
    ExpectMisses();
    listenAndOpen(false);
    SCOPED_TRACE("the listener went, another comes in the same folder");
    ExpectMisses();
    listenAndOpen(false);
    SCOPED_TRACE("the folder went and comes back");
    ExpectMisses();
    fs::remove_all(folder);
    ExpectMisses();
    listenAndOpen(false);
    SCOPED_TRACE("a forked child asks after the listener came");
    ExpectMisses();
    listenAndOpen(true);
    fs::remove_all(runtime);
}

}  // namespace
