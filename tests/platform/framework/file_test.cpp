// CFile, CStdioFile and CMemFile over real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <tuple>

#include "ArchiveFiles.h"
#include "KstWin32Files.h"

namespace {

std::string Scratch(const std::string& name) {
    return ksttest::ScratchDir() + "/" + name;
}

constexpr UINT kWriteText = CFile::modeCreate | CFile::modeWrite;

}  // namespace

TEST(StdioFile, TextModeRoundTrip) {
    std::string path = Scratch("lines.txt");
    {
        CStdioFile file;
        ASSERT_TRUE(file.Open(path.c_str(), kWriteText));
        for (const char* text : {"first\n", "\n", "third\nlast without end"})
            file.WriteString(text);
    }
    EXPECT_EQ(ksttest::ReadFile(path), "first\r\n\r\nthird\r\nlast without end");

    CStdioFile file(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
    CString line;
    std::vector<std::string> lines;
    while (file.ReadString(line)) lines.push_back(line.str());
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "", "third", "last without end"}));
    EXPECT_FALSE(file.ReadString(line)) << "stays at the end";
}

TEST(StdioFile, CrLfSplitAcrossTheReadBufferAndLoneCr) {
    std::string path = Scratch("long.txt");
    std::string first(64 * 1024 - 1, 'x');  // CR is the buffer's last byte, LF the next's first
    ksttest::WriteFile(path, first + "\r\nnext\rkept\r\n");
    CStdioFile file(path.c_str(), CFile::modeRead);
    CString line, second;
    ASSERT_TRUE(file.ReadString(line) && file.ReadString(second));
    EXPECT_EQ(std::pair(line.GetLength(), second.str()),
              std::pair(int(first.size()), std::string("next\rkept")));
    EXPECT_FALSE(file.ReadString(line));

    char buffer[8];
    file.Seek(LONGLONG(first.size()), CFile::begin);
    ASSERT_NE(file.ReadString(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "\n") << "the fgets form keeps the line end";
}

TEST(StdioFile, BinaryModeKeepsBytesAndPositionsAreOnDisk) {
    std::string path = Scratch("bin.dat");
    CStdioFile file;
    ASSERT_TRUE(
        file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary));
    file.WriteString("a\nb\r\n");
    EXPECT_EQ(std::pair(file.GetPosition(), file.GetLength()),
              std::pair(ULONGLONG(5), ULONGLONG(5)));
    file.SeekToBegin();
    CString line, second;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(std::pair(line.str(), file.GetPosition()), std::pair(std::string("a"), ULONGLONG(2)));
    ASSERT_TRUE(file.ReadString(second));
    EXPECT_EQ(second.str(), "b\r") << "binary mode leaves the CR";
    file.Close();
    EXPECT_EQ(ksttest::ReadFile(path), "a\nb\r\n");
}

TEST(StdioFile, ManySmallWritesAreBuffered) {
    std::string path = Scratch("many.txt");
    auto start = std::chrono::steady_clock::now();
    {
        CStdioFile file(path.c_str(), kWriteText);
        for (int i = 0; i < 200000; ++i) file.WriteString("a line of the log\n");
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::filesystem::file_size(path), 200000u * 19);
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST(File, OpenFlagsCreateTruncateAndMissing) {
    std::string path = Scratch("f.dat");
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path.c_str(), CFile::modeRead, &error));
    EXPECT_EQ(std::tuple(error.m_cause, error.m_lOsError, error.m_strFileName.str()),
              std::tuple(int(CFileException::fileNotFound), LONG(ERROR_FILE_NOT_FOUND), path));

    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    file.Write("hello", 5);
    file.Close();
    ASSERT_TRUE(
        file.Open(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_EQ(file.GetLength(), 5u) << "NoTruncate keeps the content";
    file.SeekToEnd();
    file.Write("!", 1);
    file.SeekToBegin();
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "hello!");
    EXPECT_EQ(file.GetFileName() + "|" + file.GetFileTitle() + "|" + file.GetFilePath(),
              CString(("f.dat|f|" + path).c_str()));
    file.Close();
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_EQ(file.GetLength(), 0u) << "Create alone empties";
    file.Close();
    EXPECT_EQ(file.m_hFile, CFile::hFileNull);
}

TEST(File, ThrowingConstructorAndStatics) {
    std::string folder = ksttest::ScratchDir();
    std::string missing = folder + "/none/x.dat";
    LONG osError = 0;
    try {
        CFile file(missing.c_str(), CFile::modeRead);
    } catch (CFileException* e) {
        osError = e->m_cause == CFileException::badPath ? e->m_lOsError : -1;
        e->Delete();
    }
    EXPECT_EQ(osError, ERROR_PATH_NOT_FOUND);
    std::string path = folder + "/status.dat";
    ksttest::WriteFile(path, "12345");
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(std::tuple(status.m_size, status.m_attribute & CFile::directory,
                         std::string(status.m_szFullName)),
              std::tuple(5, 0, path));
    EXPECT_LE(std::abs(status.m_mtime.GetTime() - time(nullptr)), 5);
    EXPECT_FALSE(CFile::GetStatus(missing.c_str(), status));
    ASSERT_TRUE(CFile::GetStatus(folder.c_str(), status));
    EXPECT_NE(status.m_attribute & CFile::directory, 0);

    std::string renamed = folder + "/renamed.dat";
    CFile::Rename(path.c_str(), renamed.c_str());
    EXPECT_TRUE(std::filesystem::exists(renamed));
    CFile::Remove(renamed.c_str());
    EXPECT_FALSE(std::filesystem::exists(renamed));
    EXPECT_EQ(ksttest::CauseOf<CFileException>([&] { CFile::Remove(renamed.c_str()); }),
              CFileException::fileNotFound);
}

TEST(File, OsErrorToException) {
    std::vector<int> causes;
    for (LONG error : {ERROR_SHARING_VIOLATION, ERROR_DISK_FULL, ERROR_ACCESS_DENIED, 999999L})
        causes.push_back(CFileException::OsErrorToException(error));
    EXPECT_EQ(causes,
              (std::vector<int>{CFileException::sharingViolation, CFileException::diskFull,
                                CFileException::accessDenied, CFileException::genericException}));
}

// The runtime's make-directory call reports errno as the runtime maps the system's errors.
TEST(File, MakeDirectoryAnswersTheRuntimeErrno) {
    std::string dir = Scratch("made");
    std::string file = Scratch("plain");
    CFile(file.c_str(), kWriteText).Close();
    EXPECT_EQ(_mkdir(dir.c_str()), 0);
    // Already there; below a file; read-only or not permitted.
    std::vector<int> errors;
    for (std::string made : {dir, file + "/below", std::string("/sys/kst-no-folder-here")})
        errors.push_back(_mkdir(made.c_str()) == -1 ? errno : 0);
    EXPECT_EQ(errors, (std::vector{EEXIST, ENOENT, EACCES}));
}

TEST(MemFile, GrowsReadsAndSeeks) {
    CMemFile file(16);
    for (int i = 0; i < 100; ++i) file.Write("abc", 3);
    EXPECT_EQ(file.GetLength(), 300u);
    file.Seek(-3, CFile::end);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    file.Seek(310, CFile::begin);
    file.Write("z", 1);
    EXPECT_EQ(file.GetLength(), 311u);
    file.Seek(305, CFile::begin);
    EXPECT_EQ(file.Read(buffer, 1), 1u);
    EXPECT_EQ(buffer[0], '\0') << "a gap reads as zeros";
    BYTE* data = file.Detach();
    EXPECT_EQ(data[0], 'a');
    std::free(data);

    BYTE fixed[4] = {1, 2, 3, 4};
    CMemFile reader(fixed, sizeof fixed);
    EXPECT_EQ(reader.GetLength(), 4u);
    reader.SeekToEnd();
    // A fixed buffer does not grow.
    EXPECT_EQ(ksttest::CauseOf<CFileException>([&] { reader.Write("x", 1); }),
              CFileException::diskFull);
}
