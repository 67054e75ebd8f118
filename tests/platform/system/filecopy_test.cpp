// kst::CopyFileData: a byte range from one open file to another, inside the kernel.
#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "KstFile.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"

namespace {

// One scratch folder per test.
class CopyFileData : public ::testing::Test {
protected:
    std::string Scratch(const std::string& name) const { return m_dir + "/" + name; }
    std::string m_dir = ksttest::ScratchDir();
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

// Positions at different offsets within a page go through memory, equal ones through the
// kernel: both must give the same bytes and positions.
TEST_F(CopyFileData, CopiesFromBothPositionsAndAdvancesThem) {
    std::string data = Pattern(3 << 20);
    ksttest::WriteFile(Scratch("from.bin"), data);
    for (ULONGLONG start : {1000u, 4100u}) {
        SCOPED_TRACE(start);
        CFile from(Scratch("from.bin").c_str(), CFile::modeRead);
        CFile to(Scratch("to.bin").c_str(), CFile::modeCreate | CFile::modeReadWrite);
        to.Write("head", 4);
        from.Seek(static_cast<LONGLONG>(start), CFile::begin);

        ULONGLONG copied = 0;
        ASSERT_TRUE(kst::CopyFileData(from.m_hFile, to.m_hFile, 2 << 20, &copied));
        EXPECT_EQ(std::tuple(copied, from.GetPosition(), to.GetPosition()),
                  std::tuple(2u << 20, start + (2 << 20), 4u + (2 << 20)));

        // Past the source's end: short, and still a success.
        ASSERT_TRUE(kst::CopyFileData(from.m_hFile, to.m_hFile, 2 << 20, &copied));
        EXPECT_EQ(copied, data.size() - start - (2 << 20));
        to.Close();
        EXPECT_EQ(ksttest::ReadFile(Scratch("to.bin")), "head" + data.substr(start));
    }
}

TEST_F(CopyFileData, ZeroLengthCopiesNothingAndAnUnknownHandleIsInvalid) {
    ksttest::WriteFile(Scratch("zero.bin"), "abc");
    CFile from(Scratch("zero.bin").c_str(), CFile::modeRead);
    CFile to(Scratch("zero-out.bin").c_str(), CFile::modeCreate | CFile::modeWrite);
    ULONGLONG copied = 99;
    ASSERT_TRUE(kst::CopyFileData(from.m_hFile, to.m_hFile, 0, &copied));
    EXPECT_EQ(std::tuple(copied, from.GetPosition(), to.GetLength()), std::tuple(0u, 0u, 0u));
    EXPECT_FALSE(kst::CopyFileData(INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, 1, &copied));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(CopyFileData, FullTargetReportsDiskFull) {
    std::string link = Scratch("full");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink("/dev/full", link.c_str()), 0);
    ksttest::WriteFile(Scratch("some.bin"), Pattern(100000));
    CFile from(Scratch("some.bin").c_str(), CFile::modeRead);
    HANDLE full = CreateFileA(link.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    ULONGLONG copied = 99;
    EXPECT_FALSE(kst::CopyFileData(from.m_hFile, full, 100000, &copied));
    EXPECT_EQ(std::pair(GetLastError(), copied), std::pair(DWORD(ERROR_DISK_FULL), ULONGLONG(0)));
    CloseHandle(full);
}
