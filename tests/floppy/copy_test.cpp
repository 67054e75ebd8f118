// Copies from diskette images that mkfs.fat and mtools made, through both families, against
// what mcopy extracts; the ways a path can miss the diskette; kst floppy-copy and floppy-verify.
#include "FloppyTestSupport.h"

using namespace floppytest;

namespace {

using Family = kst::PlatformFamily;

int Copy(const std::string& source, const std::string& destination, CWordArray* bad = nullptr,
         BYTE retries = 0, WORD maxBad = 0xFFFF, int verify = 0) {
    return CFloppyAccessLow::CopyFileA(source.c_str(), destination.c_str(), verify, bad, retries,
                                       maxBad, nullptr, 0);
}

struct Sample {
    const char* dosPath;  // as mtools names it
    const char* path;     // as the copy is asked for it
    size_t size;
};

// Root, three folders deep, lower-case names, empty, one sector, two sectors.
const Sample kSamples[] = {
    {"README.TXT", "A:\\README.TXT", 3000},
    {"DOCS/A/B/DEEP.BIN", "A:\\DOCS\\A\\B\\DEEP.BIN", 5000},
    {"notes.txt", "a:\\notes.txt", 1234},
    {"docs/lower/mixed.dat", "A:\\docs\\Lower\\MIXED.dat", 2100},
    {"EMPTY.DAT", "A:\\EMPTY.DAT", 0},
    {"SECTOR.BIN", "A:\\SECTOR.BIN", 512},
    {"SMALL.BIN", "A:\\SMALL.BIN", 700},
};

class Copies : public FloppyTest,
               public ::testing::WithParamInterface<std::tuple<Family, unsigned>> {};

TEST_P(Copies, EveryFileEqualsWhatMcopyExtracts) {
    auto [family, kilobytes] = GetParam();
    Image image(m_dir, kilobytes);
    image.Mkdir("DOCS");
    image.Mkdir("DOCS/A");
    image.Mkdir("DOCS/A/B");
    image.Mkdir("docs/lower");
    unsigned seed = 1;
    for (const auto& sample : kSamples) image.Put(sample.dosPath, RandomBytes(sample.size, seed++));
    // Fragmented: FRAG.BIN fills the gap that GAP2 leaves and goes on after GAP3.
    image.Put("GAP1.BIN", RandomBytes(3000, 20));
    image.Put("GAP2.BIN", RandomBytes(3000, 21));
    image.Put("GAP3.BIN", RandomBytes(3000, 22));
    image.Del("GAP2.BIN");
    image.Put("FRAG.BIN", RandomBytes(9000, 23));
    auto clusters = image.Clusters("FRAG.BIN");
    ASSERT_GE(clusters.size(), 2u);
    bool fragmented = false;
    for (size_t i = 1; i < clusters.size(); ++i) fragmented |= clusters[i] != clusters[i - 1] + 1;
    ASSERT_TRUE(fragmented) << "FRAG.BIN is one run of clusters";

    MapA(image);
    kst::SetPlatformFamily(family);
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.path);
        ASSERT_EQ(Copy(sample.path, Out()), 1);
        std::string copy = ReadFile(Out());
        EXPECT_EQ(copy.size(), sample.size);
        EXPECT_TRUE(copy == image.Extract(sample.dosPath));
    }
    ASSERT_EQ(Copy("A:\\FRAG.BIN", Out()), 1);
    EXPECT_TRUE(ReadFile(Out()) == image.Extract("FRAG.BIN"));
}

INSTANTIATE_TEST_SUITE_P(FamiliesAndFormats, Copies,
                         ::testing::Combine(::testing::Values(Family::NT, Family::Win9x),
                                            ::testing::Values(1440u, 720u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Family::NT ? "NT"
                                                                                      : "Win9x") +
                                    "_" + std::to_string(std::get<1>(info.param)) + "KB";
                         });

class Families : public FloppyTest, public ::testing::WithParamInterface<Family> {};

// A nearly full disk; a name stored in lower case (entry names are upper-cased before
// comparing); names that are not there (0 with "file not found", nothing created); a
// destination whose folders are made first, verified by reading the copy back.
TEST_P(Families, FullDiskNamesAndDestinations) {
    Image image(m_dir);
    image.Put("FILL.BIN", RandomBytes(1448000, 3));
    image.Put("LAST.BIN", RandomBytes(6000, 4));
    image.Mkdir("DOCS");
    image.Put("DOCS/NOTE.TXT", "note");
    image.Put("SMALL.BIN", RandomBytes(700, 5));
    std::string free = Sh("mdir -i " + Quote(image.path()) + " ::");
    EXPECT_NE(free.find(" 1 024 bytes free"), std::string::npos) << free;
    size_t entry = ReadFile(image.path()).find("SMALL   BIN", 19 * 512);
    ASSERT_NE(entry, std::string::npos);
    image.Patch(entry, "small   bin");
    MapA(image);
    kst::SetPlatformFamily(GetParam());
    for (const char* name : {"FILL.BIN", "LAST.BIN", "SMALL.BIN"}) {
        ASSERT_EQ(Copy(std::string("A:\\") + name, Out()), 1);
        EXPECT_TRUE(ReadFile(Out()) == image.Extract(name)) << name;
    }
    for (const char* path :
         {"A:\\NONE.TXT", "A:\\DOCS\\NONE.TXT", "A:\\NONE\\NOTE.TXT", "A:\\NOTE.TXT",
          "A:\\DOCS\\NOTE.TX", "A:\\DOCS\\LONGERNAME.TXT", "A:\\DOCS\\NOTE.TEXT", "A:\\"}) {
        SCOPED_TRACE(path);
        SetLastError(0);
        EXPECT_EQ(Copy(path, Out("none.bin")), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_EQ(RunCommand("test -e " + Quote(Out("none.bin"))), 1);
    // The path must have a separator after the drive.
    EXPECT_EQ(Copy("A:NOTE.TXT", Out()), 0);
    EXPECT_EQ(Copy("A:\\DOCS\\NOTE.TXT", Out()), 1);
    EXPECT_EQ(ReadFile(Out()), "note");
    std::string deep = m_dir + "/new/deeper/small.bin";
    ASSERT_EQ(Copy("A:\\SMALL.BIN", deep, nullptr, 0, 0xFFFF, 1), 1);
    EXPECT_TRUE(ReadFile(deep) == image.Extract("SMALL.BIN"));
    CString verify("A:\\SMALL.BIN"), missing("A:\\MISSING.BIN");
    EXPECT_EQ(CFloppyAccessLow::VerifyFile(verify), 1);
    EXPECT_EQ(CFloppyAccessLow::VerifyFile(missing), 0);
    // Without a destination the file is read and nothing is written.
    EXPECT_EQ(CFloppyAccessLow::CopyFileA("A:\\SMALL.BIN", nullptr, 0, nullptr, 0, 0, nullptr, 0),
              1);
}

KST_BOTH_FAMILIES(Families);

// A drive not mapped or not opened; off a diskette the system copies the file (a host path, a
// fixed drive, a removable C:); the drive table says what a diskette is.
TEST_F(FloppyTest, DrivesOffTheDisketteAndTheDriveTable) {
    EXPECT_EQ(Copy("B:\\FILE.TXT", Out()), 0);
    // A diskette drive whose raw device is missing: the device does not open.
    kst::MapDrive('A', "", kst::DriveType::Removable, m_dir + "/no-such.img");
    EXPECT_EQ(Copy("A:\\FILE.TXT", Out()), 0);
    kst::SetPlatformFamily(Family::Win9x);
    EXPECT_EQ(Copy("A:\\FILE.TXT", Out()), 0);  // the service opens, the sector does not read
    kst::SetPlatformFamily(Family::NT);

    std::string folder = m_dir + "/host";
    ASSERT_EQ(RunCommand("mkdir " + Quote(folder)), 0);
    WriteFile(folder + "/file.txt", "host text");
    WriteFile(Out(), "older and longer content");
    EXPECT_EQ(Copy(folder + "/file.txt", Out(), nullptr, 0, 0xFFFF, 1), 1);
    EXPECT_EQ(ReadFile(Out()), "host text");
    kst::MapDrive('A', folder, kst::DriveType::Fixed);
    kst::MapDrive('C', folder, kst::DriveType::Removable);
    EXPECT_FALSE(CFloppyAccessLow::IsFloppyDisk("A:\\file.txt"));
    EXPECT_FALSE(CFloppyAccessLow::IsFloppyDisk("c:"));
    EXPECT_EQ(Copy("A:\\file.txt", Out("a.txt")), 1);
    EXPECT_EQ(ReadFile(Out("a.txt")), "host text");
    EXPECT_EQ(Copy("C:\\file.txt", Out("c.txt")), 1);
    EXPECT_EQ(ReadFile(Out("c.txt")), "host text");
    kst::UnmapDrive('C');
    // A source that is not there has no short path; a failing system copy still answers 1.
    EXPECT_EQ(Copy(folder + "/none.txt", Out()), 0);
    EXPECT_EQ(Copy(folder + "/file.txt", folder), 1);

    kst::MapDrive('A', "", kst::DriveType::Removable, "/dev/null");
    kst::MapDrive('B', "", kst::DriveType::Removable, "/dev/null");
    kst::MapDrive('D', "", kst::DriveType::Removable, "/dev/null");
    struct {
        const char* path;
        bool floppy;
    } cases[] = {{"A:", true}, {"a:", true},      {"b:\\x\\y.txt", true}, {"D:\\file", false},
                 {"", false},  {"\\file", false}, {"/tmp/file", false}};
    for (const auto& c : cases)
        EXPECT_EQ(CFloppyAccessLow::IsFloppyDisk(c.path), c.floppy) << c.path;
    kst::MapDrive('B', "", kst::DriveType::Fixed, "/dev/null");
    EXPECT_FALSE(CFloppyAccessLow::IsFloppyDisk("B:"));
    kst::UnmapDrive('B');
    kst::UnmapDrive('D');
}

class FloppyTool : public FloppyTest {
protected:
    void SetUp() override {
        FloppyTest::SetUp();
        m_image = std::make_unique<Image>(m_dir);
        m_image->Mkdir("DOCS");
        m_image->Put("DOCS/NOTE.TXT", RandomBytes(1300, 8));
        m_sectors = m_image->Sectors("DOCS/NOTE.TXT");
    }
    // Runs kst COMMAND --image IMAGE PATH ARGS; answers the exit code, stdout and stderr in out.
    int Kst(const std::string& command, const std::string& path, const std::string& args,
            std::string* out) {
        return RunCommand(Quote(ksttest::ToolPath()) + " " + command + " --image " +
                              Quote(m_image->path()) + " " + Quote(path) + " " + args + " 2>&1",
                          out);
    }
    std::string Bad(int ordinal) const { return " --bad " + std::to_string(m_sectors[ordinal]); }

    std::unique_ptr<Image> m_image;
    std::vector<unsigned> m_sectors;
};

TEST_F(FloppyTool, CopyListsTheBadSectorsAndWhatTheyMean) {
    std::string out, note = m_image->Extract("DOCS/NOTE.TXT"), zeroed = note;
    zeroed.replace(512, 512, std::string(512, '\0'));
    const std::string copied = "copied A:\\DOCS\\NOTE.TXT to " + Out() + "\n";
    for (const char* family : {"nt", "9x"}) {
        ASSERT_EQ(Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT",
                      Quote(Out()) + " --family " + family + Bad(1), &out),
                  0)
            << out;
        EXPECT_EQ(out, copied +
                           "bad sectors: 1 (sector ordinals of the file, from 0)\n"
                           "  1: bytes 512 to 1023 of " +
                           Out() + " are not the diskette's (zeros)\n");
        EXPECT_TRUE(ReadFile(Out()) == zeroed);
    }
    // A sector bad for two reads reads on the third attempt.
    ASSERT_EQ(
        Kst("floppy-copy", "a:\\docs\\note.txt", Quote(Out()) + Bad(2) + ":2 --retries 2", &out),
        0);
    EXPECT_EQ(out, "copied a:\\docs\\note.txt to " + Out() + "\nno bad sectors\n");
    EXPECT_TRUE(ReadFile(Out()) == note);
    // The file's last sector: its range ends with the file.
    ASSERT_EQ(Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT", Quote(Out()) + Bad(2), &out), 0);
    EXPECT_NE(out.find("  2: bytes 1024 to 1299 of " + Out() + " are not"), std::string::npos)
        << out;
    ASSERT_EQ(
        Kst("floppy-copy", "A:\\DOCS\\NOTE.TXT", Quote(Out()) + Bad(1) + " --max-bad 0", &out), 0);
    EXPECT_EQ(out, copied +
                       "bad sectors: 1 (sector ordinals of the file, from 0)\n"
                       "  1: not read; more than 0 bad sectors: the copy ends at byte 512\n");
    EXPECT_EQ(ReadFile(Out()).size(), 512u);
    ASSERT_EQ(Kst("floppy-verify", "A:\\DOCS\\NOTE.TXT", "--family 9x", &out), 0);
    EXPECT_EQ(out, "read A:\\DOCS\\NOTE.TXT\nno bad sectors\n");
}

TEST_F(FloppyTool, Failures) {
    std::string out;
    EXPECT_EQ(Kst("floppy-verify", "A:\\DOCS\\NONE.TXT", "", &out), 1);
    EXPECT_EQ(out, "kst: A:\\DOCS\\NONE.TXT: not found on " + m_image->path() + "\n");
    EXPECT_EQ(RunCommand(Quote(ksttest::ToolPath()) + " floppy-verify --image " +
                             Quote(m_dir + "/none.img") + " 'A:\\X.TXT' 2>&1",
                         &out),
              1);
    EXPECT_EQ(out, "kst: cannot open " + m_dir + "/none.img: No such file or directory\n");
    EXPECT_EQ(Kst("floppy-verify", "C:\\X.TXT", "", &out), 2);
    EXPECT_EQ(Kst("floppy-verify", "A:\\X.TXT", "--family 95", &out), 2);
    EXPECT_EQ(Kst("floppy-verify", "A:\\X.TXT", "--bad 1,x", &out), 2);
    EXPECT_EQ(Kst("floppy-copy", "A:\\X.TXT", "", &out), 2) << "no destination";
}

}  // namespace
