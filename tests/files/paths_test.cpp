// Path splitting and building, temporary names, folder trees, text files, drive types.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "KstFile.h"
#include "KstFileService.h"
#include "KstPlatform.h"
#include "KstTest.h"
#include "ProcessState.h"
#include "KstWin32.h"
#include "files/internal/SharedPathHelpers.h"
#include "internal/CodePage.h"

namespace fs = std::filesystem;
using ksttest::ScratchDir;

namespace {

std::string Parent(const char* path) {
    char out[MAX_PATH];
    GetParentDir(path, out);
    return out;
}

std::string S(const CString& text) {
    return text.str();
}

using ScopedEnv = ksttest::EnvScope;

// ---- Splitting and building ----

TEST(PathSplit, ParentFolderOnBothStyles) {
    EXPECT_EQ(Parent("c:\\a\\b.txt"), "c:\\a\\");
    EXPECT_EQ(Parent("c:\\a\\b\\"), "c:\\a\\");
    EXPECT_EQ(Parent("c:\\a"), "c:\\");
    EXPECT_EQ(Parent("c:\\"), "c:");
    EXPECT_EQ(Parent("c:"), "c:");
    EXPECT_EQ(Parent("b.txt"), "");
    EXPECT_EQ(Parent(""), "");
    EXPECT_EQ(Parent("/home/u/a.txt"), "/home/u/");
    EXPECT_EQ(Parent("/home/u/"), "/home/");
    EXPECT_EQ(Parent("/home"), "/");
    EXPECT_EQ(Parent("\\\\server\\share\\x.txt"), "\\\\server\\share\\");
    EXPECT_EQ(S(CFileService::GetPath("/home/u/a.txt")), "/home/u/");
    EXPECT_EQ(S(CFileService::GetPath("c:\\a\\b\\")), "c:\\a\\");
}

TEST(PathSplit, OnlyOneTrailingSeparatorIsDropped) {
    EXPECT_EQ(Parent("c:\\a\\b\\\\"), "c:\\a\\b\\");
    EXPECT_EQ(Parent("/a/b//"), "/a/b/");
}

TEST(PathSplit, TrailingBlanksBelongToTheName) {
    EXPECT_EQ(Parent("c:\\a\\b\\ "), "c:\\a\\b\\");
    EXPECT_EQ(S(CFileService::GetName("c:\\a\\b.txt ")), "b.txt ");
    EXPECT_EQ(S(CFileService::GetExt("c:\\a\\b.txt ")), ".txt ");
    EXPECT_EQ(S(CFileService::GetTitle("/x/ b .log")), " b ");
}

TEST(PathSplit, Parts) {
    EXPECT_EQ(S(CFileService::GetName("c:\\a\\b.txt")), "b.txt");
    EXPECT_EQ(S(CFileService::GetTitle("c:\\a\\b.txt")), "b");
    EXPECT_EQ(S(CFileService::GetExt("c:\\a\\b.txt")), ".txt");
    EXPECT_EQ(S(CFileService::GetExt("archive.tar.gz")), ".gz");
    EXPECT_EQ(S(CFileService::GetExt("c:\\a.d\\noext")), "");
    EXPECT_EQ(S(CFileService::GetDrive("c:\\a\\b.txt")), "c:");
    EXPECT_EQ(S(CFileService::GetDrive("\\\\server\\share\\b.txt")), "");
    EXPECT_EQ(S(CFileService::GetDrive("/home/u")), "");
    EXPECT_EQ(S(CFileService::GetPathTitle("c:\\a\\b.txt")), "c:\\a\\b");
    EXPECT_EQ(S(CFileService::GetPathTitle("/home/u/a.tar.gz")), "/home/u/a.tar");
    EXPECT_EQ(S(CFileService::GetName("/home/u/.profile")), ".profile");
    EXPECT_EQ(S(CFileService::GetTitle("/home/u/.profile")), "");
}

TEST(PathSplit, ChangeAndDefaultExtension) {
    EXPECT_EQ(S(CFileService::ChangeExt("c:\\a\\b.txt", "bak")), "c:\\a\\b.bak");
    EXPECT_EQ(S(CFileService::ChangeExt("c:\\a\\b.txt", ".bak")), "c:\\a\\b.bak");
    EXPECT_EQ(S(CFileService::ChangeExt("c:\\a\\b.txt", "")), "c:\\a\\b");
    EXPECT_EQ(S(CFileService::ChangeExt("/srv/log", "old")), "/srv/log.old");
    EXPECT_EQ(S(CFileService::DefaultExt("c:\\a\\b", ".log")), "c:\\a\\b.log");
    EXPECT_EQ(S(CFileService::DefaultExt("c:\\a\\b.txt", ".log")), "c:\\a\\b.txt");
    // Returned exactly as given, not rebuilt.
    EXPECT_EQ(S(CFileService::DefaultExt("c:/a\\b.txt", ".log")), "c:/a\\b.txt");
}

TEST(PathSplit, AddBackSlash) {
    CString empty;
    CFileService::AddBackSlash(empty);
    EXPECT_EQ(S(empty), "");
    CString windows = "c:\\a";
    CFileService::AddBackSlash(windows);
    EXPECT_EQ(S(windows), "c:\\a\\");
    CFileService::AddBackSlash(windows);
    EXPECT_EQ(S(windows), "c:\\a\\");
    CString linux = "/tmp/x";
    CFileService::AddBackSlash(linux);
    EXPECT_EQ(S(linux), "/tmp/x/");
    CFileService::AddBackSlash(linux);
    EXPECT_EQ(S(linux), "/tmp/x/");
    CString blank = "c:\\a ";
    CFileService::AddBackSlash(blank);
    EXPECT_EQ(S(blank), "c:\\a \\");
}

TEST(PathSplit, CyrillicInUtf8) {
    kst::SetCodePages(CP_UTF8, 866);
    EXPECT_EQ(S(CFileService::GetPath("/дом/Папка/файл.txt")), "/дом/Папка/");
    EXPECT_EQ(S(CFileService::GetTitle("c:\\Документы\\отчёт.doc")), "отчёт");
    EXPECT_EQ(S(CFileService::ChangeExt("c:\\Документы\\отчёт.doc", "бак")),
              "c:\\Документы\\отчёт.бак");
}

TEST(PathSplit, CyrillicInCodePage1251) {
    kst::SetCodePages(1251, 866);
    std::string folder = kst::detail::Convert("c:\\Документы\\", CP_UTF8, 1251);
    std::string title = kst::detail::Convert("отчёт", CP_UTF8, 1251);
    std::string path = folder + title + ".doc";
    EXPECT_EQ(S(CFileService::GetPath(path.c_str())), folder);
    EXPECT_EQ(S(CFileService::GetTitle(path.c_str())), title);
    EXPECT_EQ(S(CFileService::GetPathTitle(path.c_str())), folder + title);
    kst::SetCodePages(CP_UTF8, 866);
}

TEST(PathSplit, TooLongInputsGiveEmptyResults) {
    std::string longPath = "c:\\" + std::string(400, 'a') + "\\b.txt";
    EXPECT_EQ(Parent(longPath.c_str()), "");
    EXPECT_EQ(S(CFileService::GetPath(longPath.c_str())), "");
    EXPECT_EQ(S(CFileService::GetName(longPath.c_str())), "");
    EXPECT_EQ(S(CFileService::ChangeExt(longPath.c_str(), "x")), "");
    EXPECT_EQ(S(CFileService::DefaultExt(longPath.c_str(), "x")), "");
    EXPECT_EQ(S(CFileService::GetPathTitle(longPath.c_str())), "");
    // Fits a path but not a title buffer.
    std::string longTitle = "/" + std::string(257, 't');
    EXPECT_EQ(S(CFileService::GetTitle(longTitle.c_str())), "");
    // The join would not fit.
    std::string nearLimit = "/" + std::string(250, 'n') + ".a";
    EXPECT_EQ(S(CFileService::ChangeExt(nearLimit.c_str(), std::string(20, 'e').c_str())), "");
}

// ---- Existence, temporary names ----

TEST(Files, ExistenceOfFilesAndFolders) {
    std::string dir = ScratchDir();
    ksttest::WriteFile(dir + "/f.txt", "x");
    EXPECT_EQ(CFileService::IsFileExist((dir + "/f.txt").c_str()), 1);
    EXPECT_EQ(CFileService::IsFileExist(dir.c_str()), 1);
    EXPECT_EQ(CFileService::IsFileExist((dir + "/none").c_str()), 0);
    EXPECT_TRUE(IsDirExist(dir.c_str()));
    EXPECT_FALSE(IsDirExist((dir + "/f.txt").c_str()));
    EXPECT_FALSE(IsDirExist((dir + "/none").c_str()));
    kst::MapDrive('Q', dir, kst::DriveType::Fixed);
    EXPECT_EQ(CFileService::IsFileExist("Q:\\f.txt"), 1);
    EXPECT_TRUE(IsDirExist("q:\\"));
    kst::UnmapDrive('Q');
}

TEST(TempNames, FileAndFolderInTheSystemsTemporaryFolder) {
    std::string tmp = ScratchDir();
    ScopedEnv env("TMPDIR", tmp);
    EXPECT_EQ(S(CFileService::GetTempPathA()), tmp + "/");

    CString file = CFileService::CreateTempFileName();
    ASSERT_FALSE(file.IsEmpty());
    EXPECT_EQ(S(CFileService::GetPath(file)), tmp + "/");
    EXPECT_EQ(S(CFileService::GetName(file)).rfind("Kst", 0), 0u);
    EXPECT_EQ(S(CFileService::GetExt(file)), ".tmp");
    EXPECT_TRUE(fs::is_regular_file(S(file)));
    EXPECT_EQ(fs::file_size(S(file)), 0u);

    CString prefix = "abcdef";
    CString named = CFileService::CreateTempFileName(&prefix);
    EXPECT_EQ(S(CFileService::GetName(named)).rfind("abc", 0), 0u);
    EXPECT_NE(S(CFileService::GetName(named)).rfind("abcd", 0), 0u);
    EXPECT_NE(named, file);

    CString folder = CFileService::CreateTempPath("dir");
    ASSERT_FALSE(folder.IsEmpty());
    EXPECT_EQ(folder[folder.GetLength() - 1], '/');
    EXPECT_TRUE(fs::is_directory(S(folder)));
    EXPECT_EQ(S(CFileService::GetPath(folder)), tmp + "/");
    std::string name = S(CFileService::GetName(folder.Left(folder.GetLength() - 1)));
    EXPECT_EQ(name.rfind("dir", 0), 0u);
    EXPECT_EQ(name.find('.'), std::string::npos);  // named like the file, without ".tmp"
    // The file that reserved the name is gone.
    EXPECT_FALSE(fs::exists(S(folder.Left(folder.GetLength() - 1)) + ".tmp"));

    // The caller cleans up; nothing else is left behind.
    fs::remove(S(file));
    fs::remove(S(named));
    fs::remove(S(folder));
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST(TempNames, MissingTemporaryFolder) {
    ScopedEnv env("TMPDIR", ScratchDir() + "/missing");
    EXPECT_TRUE(CFileService::CreateTempFileName().IsEmpty());
    // No file was made, so none can be removed: the framework's exception passes through.
    try {
        CString folder = CFileService::CreateTempPath();
        ADD_FAILURE() << "no exception, got " << S(folder);
    } catch (CFileException* e) {
        e->Delete();
    }
    EXPECT_FALSE(fs::exists(ScratchDir() + "/missing"));
}

TEST(TempNames, FolderTwinLeftFromEarlierRunIsTakenAsItIs) {
    std::string tmp = ScratchDir();
    ScopedEnv env("TMPDIR", tmp);
    // Folders of every 16th number are left from earlier runs (their files are gone): of 300
    // new folders, some fall on them (all miss with a chance below 1e-8).
    char name[16];
    for (unsigned number = 16; number < 0x10000; number += 16) {
        std::snprintf(name, sizeof name, "/Zz%X", number);
        ASSERT_EQ(mkdir((tmp + name).c_str(), 0755), 0);
    }
    int twins = 0;
    for (int i = 0; i < 300; ++i) {
        CString folder = CFileService::CreateTempPath("Zz");
        ASSERT_FALSE(folder.IsEmpty());
        unsigned number = std::stoul(S(folder).substr(tmp.size() + 3), nullptr, 16);
        if (number % 16 == 0) ++twins;
        EXPECT_TRUE(fs::is_directory(S(folder)));
        EXPECT_EQ(S(folder).back(), '/');
    }
    EXPECT_GT(twins, 0);
}

KST_CHILD_ROLE(temp_maker) {
    std::ofstream out(argv[1]);
    for (int i = 0; i < 100; ++i) {
        out << CFileService::CreateTempFileName().str() << "\n";
        out << CFileService::CreateTempPath().str() << "\n";
    }
    return 0;
}

TEST(TempNames, UniqueUnderTwoProcesses) {
    std::string tmp = ScratchDir();
    std::string out = ScratchDir();
    ScopedEnv env("TMPDIR", tmp);
    pid_t a = ksttest::StartChild("temp_maker", {out + "/a"});
    pid_t b = ksttest::StartChild("temp_maker", {out + "/b"});
    ASSERT_EQ(ksttest::WaitChild(a), 0);
    ASSERT_EQ(ksttest::WaitChild(b), 0);
    // Files are made exclusively and stay, so their names never repeat. A folder's name is
    // free again once its file is removed: two folders may fall on one name.
    std::set<std::string> files, folders;
    size_t lines = 0;
    for (const char* which : {"/a", "/b"}) {
        std::istringstream in(ksttest::ReadFile(out + which));
        for (std::string line; std::getline(in, line); ++lines) {
            ASSERT_EQ(line.rfind(tmp + "/Kst", 0), 0u) << line;
            if (line.back() == '/') {
                EXPECT_TRUE(fs::is_directory(line)) << line;
                folders.insert(line);
            } else {
                EXPECT_TRUE(files.insert(line).second) << line;
            }
        }
    }
    EXPECT_EQ(lines, 400u);
    EXPECT_EQ(files.size(), 200u);
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator(tmp), fs::directory_iterator())),
              files.size() + folders.size());
}

// ---- Folder trees ----

class FolderTrees : public ::testing::Test {
protected:
    std::string dir = ScratchDir();
};

TEST_F(FolderTrees, DeepTreeOnBothStyles) {
    std::string deep = dir + "/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p";
    EXPECT_TRUE(CFileService::CreateFullPath(deep.c_str()));
    EXPECT_TRUE(fs::is_directory(deep));

    kst::MapDrive('Q', dir, kst::DriveType::Fixed);
    EXPECT_TRUE(CFileService::CreateFullPath("Q:\\new\\deeper\\"));
    EXPECT_TRUE(fs::is_directory(dir + "/new/deeper"));
    EXPECT_TRUE(CreateDirTree("q:\\tree\\x\\y"));
    EXPECT_TRUE(fs::is_directory(dir + "/tree/x/y"));
    kst::UnmapDrive('Q');

    std::string other = dir + "/z/y/x";
    EXPECT_TRUE(CreateDirTree(other.c_str()));
    EXPECT_TRUE(fs::is_directory(other));
    EXPECT_TRUE(CreateDirTree(other.c_str()));  // existing: success
    EXPECT_TRUE(CFileService::CreateFullPath(""));
    EXPECT_TRUE(CreateDirTree(""));
}

TEST_F(FolderTrees, CyrillicAndBlankNames) {
    kst::SetCodePages(CP_UTF8, 866);
    std::string utf8 = dir + "/Папка/Вложенная ";
    EXPECT_TRUE(CFileService::CreateFullPath(utf8.c_str()));
    EXPECT_TRUE(fs::is_directory(utf8));
    kst::SetCodePages(1251, 866);
    std::string cp1251 = dir + kst::detail::Convert("/Каталог/Ещё", CP_UTF8, 1251);
    EXPECT_TRUE(CreateDirTree(cp1251.c_str()));
    EXPECT_TRUE(IsDirExist(cp1251.c_str()));
    kst::SetCodePages(CP_UTF8, 866);
}

TEST_F(FolderTrees, ExistingFile) {
    std::string file = dir + "/file";
    ksttest::WriteFile(file, "x");
    // The path exists: nothing more is asked.
    EXPECT_TRUE(CFileService::CreateFullPath(file.c_str()));
    EXPECT_TRUE(CreateDirTree(file.c_str()));
    // A folder cannot be made below a file.
    SetLastError(0);
    EXPECT_FALSE(CFileService::CreateFullPath((file + "/sub/deeper").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(CreateDirTree((file + "\\sub").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(FolderTrees, UnmappedDriveFails) {
    kst::UnmapDrive('W');
    SetLastError(0);
    EXPECT_FALSE(CFileService::CreateFullPath("W:\\x\\y"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(FolderTrees, TooLongPathFails) {
    std::string longPath = dir + "/" + std::string(300, 'l');
    SetLastError(0);
    EXPECT_FALSE(CFileService::CreateFullPath(longPath.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(CreateDirTree(longPath.c_str()));
    EXPECT_NE(access(longPath.c_str(), F_OK), 0);
}

// Runs as an unprivileged user, for whom a read-only folder is read-only.
KST_CHILD_ROLE(create_under_readonly) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
    std::string target = std::string(argv[1]) + "/new/deeper";
    SetLastError(0);
    if (CFileService::CreateFullPath(target.c_str())) return 11;
    if (GetLastError() != ERROR_ACCESS_DENIED) return 12;
    SetLastError(0);
    if (CreateDirTree((std::string(argv[1]) + "\\other").c_str())) return 13;
    if (GetLastError() != ERROR_ACCESS_DENIED) return 14;
    return 0;
}

TEST_F(FolderTrees, ReadOnlyParent) {
    // A folder of our own under /tmp that the unprivileged child can reach.
    char pattern[] = "/tmp/kst-ro-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    std::string base = pattern;
    chmod(base.c_str(), 0755);
    std::string readonly = base + "/ro";
    ASSERT_EQ(mkdir(readonly.c_str(), 0555), 0);
    chmod(readonly.c_str(), 0555);
    pid_t child = ksttest::StartChild("create_under_readonly", {readonly});
    EXPECT_EQ(ksttest::WaitChild(child), 0);
    EXPECT_FALSE(fs::exists(readonly + "/new"));
    fs::remove_all(base);
}

// ---- Text files ----

TEST(TextFiles, LinesAreAppendedJoinedByLineBreaks) {
    std::string dir = ScratchDir();
    std::string file = dir + "/three.txt";
    ksttest::WriteFile(file, "a\r\n\r\nb\r\n");
    CString text;
    EXPECT_EQ(CFileService::LoadStdioFile(file.c_str(), text), 1);
    EXPECT_EQ(S(text), "a\n\nb");
    CString appended = "x";
    EXPECT_EQ(CFileService::LoadStdioFile(file.c_str(), appended), 1);
    EXPECT_EQ(S(appended), "xa\n\nb");

    ksttest::WriteFile(dir + "/plain.txt", "one\ntwo");
    CString plain;
    EXPECT_EQ(CFileService::LoadStdioFile((dir + "/plain.txt").c_str(), plain), 1);
    EXPECT_EQ(S(plain), "one\ntwo");

    ksttest::WriteFile(dir + "/empty.txt", "");
    CString untouched = "keep";
    EXPECT_EQ(CFileService::LoadStdioFile((dir + "/empty.txt").c_str(), untouched), 1);
    EXPECT_EQ(S(untouched), "keep");
}

TEST(TextFiles, MissingFileLeavesTextUntouched) {
    CString text = "keep";
    EXPECT_EQ(CFileService::LoadStdioFile((ScratchDir() + "/none.txt").c_str(), text), 0);
    EXPECT_EQ(S(text), "keep");
    EXPECT_EQ(CFileService::LoadStdioFileLine(ScratchDir().c_str(), text, 1), 0);  // a folder
    EXPECT_EQ(S(text), "keep");
}

TEST(TextFiles, StopAtText) {
    std::string dir = ScratchDir();
    ksttest::WriteFile(dir + "/first.txt", "abc\r\ndef\r\n");
    ksttest::WriteFile(dir + "/second.txt", "\r\nabc\r\ndef\r\n");
    CString text;
    EXPECT_EQ(CFileService::LoadStdioFileLine((dir + "/first.txt").c_str(), text, 1), 1);
    EXPECT_EQ(S(text), "abc");
    text.Empty();
    EXPECT_EQ(CFileService::LoadStdioFileLine((dir + "/second.txt").c_str(), text, 1), 1);
    EXPECT_EQ(S(text), "\nabc");
    // Text already there: the first line stops it.
    CString given = "x";
    EXPECT_EQ(CFileService::LoadStdioFileLine((dir + "/second.txt").c_str(), given, 1), 1);
    EXPECT_EQ(S(given), "x");
    text.Empty();
    EXPECT_EQ(CFileService::LoadStdioFileLine((dir + "/second.txt").c_str(), text, 0), 1);
    EXPECT_EQ(S(text), "\nabc\ndef");
}

// ---- Drives and the program's folder ----

TEST(Drives, RemovableFromTheDriveTable) {
    std::string dir = ScratchDir();
    kst::MapDrive('R', dir, kst::DriveType::Removable);
    kst::MapDrive('F', dir, kst::DriveType::Fixed);
    EXPECT_EQ(CFileService::IsRemovable("R:\\any\\file.txt"), 1);
    EXPECT_EQ(CFileService::IsRemovable("r:"), 1);
    EXPECT_EQ(CFileService::IsRemovable("F:\\file.txt"), 0);
    kst::UnmapDrive('R');
    kst::UnmapDrive('F');
    EXPECT_EQ(CFileService::IsRemovable("R:\\file.txt"), 0);
}

// The removable flag of the disk under a host path, as the kernel reports it.
int KernelRemovable(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                      std::to_string(minor(st.st_dev));
    for (const char* file : {"/removable", "/../removable"}) {
        std::ifstream in(sys + file);
        int value = 0;
        if (in >> value) return value == 1;
    }
    return 0;
}

TEST(Drives, RemovableFromTheDeviceUnderAHostPath) {
    std::string dir = ScratchDir();
    EXPECT_EQ(CFileService::IsRemovable(dir.c_str()), KernelRemovable(dir));
    // A file that does not exist yet is asked about through its nearest folder.
    EXPECT_EQ(CFileService::IsRemovable((dir + "/not/yet/file.txt").c_str()), KernelRemovable(dir));
    EXPECT_EQ(CFileService::IsRemovable("\\\\server\\share\\x"), 0);
    EXPECT_EQ(CFileService::IsRemovable(""), 0);
    EXPECT_EQ(CFileService::IsRemovable(("/" + std::string(400, 'x')).c_str()), 0);
    // Any removable disk this machine has (a USB stick) is found as removable.
    for (const auto& disk : fs::directory_iterator("/sys/block")) {
        std::ifstream in(disk.path() / "removable");
        int removable = 0;
        if (!(in >> removable) || removable != 1) continue;
        std::ifstream mounts("/proc/self/mounts");
        for (std::string source, point, rest;
             mounts >> source >> point && std::getline(mounts, rest);) {
            if (source.find(disk.path().filename().string()) != std::string::npos) {
                EXPECT_EQ(CFileService::IsRemovable(point.c_str()), 1) << point;
            }
        }
    }
}

TEST(Drives, ModuleDirIsTheProgramsFolder) {
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(S(CFileService::GetModuleDir()), exe.substr(0, exe.rfind('/') + 1));
}

// ---- Same folder ----

TEST(SameDir, EqualNamesWithoutTouchingTheDisk) {
    EXPECT_TRUE(IsSameDir(" c:\\dir ", "C:\\DIR\\"));
    EXPECT_TRUE(IsSameDir("/no/such/dir", "/no/such/dir/"));
    kst::SetCodePages(CP_UTF8, 866);
    EXPECT_TRUE(IsSameDir("/папка", "/ПАПКА/"));
}

TEST(SameDir, DifferentNamesOfOneFolder) {
    std::string dir = ScratchDir();
    fs::create_directory(dir + "/real");
    fs::create_directory_symlink(dir + "/real", dir + "/link");
    fs::create_directory(dir + "/other");
    kst::MapDrive('Q', dir + "/real", kst::DriveType::Fixed);
    EXPECT_TRUE(IsSameDir((dir + "/link").c_str(), (dir + "/real").c_str()));
    EXPECT_TRUE(IsSameDir("Q:\\", (dir + "/real/").c_str()));
    EXPECT_FALSE(IsSameDir((dir + "/other").c_str(), (dir + "/real").c_str()));
    EXPECT_FALSE(IsSameDir((dir + "/real").c_str(), (dir + "/missing").c_str()));
    kst::UnmapDrive('Q');
    // The probe files are gone.
    EXPECT_TRUE(fs::is_empty(dir + "/real"));
    EXPECT_TRUE(fs::is_empty(dir + "/other"));
}

}  // namespace
