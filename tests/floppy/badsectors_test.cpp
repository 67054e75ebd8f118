// Unreadable sectors: retries, the list by ordinal and its maximum, the progress messages, the
// trace lines of the older family, and the two sector reads on their own.
#include <atomic>
#include <mutex>

#include "FloppyTestSupport.h"
#include "floppy/internal/SectorReads.h"

using namespace floppytest;

namespace {

using Family = kst::PlatformFamily;

class BadSectors : public FloppyTest, public ::testing::WithParamInterface<Family> {
protected:
    void SetUp() override {
        FloppyTest::SetUp();
        m_image = std::make_unique<Image>(m_dir);
        // DATA.BIN: 8 sectors (the last one of 416 bytes), in two runs, so that chain order
        // is not the order of the sector numbers alone.
        m_image->Put("GAP.BIN", RandomBytes(1500, 1));
        m_image->Put("KEEP.BIN", RandomBytes(1000, 2));
        m_image->Del("GAP.BIN");
        m_image->Put("DATA.BIN", RandomBytes(4000, 3));
        m_data = m_image->Extract("DATA.BIN");
        m_sectors = m_image->Sectors("DATA.BIN");
        ASSERT_EQ(m_sectors.size(), 8u);
        ASSERT_NE(m_sectors[3], m_sectors[2] + 1);
        MapA(*m_image);
        kst::SetPlatformFamily(GetParam());
    }
    int CopyData(CWordArray* list, BYTE retries, WORD maxBad = 0xFFFF) {
        return CFloppyAccessLow::CopyFileA("A:\\DATA.BIN", Out().c_str(), 0, list, retries, maxBad,
                                           nullptr, 0);
    }
    // The expected copy: the file with the sectors of these ordinals as zeros, cut at `size`.
    std::string Expected(std::vector<int> zeroed, size_t size) const {
        std::string bytes = m_data;
        for (int ordinal : zeroed) {
            size_t at = ordinal * 512;
            bytes.replace(at, std::min<size_t>(512, bytes.size() - at),
                          std::string(std::min<size_t>(512, bytes.size() - at), '\0'));
        }
        return bytes.substr(0, size);
    }

    std::unique_ptr<Image> m_image;
    std::string m_data;
    std::vector<unsigned> m_sectors;
};

// Bad on the first two attempts only: three attempts (retries 2) read it, two do not.
TEST_P(BadSectors, RetriesListByOrdinalZerosMaximumAndProgress) {
    CWordArray list;
    kst::SetFailingReads('A', m_sectors[3], 2);
    ASSERT_EQ(CopyData(&list, 2), 1);
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_TRUE(ReadFile(Out()) == m_data);

    kst::SetFailingReads('A', m_sectors[3], 2);
    ASSERT_EQ(CopyData(&list, 1), 1);
    EXPECT_EQ(Ordinals(list), std::vector<int>{3});
    EXPECT_TRUE(ReadFile(Out()) == Expected({3}, m_data.size()));
    // Both failures were used up: the next copy reads it at once.
    list.RemoveAll();
    ASSERT_EQ(CopyData(&list, 0), 1);
    EXPECT_EQ(list.GetSize(), 0);

    // The list counts the file's sectors from 0 in chain order and is appended to; bad
    // sectors are written as zeros; once the list holds more than the maximum the copy ends
    // before that sector.
    struct Case {
        std::vector<int> bad, before;
        BYTE retries;
        WORD maxBad;
        std::vector<int> listed, zeroed;
        size_t size;
    } cases[] = {
        {{0, 5, 7}, {}, 3, 0xFFFF, {0, 5, 7}, {0, 5, 7}, 4000},
        {{2, 4}, {}, 0, 0, {2}, {}, 2 * 512},
        {{2, 4}, {}, 0, 1, {2, 4}, {2}, 4 * 512},
        {{6}, {40, 41, 42}, 0, 3, {40, 41, 42, 6}, {}, 6 * 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bad) + " max " + std::to_string(c.maxBad));
        std::vector<unsigned> sectors;
        for (int ordinal : c.bad) sectors.push_back(m_sectors[ordinal]);
        kst::SetBadSectors('A', sectors);
        list.RemoveAll();
        for (int earlier : c.before) list.Add(WORD(earlier));
        ASSERT_EQ(CopyData(&list, c.retries, c.maxBad), 1);
        EXPECT_EQ(Ordinals(list), c.listed);
        EXPECT_TRUE(ReadFile(Out()) == Expected(c.zeroed, c.size));
    }
    // Without a list every sector is written.
    ASSERT_EQ(CopyData(nullptr, 0), 1);
    EXPECT_TRUE(ReadFile(Out()) == Expected({6}, 4000));

    // With counter 10 a window receives 11, 12, ... one message per sector read, lParam 1.
    std::mutex mutex;
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> messages;
    CWnd window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        std::lock_guard lock(mutex);
        messages.emplace_back(message, wParam, lParam);
    });
    kst::SetBadSectors('A', {m_sectors[1]});
    ASSERT_EQ(
        CFloppyAccessLow::CopyFileA("A:\\DATA.BIN", nullptr, 0, &list, 0, 0xFFFF, &window, 10), 1);
    kst::FlushPostedMessages();
    std::lock_guard lock(mutex);
    ASSERT_EQ(messages.size(), 8u);
    for (size_t i = 0; i < messages.size(); ++i)
        EXPECT_EQ(messages[i], std::make_tuple(0x461u, WPARAM(11 + i), LPARAM(1)));
}

KST_BOTH_FAMILIES(BadSectors);

// Every line of an older family's copy of a 700-byte file in the root, in order: the boot
// sector, the nine FAT sectors, the first root sector, two data sectors.
TEST_F(FloppyTest, TraceLinesOfAnOlderFamilyCopy) {
    Image image(m_dir);
    image.Put("SMALL.BIN", RandomBytes(700, 9));
    MapA(image);
    kst::SetPlatformFamily(Family::Win9x);
    TraceCapture trace;
    ASSERT_EQ(
        CFloppyAccessLow::CopyFileA("a:\\small.bin", Out().c_str(), 0, nullptr, 2, 0, nullptr, 0),
        1);
    const std::string read = "MESSAGE: CFloppyAccessLow::CopyFile(); Run ReadSector()";
    const std::vector<std::string> request = {
        "MESSAGE: CFloppyAccessLow::ReadSector(); Run DeviceIoControl()",
        "MESSAGE: CFloppyAccessLow::ReadSector(); End DeviceIoControl()",
        "MESSAGE: CFloppyAccessLow::ReadSector(); Itteration = 1"};
    std::vector<std::string> expected = {
        "MESSAGE: CFloppyAccessLow::CopyFile(); FileName=a:\\small.bin"};
    for (int sector = 0; sector < 1 + 9 + 1; ++sector) {
        expected.push_back(read);
        expected.insert(expected.end(), request.begin(), request.end());
    }
    for (int n = 1; n <= 2; ++n) {
        expected.push_back("MESSAGE: CFloppyAccessLow::CopyFile(); Run ReadSector(), nIter = " +
                           std::to_string(n));
        expected.insert(expected.end(), request.begin(), request.end());
    }
    expected.push_back("MESSAGE: CFloppyAccessLow::CopyFile(); Run VerifyFile()");
    EXPECT_EQ(trace.Lines(), expected);
}

// The boot sector or the FAT that does not read ends the copy with its own line.
TEST_F(FloppyTest, BootSectorOrFatUnreadable) {
    ksttest::CodePageScope utf8(65001, 866);
    Image image(m_dir);
    image.Put("SMALL.BIN", RandomBytes(700, 9));
    MapA(image);
    for (Family family : {Family::NT, Family::Win9x}) {
        kst::SetPlatformFamily(family);
        for (unsigned sector : {0u, 5u}) {
            TraceCapture trace;
            kst::SetBadSectors('A', {sector});
            EXPECT_EQ(CFloppyAccessLow::CopyFileA("A:\\SMALL.BIN", Out().c_str(), 0, nullptr, 1, 0,
                                                  nullptr, 0),
                      0);
            auto lines = trace.Lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(
                lines.back(),
                sector == 0
                    ? "ERROR: CFloppyAccessLow::CopyFile(); Не могу прочитать boot-sector дискеты!"
                    : "ERROR: не могу прочитать FAT!");
        }
    }
}

// The request for a logical sector in the 1.44 MB geometry; cylinder bits 8 and 9 go to bits 6
// and 7 of CL.
TEST(SectorRequest, ForALogicalSector) {
    struct {
        DWORD lba, ecx, edx;
    } cases[] = {{0, 0x0001, 0},        {35, 0x0012, 0x100},   {36, 0x0101, 0},
                 {2879, 0x4F12, 0x100}, {36 * 256, 0x0041, 0}, {36 * 1023 + 17, 0xFFD2, 0}};
    char transfer[16];
    for (const auto& c : cases) {
        DIOC_REGISTERS regs{};
        kst::floppy::FillReadRequest(regs, c.lba, transfer);
        EXPECT_EQ(regs.reg_EAX, 0x0201u) << c.lba;
        EXPECT_EQ(regs.reg_EBX, reinterpret_cast<DWORD_PTR>(transfer));
        EXPECT_EQ(regs.reg_ECX, c.ecx) << c.lba;
        EXPECT_EQ(regs.reg_EDX, c.edx) << c.lba;
    }
}

class SectorReads : public FloppyTest {
protected:
    void SetUp() override {
        FloppyTest::SetUp();
        std::string bytes(40 * 512, '\0');
        for (size_t sector = 0; sector < 40; ++sector) bytes[sector * 512] = char(sector + 1);
        WriteFile(m_dir + "/raw.img", bytes);
        kst::MapDrive('A', "", kst::DriveType::Removable, m_dir + "/raw.img");
    }
};

TEST_F(SectorReads, OlderFamilyAttemptsAndTheirLines) {
    HANDLE service = CreateFileA("\\\\.\\vwin32", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(service, INVALID_HANDLE_VALUE);
    char sector[512] = {};
    DWORD read = 99;
    kst::SetBadSectors('A', {7});
    {
        TraceCapture trace;
        EXPECT_EQ(kst::floppy::ReadSector(service, sector, 1, &read, 7, 2), 0);
        EXPECT_EQ(read, 0u);
        const std::string prefix = "MESSAGE: CFloppyAccessLow::ReadSector(); ";
        std::vector<std::string> expected;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            expected.push_back(prefix + "Run DeviceIoControl()");
            expected.push_back(prefix + "End DeviceIoControl()");
            expected.push_back(prefix + "Itteration = " + std::to_string(attempt));
        }
        EXPECT_EQ(trace.Lines(), expected);
    }
    EXPECT_EQ(sector[0], 0) << "a sector that does not read leaves the buffer alone";
    EXPECT_EQ(kst::floppy::ReadSector(service, sector, 1, &read, 8, 0), 1);
    EXPECT_EQ(read, 512u);
    EXPECT_EQ(sector[0], 9);

    // Retries 0: exactly one attempt, which uses up the one failing read.
    kst::SetFailingReads('A', 8, 1);
    EXPECT_EQ(kst::floppy::ReadSector(service, sector, 1, &read, 8, 0), 0);
    EXPECT_EQ(kst::floppy::ReadSector(service, sector, 1, &read, 8, 0), 1);
    CloseHandle(service);

    // A handle that is not the disk service: the control call fails, no further attempt.
    TraceCapture trace;
    read = 99;
    EXPECT_EQ(kst::floppy::ReadSector(nullptr, sector, 1, &read, 8, 5), 0);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(trace.Lines(),
              (std::vector<std::string>{
                  "MESSAGE: CFloppyAccessLow::ReadSector(); Run DeviceIoControl()",
                  "ERROR: CFloppyAccessLow::ReadSector(); Call DeviceIoControl is error./n"}));
}

TEST_F(SectorReads, NewerFamilyAttempts) {
    HANDLE volume =
        CreateFileA("\\\\.\\A:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    char buffer[1024] = {};
    DWORD read = 0;
    OVERLAPPED at{};
    at.Offset = 8 * 512;
    kst::SetFailingReads('A', 9, 1);
    EXPECT_EQ(kst::floppy::ReadFileRet(volume, buffer, 1024, &read, &at, 0), 0);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(kst::floppy::ReadFileRet(volume, buffer, 1024, &read, &at, 0), 1);
    EXPECT_EQ(read, 1024u);
    EXPECT_EQ(buffer[512], 10);
    kst::SetFailingReads('A', 9, 3);
    EXPECT_EQ(kst::floppy::ReadFileRet(volume, buffer, 1024, &read, &at, 3), 1);
    // Past the end of the image a read comes back short: the count of the last attempt stays.
    at.Offset = 39 * 512;
    EXPECT_EQ(kst::floppy::ReadFileRet(volume, buffer, 1024, &read, &at, 2), 0);
    EXPECT_EQ(read, 512u);
    // Retries -1 makes no attempt at all.
    read = 77;
    EXPECT_EQ(kst::floppy::ReadFileRet(volume, buffer, 512, &read, &at, -1), 0);
    EXPECT_EQ(read, 77u);
    CloseHandle(volume);
}

// A USB floppy drive is a block device: opened for reading only, it serves both families. A
// read-only loop device over the image stands in for it where loop devices can be attached.
TEST_F(FloppyTest, ReadOnlyBlockDevice) {
    Image image(m_dir);
    image.Put("SMALL.BIN", RandomBytes(3000, 12));
    struct Loop {
        std::string device;
        ~Loop() {
            if (!device.empty()) RunCommand("losetup -d " + Quote(device));
        }
    } loop;
    if (RunCommand("losetup -f --show -r " + Quote(image.path()) + " 2>/dev/null", &loop.device) !=
            0 ||
        loop.device.size() < 2)
        GTEST_SKIP() << "no loop device can be attached here";
    loop.device.pop_back();
    std::string device = loop.device;
    kst::MapDrive('A', "", kst::DriveType::Removable, device);
    for (Family family : {Family::NT, Family::Win9x}) {
        kst::SetPlatformFamily(family);
        EXPECT_EQ(CFloppyAccessLow::CopyFileA("A:\\SMALL.BIN", Out().c_str(), 0, nullptr, 0, 0,
                                              nullptr, 0),
                  1);
        EXPECT_TRUE(ReadFile(Out()) == image.Extract("SMALL.BIN"));
    }
}

}  // namespace
