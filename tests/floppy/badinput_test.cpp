// Damaged diskettes: chains that loop or leave the disk, boot sectors with zero or 0xFFFF
// fields, directories without an end marker, images shorter than their boot sector says. Every
// copy ends with its result; the fixture's alarm fails a copy that goes round for ever.
#include "FloppyTestSupport.h"

using namespace floppytest;

namespace {

using Family = kst::PlatformFamily;

constexpr size_t kFat = 512;        // the first FAT of a 1.44 MB diskette
constexpr size_t kRoot = 19 * 512;  // its root directory: 14 sectors
constexpr size_t kData = 33 * 512;  // cluster 2

class Damaged : public FloppyTest, public ::testing::WithParamInterface<Family> {
protected:
    void SetUp() override {
        FloppyTest::SetUp();
        m_image = std::make_unique<Image>(m_dir);
        kst::SetPlatformFamily(GetParam());
    }
    void SetFatEntry(unsigned cluster, unsigned value) {
        std::string fat = ReadFile(m_image->path()).substr(kFat, 6144);
        size_t at = cluster * 3 / 2;
        unsigned word = uint8_t(fat[at]) | uint8_t(fat[at + 1]) << 8;
        word = cluster & 1 ? (word & 0x000F) | (value << 4) : (word & 0xF000) | value;
        m_image->Patch(kFat + at, std::string{char(word & 0xFF), char(word >> 8)});
    }
    int CopyTo(const std::string& path, CWordArray* list = nullptr) {
        MapA(*m_image);
        return CFloppyAccessLow::CopyFileA(path.c_str(), Out().c_str(), 0, list, 1, 0xFFFF, nullptr,
                                           0);
    }

    std::unique_ptr<Image> m_image;
};

// The walk follows entries in 2 to 0xFFE, so a chain that comes back goes round for ever; the
// copy ends it at the first cluster it meets again, with what it read so far.
TEST_P(Damaged, FileChainThatLoops) {
    m_image->Put("BIG.BIN", RandomBytes(2560, 1));
    std::string data = m_image->Extract("BIG.BIN");
    auto clusters = m_image->Clusters("BIG.BIN");
    ASSERT_EQ(clusters.size(), 5u);
    SetFatEntry(clusters[2], clusters[0]);
    ASSERT_EQ(CopyTo("A:\\BIG.BIN"), 1);
    EXPECT_TRUE(ReadFile(Out()) == data.substr(0, 3 * 512));
    SetFatEntry(clusters[0], clusters[0]);
    ASSERT_EQ(CopyTo("A:\\BIG.BIN"), 1);
    EXPECT_TRUE(ReadFile(Out()) == data.substr(0, 512));
}

// A folder whose sectors hold no end marker and whose chain comes back: a name that is not
// there is not found, one that is, is.
TEST_P(Damaged, FolderChainThatLoops) {
    m_image->Mkdir("DIR");
    std::string files;
    for (int i = 0; i < 20; ++i) {
        std::string host = m_dir + "/F" + std::to_string(i) + ".TXT";
        WriteFile(host, "file " + std::to_string(i));
        files += " " + Quote(host);
    }
    Sh("mcopy -i " + Quote(m_image->path()) + files + " ::DIR");
    auto clusters = m_image->Clusters("DIR");
    ASSERT_EQ(clusters.size(), 2u);  // ".", ".." and 20 entries: 22 of 32
    m_image->Patch(kData + (clusters[1] - 2) * 512 + 6 * 32, std::string(10 * 32, 'X'));
    SetFatEntry(clusters[1], clusters[0]);
    SetLastError(0);
    EXPECT_EQ(CopyTo("A:\\DIR\\NONE.TXT"), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(CopyTo("A:\\DIR\\F19.TXT"), 1);
    EXPECT_EQ(ReadFile(Out()), "file 19");
    SetFatEntry(clusters[0], clusters[0]);
    EXPECT_EQ(CopyTo("A:\\DIR\\F19.TXT"), 0);
}

// A chain that points past the disk reads nothing there: the sector is listed, the chain ends
// where the FAT holds no entry. The FAT's own entries 0 and 1 end a chain.
TEST_P(Damaged, ChainOutOfTheDisk) {
    m_image->Put("FILE.BIN", RandomBytes(2000, 2));
    std::string data = m_image->Extract("FILE.BIN");
    unsigned first = m_image->Clusters("FILE.BIN")[0];
    struct {
        unsigned next;
        std::vector<int> listed;
        size_t size;
    } cases[] = {{0xF00, {1}, 1024}, {0xFF7, {1}, 1024}, {0x001, {}, 512}, {0x000, {}, 512}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.next);
        SetFatEntry(first, c.next);
        CWordArray list;
        ASSERT_EQ(CopyTo("A:\\FILE.BIN", &list), 1);
        EXPECT_EQ(Ordinals(list), c.listed);
        EXPECT_TRUE(ReadFile(Out()) == (data.substr(0, 512) + std::string(c.size - 512, '\0')));
    }
}

// Boot sector fields set to 0 or 0xFFFF: what each family answers.
TEST_P(Damaged, BootSectorFields) {
    m_image->Put("SMALL.BIN", RandomBytes(700, 3));
    std::string data = m_image->Extract("SMALL.BIN");  // mcopy itself fails on some of these
    std::string boot = ReadFile(m_image->path()).substr(0, 64);
    struct {
        const char* what;
        std::vector<std::pair<size_t, std::string>> patches;
        int nt, win9x;
    } cases[] = {
        {"all zero", {{11, std::string(13, '\0')}}, 0, 0},
        {"bytes per sector 0", {{11, std::string(2, '\0')}}, 0, 0},
        {"sectors per cluster 0", {{13, std::string(1, '\0')}}, 1, 1},
        {"root entries 0", {{17, std::string(2, '\0')}}, 0, 0},
        {"sectors per FAT 0", {{22, std::string(2, '\0')}}, 0, 0},
        {"no FAT copies", {{16, std::string(1, '\0')}}, 0, 0},
        {"all 0xFFFF", {{11, std::string(13, '\xFF')}}, 0, 0},
        {"reserved 0xFFFF", {{14, std::string(2, '\xFF')}}, 0, 0},
        {"sectors per FAT 0xFFFF", {{22, std::string(2, '\xFF')}}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_image->Patch(0, boot);
        for (const auto& [offset, bytes] : c.patches) m_image->Patch(offset, bytes);
        int result = CopyTo("A:\\SMALL.BIN");
        EXPECT_EQ(result, GetParam() == Family::NT ? c.nt : c.win9x);
        if (result) {
            EXPECT_TRUE(ReadFile(Out()) == data);
        }
    }
}

// A root directory without an end marker is read to its last sector, and no further.
TEST_P(Damaged, RootWithoutEndMarker) {
    m_image->Put("SMALL.BIN", RandomBytes(700, 4));
    std::string entry = ReadFile(m_image->path()).substr(kRoot, 32);
    ASSERT_EQ(entry.substr(0, 11), "SMALL   BIN");
    std::string root(14 * 512, 'X');
    root.replace(root.size() - 32, 32, entry);
    m_image->Patch(kRoot, root);
    m_image->Patch(kData, std::string(32, 'Y'));  // what a read past the root would see first
    ASSERT_EQ(CopyTo("A:\\SMALL.BIN"), 1);
    EXPECT_EQ(ReadFile(Out()).size(), 700u);
    SetLastError(0);
    EXPECT_EQ(CopyTo("A:\\YYYYYYYY.YYY"), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

// An image shorter than the diskette: sectors past its end do not read.
TEST_P(Damaged, ImageShorterThanItsBootSectorSays) {
    m_image->Put("BIG.BIN", RandomBytes(5000, 5));
    std::string data = m_image->Extract("BIG.BIN");
    std::string image = ReadFile(m_image->path());
    WriteFile(m_image->path(), image.substr(0, 40 * 512));
    CWordArray list;
    ASSERT_EQ(CopyTo("A:\\BIG.BIN", &list), 1);
    EXPECT_EQ(Ordinals(list), (std::vector<int>{7, 8, 9}));
    EXPECT_TRUE(ReadFile(Out()) == data.substr(0, 7 * 512) + std::string(5000 - 7 * 512, '\0'));
    for (size_t size : {300, 5000}) {
        WriteFile(m_image->path(), image.substr(0, size));
        EXPECT_EQ(CopyTo("A:\\BIG.BIN"), 0) << size;
    }
}

KST_BOTH_FAMILIES(Damaged);

}  // namespace
