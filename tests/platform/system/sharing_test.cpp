// Sharing modes between handles of one process and between real processes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>
#include <vector>

#include "KstFile.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"

namespace {

// "r", "w", "rw": the flags for reading and writing.
DWORD Flags(const std::string& text, DWORD read, DWORD write) {
    return (text.find('r') != std::string::npos ? read : 0) |
           (text.find('w') != std::string::npos ? write : 0);
}

HANDLE Open(const std::string& path, const std::string& access, const std::string& share) {
    return CreateFileA(path.c_str(), Flags(access, GENERIC_READ, GENERIC_WRITE),
                       Flags(share, FILE_SHARE_READ, FILE_SHARE_WRITE), nullptr, OPEN_ALWAYS, 0,
                       nullptr);
}

void WaitFor(const std::string& path) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

// argv: path access share; holds the file open until the file path + ".release" appears.
KST_CHILD_ROLE(holder) {
    std::string path = argv[1];
    HANDLE file = Open(path, argv[2], argv[3]);
    // Written aside and renamed, so the parent never reads it half written.
    ksttest::WriteFile(path + ".ready~", file == INVALID_HANDLE_VALUE ? "failed" : "open");
    std::filesystem::rename(path + ".ready~", path + ".ready");
    if (file == INVALID_HANDLE_VALUE) return 3;
    WaitFor(path + ".release");
    CloseHandle(file);
    return 0;
}

// argv: path access share; exits 0 when the open succeeds, else with the error code.
KST_CHILD_ROLE(opener) {
    HANDLE file = Open(argv[1], argv[2], argv[3]);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    CloseHandle(file);
    return 0;
}

class OtherProcess {
public:
    OtherProcess(const std::string& path, const std::string& access, const std::string& share)
        : m_path(path) {
        std::filesystem::remove(path + ".ready");
        std::filesystem::remove(path + ".release");
        m_pid = ksttest::StartChild("holder", {path, access, share});
        WaitFor(path + ".ready");
    }
    ~OtherProcess() {
        ksttest::WriteFile(m_path + ".release", "");
        ksttest::WaitChild(m_pid);
    }
    bool holds() const { return ksttest::ReadFile(m_path + ".ready") == "open"; }

private:
    std::string m_path;
    pid_t m_pid;
};

DWORD OpenError(const std::string& path, const std::string& access, const std::string& share) {
    HANDLE file = Open(path, access, share);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// Another process holds the file with one access and sharing; this one opens it as each row
// says ("r", "w": read and write access or sharing).
TEST(Sharing, BetweenProcesses) {
    std::string path = ksttest::ScratchDir() + "/shared.dat";
    const struct {
        const char *access, *share;
        std::vector<std::tuple<const char*, const char*, DWORD>> opens;
    } holders[] = {
        {"rw", "", {{"r", "rw", ERROR_SHARING_VIOLATION}, {"w", "rw", ERROR_SHARING_VIOLATION}}},
        // A reader that denies reading conflicts with the reader already there.
        {"r",
         "r",
         {{"w", "rw", ERROR_SHARING_VIOLATION},
          {"r", "rw", 0},
          {"r", "w", ERROR_SHARING_VIOLATION}}},
        // Denying write while someone writes.
        {"w", "rw", {{"r", "r", ERROR_SHARING_VIOLATION}, {"r", "rw", 0}, {"rw", "rw", 0}}},
    };
    for (const auto& holder : holders) {
        SCOPED_TRACE(std::string(holder.access) + "/" + holder.share);
        OtherProcess other(path, holder.access, holder.share);
        ASSERT_TRUE(other.holds());
        for (auto [access, share, error] : holder.opens)
            EXPECT_EQ(OpenError(path, access, share), error) << access << "/" << share;
    }
    EXPECT_EQ(OpenError(path, "rw", ""), DWORD(ERROR_SUCCESS)) << "released with the process";
}

TEST(Sharing, ExclusiveOpenerFailsAgainstEarlierDenyNone) {
    std::string path = ksttest::ScratchDir() + "/shared.dat";
    HANDLE mine = Open(path, "r", "rw");
    ASSERT_NE(mine, INVALID_HANDLE_VALUE);
    auto opener = [&](const char* share) {
        return ksttest::WaitChild(ksttest::StartChild("opener", {path, "rw", share}));
    };
    EXPECT_EQ(opener(""), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(opener("rw"), 0);
    CloseHandle(mine);
    EXPECT_EQ(opener(""), 0);
}

TEST(Sharing, BetweenHandlesAndCFile) {
    std::string path = ksttest::ScratchDir() + "/shared.dat";
    CFile writer;
    ASSERT_TRUE(
        writer.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite));
    CFile second;
    CFileException error;
    EXPECT_FALSE(second.Open(path.c_str(), CFile::modeWrite | CFile::shareDenyNone, &error));
    EXPECT_EQ(std::pair(error.m_cause, error.m_lOsError),
              std::pair(int(CFileException::sharingViolation), LONG(ERROR_SHARING_VIOLATION)));
    // Deny-write readers are refused too: the writer already writes.
    EXPECT_FALSE(second.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_TRUE(second.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    second.Close();
    writer.Close();
    // Compatibility mode counts as exclusive.
    ASSERT_TRUE(writer.Open(path.c_str(), CFile::modeRead | CFile::shareCompat));
    EXPECT_FALSE(second.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    writer.Close();
    // Write-only handles are marked too.
    HANDLE writeOnly = Open(path, "w", "");
    ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenError(path, "r", "rw"), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(writeOnly);
    EXPECT_EQ(OpenError(path, "r", "rw"), DWORD(ERROR_SUCCESS));
}
