// Files and folders by name: path mapping, error codes, copies, listings, temporary names
// and drive types (raw diskette reads are tested with the diskette services).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <set>

#include "KstPlatform.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "ProcessState.h"

namespace {

DWORD ErrorOfOpen(const std::string& path, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// The error each failing call leaves, by the platform's codes.
DWORD ErrorOf(bool succeeded) {
    return succeeded ? DWORD(ERROR_SUCCESS) : GetLastError();
}

std::string ReadAll(HANDLE file) {
    std::string text;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

class DriveX : public ::testing::Test {
protected:
    void SetUp() override {
        root = ksttest::ScratchDir();
        kst::MapDrive('X', root, kst::DriveType::Removable);
    }
    void TearDown() override { kst::UnmapDrive('X'); }
    std::string root;
};

}  // namespace

TEST_F(DriveX, PathsGoThroughTheDriveTableWithEitherSeparator) {
    std::filesystem::create_directories(root + "/sub");
    ksttest::WriteFile(root + "/sub/a.txt", "content");
    for (const char* path : {"X:\\sub\\a.txt", "x:/sub/a.txt", "X:sub\\a.txt"}) {
        HANDLE file =
            CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        EXPECT_EQ(ReadAll(file), "content");
        CloseHandle(file);
    }
    EXPECT_EQ(GetFileAttributesA("X:\\sub") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("Q:\\sub\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND)) << "a letter without an entry";
    // The table decides, also below the root.
    std::vector<UINT> types;
    for (const char* path : {"X:\\", "X:", "Q:\\", "X:\\sub\\", "Q:\\sub\\", root.c_str()})
        types.push_back(GetDriveTypeA(path));
    EXPECT_EQ(types, (std::vector<UINT>{DRIVE_REMOVABLE, DRIVE_REMOVABLE, DRIVE_NO_ROOT_DIR,
                                        DRIVE_REMOVABLE, DRIVE_NO_ROOT_DIR, DRIVE_FIXED}));
}

TEST_F(DriveX, ErrorCodesOfCommonFailures) {
    std::filesystem::create_directories(root + "/dir");
    ksttest::WriteFile(root + "/here.txt", "x");
    ksttest::WriteFile(root + "/dir/in.txt", "");
    const struct {
        const char* path;
        DWORD access, disposition, error;
    } opens[] = {
        {"X:\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"X:\\nofolder\\a.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"X:\\nofolder\\a.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"X:\\here.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {"X:\\dir", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder as a file
        {"X:\\dir", GENERIC_WRITE, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
    };
    for (const auto& o : opens)
        EXPECT_EQ(ErrorOfOpen(o.path, o.access, o.disposition), o.error) << o.path;
    const std::pair<std::function<BOOL()>, DWORD> calls[] = {
        {[] { return CreateDirectoryA("X:\\dir", nullptr); }, ERROR_ALREADY_EXISTS},
        {[] { return CreateDirectoryA("X:\\a\\b", nullptr); }, ERROR_PATH_NOT_FOUND},
        {[] { return DeleteFileA("X:\\missing.txt"); }, ERROR_FILE_NOT_FOUND},
        {[] { return DeleteFileA("X:\\dir"); }, ERROR_ACCESS_DENIED},
        {[] { return RemoveDirectoryA("X:\\dir"); }, ERROR_DIR_NOT_EMPTY},
    };
    for (const auto& [call, error] : calls) EXPECT_EQ(ErrorOf(call()), error);

    HANDLE file = CreateFileA("X:\\here.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << "opened, and it was there";
    CloseHandle(file);
}

TEST_F(DriveX, ReadOnlyFilesRefuseWritersEvenForRoot) {
    std::string path = root + "/ro.txt";
    ksttest::WriteFile(path, "x");
    ::chmod(path.c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA("X:\\ro.txt") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((std::vector{ErrorOfOpen("X:\\ro.txt", GENERIC_WRITE, OPEN_EXISTING),
                           ErrorOfOpen("X:\\ro.txt", GENERIC_READ, OPEN_EXISTING),
                           ErrorOf(DeleteFileA("X:\\ro.txt"))}),
              (std::vector<DWORD>{ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED}));
}

// argv: folder; creates a file in it as an unprivileged user; exits with the error code.
KST_CHILD_ROLE(create_in_folder) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 200;
    std::string path = std::string(argv[1]) + "/new.txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    CloseHandle(file);
    return 0;
}

TEST(Folders, CreatingInAReadOnlyFolderIsAccessDenied) {
    char pattern[] = "/tmp/kst-ro-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string folder = pattern;
    ::chmod(folder.c_str(), 0555);
    int code = ksttest::WaitChild(ksttest::StartChild("create_in_folder", {folder}));
    ::chmod(folder.c_str(), 0755);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
}

TEST(Folders, CopyMoveAndList) {
    std::string dir = ksttest::ScratchDir();
    std::string a = dir + "/a.txt", b = dir + "/b.txt", c = dir + "/c.TXT";
    ksttest::WriteFile(a, "data");
    ASSERT_TRUE(CopyFileA(a.c_str(), b.c_str(), TRUE));
    EXPECT_EQ(ksttest::ReadFile(b), "data");
    EXPECT_EQ(ErrorOf(CopyFileA(a.c_str(), b.c_str(), TRUE)), DWORD(ERROR_FILE_EXISTS));
    ksttest::WriteFile(a, "newer");
    EXPECT_TRUE(CopyFileA(a.c_str(), b.c_str(), FALSE));
    EXPECT_EQ(ksttest::ReadFile(b), "newer");
    EXPECT_EQ(ErrorOf(CopyFileA((dir + "/none").c_str(), b.c_str(), FALSE)),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ErrorOf(MoveFileA(a.c_str(), b.c_str())), DWORD(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(MoveFileA(a.c_str(), c.c_str()));

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*.txt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::set<std::string> names{data.cFileName};
    while (FindNextFileA(find, &data)) names.insert(data.cFileName);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(names, (std::set<std::string>{"b.txt", "c.TXT"})) << "wildcards ignore case";
    EXPECT_EQ(ErrorOf(FindFirstFileA((dir + "/*.none").c_str(), &data) != INVALID_HANDLE_VALUE),
              DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(TempFiles, TempPathAndNames) {
    std::string dir = ksttest::ScratchDir();
    {
        ksttest::EnvScope tmp("TMPDIR", dir);
        char buffer[MAX_PATH];
        DWORD length = GetTempPathA(sizeof buffer, buffer);
        EXPECT_EQ(std::string(buffer, length), dir + "/");
        EXPECT_EQ(GetTempPathA(3, buffer), DWORD(dir.size() + 2)) << "the size needed";
    }
    char name[MAX_PATH];
    UINT number = GetTempFileNameA(dir.c_str(), "Prefix", 0, name);
    ASSERT_NE(number, 0u);
    char expected[MAX_PATH];
    std::snprintf(expected, sizeof expected, "%s/Pre%X.tmp", dir.c_str(), number);
    EXPECT_STREQ(name, expected);
    EXPECT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(GetTempFileNameA("C:\\dir", "ab", 0x1A2B, name), 0x1A2Bu);
    EXPECT_STREQ(name, "C:\\dir\\ab1A2B.tmp") << "a given number only names";
    // A folder written with / gets /; three characters of the prefix, not three bytes.
    ksttest::CodePageScope pages(65001, 866);
    for (auto [folder, prefix, expected] : {std::tuple{"C:/dir", "ab", "C:/dir/ab1A2B.tmp"},
                                            {"C:", "ab", "C:\\ab1A2B.tmp"},
                                            {"C:\\t", "Файл", "C:\\t\\Фай1A2B.tmp"},
                                            {"C:\\a/b", "ab", "C:\\a/b\\ab1A2B.tmp"}}) {
        GetTempFileNameA(folder, prefix, 0x1A2B, name);
        EXPECT_STREQ(name, expected);
    }
    EXPECT_EQ(GetTempFileNameA((dir + "/none").c_str(), "x", 0, name), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(PathSplit, SplitAndJoin) {
    char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    auto split = [&](const char* path) {
        _splitpath(path, drive, dir, fname, ext);
        return std::string(drive) + "|" + dir + "|" + fname + "|" + ext;
    };
    EXPECT_EQ(split("c:\\a\\b.tar.gz"), "c:|\\a\\|b.tar|.gz");
    EXPECT_EQ(split("/tmp/x/name"), "|/tmp/x/|name|");
    char path[_MAX_PATH], other[_MAX_PATH];
    _makepath(path, "c:", "\\a", "b", "txt");
    _makepath(other, "", "/tmp/x", "b", ".log");  // a folder written with / gets /
    EXPECT_EQ(std::string(path) + "|" + other, "c:\\a\\b.txt|/tmp/x/b.log");
}

TEST(Names, ShortPathAndModuleFileName) {
    std::string dir = ksttest::ScratchDir();
    char buffer[MAX_PATH];
    EXPECT_EQ(GetShortPathNameA(dir.c_str(), buffer, sizeof buffer), DWORD(dir.size()));
    EXPECT_EQ(dir, buffer);
    EXPECT_EQ(GetShortPathNameA((dir + "/none").c_str(), buffer, sizeof buffer), 0u);
    kst::MapDrive('A', "", kst::DriveType::Removable, dir + "/image");
    EXPECT_EQ(GetShortPathNameA("a:\\dir\\file.txt", buffer, sizeof buffer), 15u);
    EXPECT_STREQ(buffer, "A:\\DIR\\FILE.TXT");
    kst::UnmapDrive('A');

    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), ksttest::SelfExe());
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 4), 4u);
    EXPECT_EQ(std::pair(GetLastError(), std::strlen(buffer)),
              std::pair(DWORD(ERROR_INSUFFICIENT_BUFFER), size_t(3)));
    length = GetModuleFileNameA(reinterpret_cast<HMODULE>(&CreateFileA), buffer, sizeof buffer);
    EXPECT_NE(std::string(buffer, length).find("libKstSystem.so"), std::string::npos);
}
