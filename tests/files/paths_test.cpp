// Path splitting and building, temporary names, folder trees, text files, drive types.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
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

// One path operation by name: "parent" (the helper), "path", "name", "title", "ext", "drive",
// "pathtitle", "slash" (AddBackSlash), "ext=X" (ChangeExt), "default=X" (DefaultExt).
std::string Apply(const std::string& op, const char* path) {
    if (op == "parent") return Parent(path);
    if (op == "path") return S(CFileService::GetPath(path));
    if (op == "name") return S(CFileService::GetName(path));
    if (op == "title") return S(CFileService::GetTitle(path));
    if (op == "ext") return S(CFileService::GetExt(path));
    if (op == "drive") return S(CFileService::GetDrive(path));
    if (op == "pathtitle") return S(CFileService::GetPathTitle(path));
    if (op.starts_with("ext=")) return S(CFileService::ChangeExt(path, op.c_str() + 4));
    if (op.starts_with("default=")) return S(CFileService::DefaultExt(path, op.c_str() + 8));
    CString text = path;
    CFileService::AddBackSlash(text);
    return S(text);
}

TEST(PathSplit, PartsOnBothStylesTooLongAndCyrillic) {
    const struct {
        const char *op, *path, *expected;
    } cases[] = {
        {"parent", "c:\\a\\b.txt", "c:\\a\\"},
        {"parent", "c:\\a\\b\\", "c:\\a\\"},
        {"parent", "c:\\a", "c:\\"},
        {"parent", "c:\\", "c:"},
        {"parent", "c:", "c:"},
        {"parent", "b.txt", ""},
        {"parent", "/home/u/", "/home/"},
        {"parent", "/home", "/"},
        {"parent", "\\\\server\\share\\x.txt", "\\\\server\\share\\"},
        {"parent", "c:\\a\\b\\\\", "c:\\a\\b\\"},  // only one trailing separator is dropped
        {"parent", "/a/b//", "/a/b/"},
        {"parent", "c:\\a\\b\\ ", "c:\\a\\b\\"},  // trailing blanks belong to the name
        {"name", "c:\\a\\b.txt ", "b.txt "},
        {"ext", "c:\\a\\b.txt ", ".txt "},
        {"title", "/x/ b .log", " b "},
        {"path", "/home/u/a.txt", "/home/u/"},
        {"path", "c:\\a\\b\\", "c:\\a\\"},
        {"ext", "archive.tar.gz", ".gz"},
        {"ext", "c:\\a.d\\noext", ""},
        {"drive", "c:\\a\\b.txt", "c:"},
        {"drive", "\\\\server\\share\\b.txt", ""},
        {"drive", "/home/u", ""},
        {"pathtitle", "c:\\a\\b.txt", "c:\\a\\b"},
        {"pathtitle", "/home/u/a.tar.gz", "/home/u/a.tar"},
        {"name", "/home/u/.profile", ".profile"},
        {"title", "/home/u/.profile", ""},
        {"ext=bak", "c:\\a\\b.txt", "c:\\a\\b.bak"},
        {"ext=.bak", "c:\\a\\b.txt", "c:\\a\\b.bak"},
        {"ext=", "c:\\a\\b.txt", "c:\\a\\b"},
        {"ext=old", "/srv/log", "/srv/log.old"},
        {"default=.log", "c:\\a\\b", "c:\\a\\b.log"},
        {"default=.log", "c:/a\\b.txt", "c:/a\\b.txt"},  // returned as given, not rebuilt
        {"slash", "", ""},
        {"slash", "c:\\a", "c:\\a\\"},
        {"slash", "c:\\a\\", "c:\\a\\"},
        {"slash", "/tmp/x", "/tmp/x/"},
        {"slash", "/tmp/x/", "/tmp/x/"},
        {"slash", "c:\\a ", "c:\\a \\"},
    };
    for (const auto& c : cases) EXPECT_EQ(Apply(c.op, c.path), c.expected) << c.op << " " << c.path;

    // Too long inputs give empty results.
    std::string longPath = "c:\\" + std::string(400, 'a') + "\\b.txt";
    for (const char* op : {"parent", "path", "name", "ext=x", "default=x", "pathtitle"})
        EXPECT_EQ(Apply(op, longPath.c_str()), "") << op;
    // Fits a path but not a title buffer.
    EXPECT_EQ(Apply("title", ("/" + std::string(257, 't')).c_str()), "");
    // The join would not fit.
    std::string nearLimit = "/" + std::string(250, 'n') + ".a";
    EXPECT_EQ(Apply("ext=" + std::string(20, 'e'), nearLimit.c_str()), "");

    // Cyrillic in UTF-8 and code page 1251.
    ksttest::CodePageScope pages(CP_UTF8, 866);
    EXPECT_EQ(Apply("path", "/дом/Папка/файл.txt"), "/дом/Папка/");
    EXPECT_EQ(Apply("ext=бак", "c:\\Документы\\отчёт.doc"), "c:\\Документы\\отчёт.бак");
    kst::SetCodePages(1251, 866);
    std::string folder = kst::detail::Convert("c:\\Документы\\", CP_UTF8, 1251);
    std::string title = kst::detail::Convert("отчёт", CP_UTF8, 1251);
    std::string path = folder + title + ".doc";
    EXPECT_EQ(Apply("path", path.c_str()), folder);
    EXPECT_EQ(Apply("title", path.c_str()), title);
    EXPECT_EQ(Apply("pathtitle", path.c_str()), folder + title);
}

// ---- Temporary names ----

TEST(TempNames, FileAndFolderTwinsOfEarlierRunsAndMissingFolder) {
    std::string tmp = ScratchDir();
    ScopedEnv env("TMPDIR", tmp);
    EXPECT_EQ(S(CFileService::GetTempPathA()), tmp + "/");

    // Three letters of the prefix, a hexadecimal number, ".tmp" for the empty file; a folder is
    // named like its file, without ".tmp", and the file that reserved the name is gone.
    CString prefix = "abcdef";
    std::string file = S(CFileService::CreateTempFileName()),
                named = S(CFileService::CreateTempFileName(&prefix)),
                folder = S(CFileService::CreateTempPath("dir"));
    ASSERT_TRUE(std::regex_match(file, std::regex(tmp + "/Kst[0-9A-F]+\\.tmp"))) << file;
    ASSERT_TRUE(std::regex_match(named, std::regex(tmp + "/abc[0-9A-F]+\\.tmp"))) << named;
    ASSERT_TRUE(std::regex_match(folder, std::regex(tmp + "/dir[0-9A-F]+/"))) << folder;
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_TRUE(fs::is_directory(folder));
    // The caller cleans up; nothing else is left behind.
    for (const auto& made : {file, named, folder}) fs::remove(made);
    EXPECT_TRUE(fs::is_empty(tmp));

    // Folders of every 8th number are left from earlier runs (their files are gone): of 150
    // new folders, some fall on them (all miss with a chance below 1e-8).
    char name[16];
    for (unsigned number = 8; number < 0x10000; number += 8) {
        std::snprintf(name, sizeof name, "/Zz%X", number);
        ASSERT_EQ(mkdir((tmp + name).c_str(), 0755), 0);
    }
    int twins = 0;
    for (int i = 0; i < 150; ++i) {
        std::string twin = S(CFileService::CreateTempPath("Zz"));
        ASSERT_FALSE(twin.empty());
        twins += std::stoul(twin.substr(tmp.size() + 3), nullptr, 16) % 8 == 0;
        EXPECT_TRUE(fs::is_directory(twin));
        EXPECT_EQ(twin.back(), '/');
    }
    EXPECT_GT(twins, 0);

    ScopedEnv missing("TMPDIR", tmp + "/missing");
    EXPECT_TRUE(CFileService::CreateTempFileName().IsEmpty());
    // No file was made, so none can be removed: the framework's exception passes through.
    try {
        ADD_FAILURE() << "no exception, got " << S(CFileService::CreateTempPath());
    } catch (CFileException* e) {
        e->Delete();
    }
    EXPECT_FALSE(fs::exists(tmp + "/missing"));
}

KST_CHILD_ROLE(temp_maker) {
    std::ofstream out(argv[1]);
    for (int i = 0; i < 150; ++i) {
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
    std::regex name(tmp + "/Kst[1-9A-F][0-9A-F]{0,3}(\\.tmp|/)");
    size_t lines = 0;
    for (const char* which : {"/a", "/b"}) {
        std::istringstream in(ksttest::ReadFile(out + which));
        for (std::string line; std::getline(in, line); ++lines) {
            // One to four upper-case hexadecimal digits, without a leading zero.
            ASSERT_TRUE(std::regex_match(line, name)) << line;
            if (line.back() == '/') {
                EXPECT_TRUE(fs::is_directory(line)) << line;
                folders.insert(line);
            } else {
                EXPECT_TRUE(files.insert(line).second) << line;
                EXPECT_EQ(fs::file_size(line), 0u);
            }
        }
    }
    EXPECT_EQ(lines, 600u);
    EXPECT_EQ(files.size(), 300u);
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator(tmp), fs::directory_iterator())),
              files.size() + folders.size());
}

// ---- Folder trees ----

TEST(FolderTrees, DeepCyrillicExistingAndRefused) {
    std::string dir = ScratchDir(), file = dir + "/file";
    ksttest::WriteFile(file, "x");
    EXPECT_EQ(CFileService::IsFileExist(file.c_str()), 1);
    EXPECT_EQ(CFileService::IsFileExist(dir.c_str()), 1);
    EXPECT_EQ(CFileService::IsFileExist((dir + "/none").c_str()), 0);
    EXPECT_FALSE(IsDirExist(file.c_str()));
    EXPECT_FALSE(IsDirExist((dir + "/none").c_str()));
    std::string deep = dir + "/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p";
    EXPECT_TRUE(CFileService::CreateFullPath(deep.c_str()));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(CreateDirTree(deep.c_str()));  // existing: success
    kst::MapDrive('Q', dir, kst::DriveType::Fixed);
    EXPECT_EQ(CFileService::IsFileExist("Q:\\file"), 1);
    EXPECT_TRUE(IsDirExist("q:\\"));
    EXPECT_TRUE(CFileService::CreateFullPath("Q:\\new\\deeper\\"));
    EXPECT_TRUE(fs::is_directory(dir + "/new/deeper"));
    EXPECT_TRUE(CreateDirTree("q:\\tree\\x\\y"));
    EXPECT_TRUE(fs::is_directory(dir + "/tree/x/y"));
    kst::UnmapDrive('Q');
    EXPECT_TRUE(CFileService::CreateFullPath(""));
    EXPECT_TRUE(CreateDirTree(""));

    ksttest::CodePageScope pages(CP_UTF8, 866);
    std::string utf8 = dir + "/Папка/Вложенная ";
    EXPECT_TRUE(CFileService::CreateFullPath(utf8.c_str()));
    EXPECT_TRUE(fs::is_directory(utf8));
    kst::SetCodePages(1251, 866);
    std::string cp1251 = dir + kst::detail::Convert("/Каталог/Ещё", CP_UTF8, 1251);
    EXPECT_TRUE(CreateDirTree(cp1251.c_str()));
    EXPECT_TRUE(IsDirExist(cp1251.c_str()));

    // The path exists: nothing more is asked.
    EXPECT_TRUE(CFileService::CreateFullPath(file.c_str()));
    EXPECT_TRUE(CreateDirTree(file.c_str()));
    kst::UnmapDrive('W');
    std::string longPath = dir + "/" + std::string(300, 'l');
    const std::pair<std::string, DWORD> cases[] = {
        {file + "/sub/deeper", ERROR_PATH_NOT_FOUND},  // a folder cannot be made below a file
        {file + "\\sub", ERROR_PATH_NOT_FOUND},
        {"W:\\x\\y", ERROR_PATH_NOT_FOUND},
        {longPath, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& [path, error] : cases) {
        SetLastError(0);
        EXPECT_FALSE(CFileService::CreateFullPath(path.c_str())) << path;
        EXPECT_EQ(GetLastError(), error) << path;
        EXPECT_FALSE(CreateDirTree(path.c_str())) << path;
    }
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

TEST(FolderTrees, ReadOnlyParent) {
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

TEST(TextFiles, LinesAreAppendedJoinedByLineBreaksUpToTheStop) {
    std::string dir = ScratchDir();
    const struct {
        const char *bytes, *before;
        int stop;  // -1: LoadStdioFile, else LoadStdioFileLine with this stopAtText
        const char* after;
    } cases[] = {
        {"a\r\n\r\nb\r\n", "", -1, "a\n\nb"},
        {"a\r\n\r\nb\r\n", "x", -1, "xa\n\nb"},
        {"one\ntwo", "", -1, "one\ntwo"},
        {"", "keep", -1, "keep"},
        {"abc\r\ndef\r\n", "", 1, "abc"},
        {"\r\nabc\r\ndef\r\n", "", 1, "\nabc"},
        {"\r\nabc\r\ndef\r\n", "x", 1, "x"},  // text already there: the first line stops it
        {"\r\nabc\r\ndef\r\n", "", 0, "\nabc\ndef"},
    };
    std::string file = dir + "/text.txt";
    for (const auto& c : cases) {
        ksttest::WriteFile(file, c.bytes);
        CString text = c.before;
        EXPECT_EQ(c.stop < 0 ? CFileService::LoadStdioFile(file.c_str(), text)
                             : CFileService::LoadStdioFileLine(file.c_str(), text, c.stop),
                  1);
        EXPECT_EQ(S(text), c.after) << c.bytes;
    }
    // A missing file and a folder leave the text untouched.
    CString text = "keep";
    EXPECT_EQ(CFileService::LoadStdioFile((dir + "/none.txt").c_str(), text), 0);
    EXPECT_EQ(CFileService::LoadStdioFileLine(dir.c_str(), text, 1), 0);
    EXPECT_EQ(S(text), "keep");
}

// ---- Drives and the program's folder ----

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

TEST(Drives, RemovableFromTheDriveTableOrTheDeviceAndTheModuleDir) {
    std::string dir = ScratchDir();
    kst::MapDrive('R', dir, kst::DriveType::Removable);
    kst::MapDrive('F', dir, kst::DriveType::Fixed);
    EXPECT_EQ(CFileService::IsRemovable("R:\\any\\file.txt"), 1);
    EXPECT_EQ(CFileService::IsRemovable("r:"), 1);
    EXPECT_EQ(CFileService::IsRemovable("F:\\file.txt"), 0);
    kst::UnmapDrive('R');
    kst::UnmapDrive('F');
    EXPECT_EQ(CFileService::IsRemovable("R:\\file.txt"), 0);
    EXPECT_EQ(CFileService::IsRemovable(dir.c_str()), KernelRemovable(dir));
    // A file that does not exist yet is asked about through its nearest folder.
    EXPECT_EQ(CFileService::IsRemovable((dir + "/not/yet/file.txt").c_str()), KernelRemovable(dir));
    EXPECT_EQ(CFileService::IsRemovable("\\\\server\\share\\x"), 0);
    EXPECT_EQ(CFileService::IsRemovable(""), 0);
    EXPECT_EQ(CFileService::IsRemovable(("/" + std::string(400, 'x')).c_str()), 0);
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(S(CFileService::GetModuleDir()), exe.substr(0, exe.rfind('/') + 1));
}

// ---- Same folder ----

TEST(SameDir, EqualNamesAndDifferentNamesOfOneFolder) {
    EXPECT_TRUE(IsSameDir(" c:\\dir ", "C:\\DIR\\"));  // without touching the disk
    EXPECT_TRUE(IsSameDir("/no/such/dir", "/no/such/dir/"));
    kst::SetCodePages(CP_UTF8, 866);
    EXPECT_TRUE(IsSameDir("/папка", "/ПАПКА/"));
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
