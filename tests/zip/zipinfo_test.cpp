// CZipInfo against archives of Info-ZIP, Python's zipfile and 7z, and the reader's edge cases.
#include <gtest/gtest.h>

#include <chrono>

#include "KstPlatform.h"
#include "KstWin32.h"
#include "ZipTestSupport.h"

using namespace ziptest;

namespace {

class ZipInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        kst::SetCodePages(65001, 437);
        dir = ScratchDir();
    }
    std::string dir;
};

// Every entry as CZipInfo reads it, in zipfile's terms.
std::vector<PyEntry> Listing(const CZipInfo& info) {
    std::vector<PyEntry> entries;
    for (int k = 0; k < info.GetFilesCount(); ++k) {
        std::string date = info.GetDate(k).str();  // dd.mm.yyyy
        entries.push_back({info.GetName(k).str(), info.GetCompressedSize(k),
                           info.GetUncompressedSize(k), info.GetCRC(k), info.GetMethod(k),
                           info.GetFlags(k),
                           date.substr(6, 4) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2) +
                               " " + info.GetTime(k).str()});
    }
    return entries;
}

std::string Text(const std::vector<PyEntry>& entries) {
    std::string text;
    for (const auto& e : entries)
        text += e.name + " " + std::to_string(e.compressed) + " " + std::to_string(e.size) + " " +
                std::to_string(e.crc) + " " + std::to_string(e.method) + " " +
                std::to_string(e.flags) + " " + e.stamp + "\n";
    return text;
}

void ExpectAgreesWithZipfile(const std::string& archive) {
    SCOPED_TRACE(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetError(), CZipInfo::NoError);
    EXPECT_EQ(Text(Listing(info)), Text(PyList(archive)));
}

// Stored, deflated, streamed with data descriptors (sizes after the data), with a comment,
// UTF-8 names of Python and 7z's archive.
TEST_F(ZipInfoTest, AgreesWithZipfile) {
    ExpectAgreesWithZipfile(InfoZip(dir, "stored.zip", "-0"));
    std::string archive = InfoZip(dir, "deflated.zip", "-9");
    Sh("printf 'first line\\nsecond line\\n' | zip -q -z " + Quote(archive));
    ExpectAgreesWithZipfile(archive);
    CZipInfo comment;
    comment.GetInfo(archive.c_str());
    EXPECT_EQ(comment.GetComment().str(),
              Python("sys.stdout.write(zipfile.ZipFile(sys.argv[1]).comment.decode())", {archive}));
    EXPECT_NE(comment.GetComment().Find("second line"), -1);
    std::string stream = dir + "/stream.zip";
    Sh("cd " + Quote(dir + "/tree") + " && zip -q -X -fz- -r - . | cat > " + Quote(stream));
    EXPECT_TRUE(PyList(stream).at(0).flags & 8) << "Info-ZIP wrote no data descriptor";
    ExpectAgreesWithZipfile(stream);
    std::string py = dir + "/utf8.zip";
    Python(R"(
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("докум/файл.txt", "привет" * 100)
    z.writestr("ünïcode.bin", bytes(range(256)) * 10)
    z.writestr("plain.txt", "ascii")
)",
           {py});
    ExpectAgreesWithZipfile(py);
    CZipInfo info;
    info.GetInfo(py.c_str());
    EXPECT_TRUE(info.GetFlags(0) & 0x800);
    EXPECT_EQ(info.FindFile("ДОКУМ/ФАЙЛ.TXT"), 0);
    std::string seven = dir + "/seven.zip";
    Sh("cd " + Quote(dir + "/tree") + " && 7z a -tzip -bd " + Quote(seven) + " . > /dev/null");
    ExpectAgreesWithZipfile(seven);
}

TEST_F(ZipInfoTest, OemNamesAreConverted) {
    std::string archive = dir + "/oem.zip";
    Python(
        "with zipfile.ZipFile(sys.argv[1], 'w') as z: "
        "z.writestr('Cafe.txt', 'x')",
        {archive});
    // Code page 437 bytes without flag bit 11, as MS-DOS tools write them: 0x80 is Ç, 0x82 é.
    std::string bytes = ReadFile(archive);
    for (size_t at = bytes.find("Cafe"); at != std::string::npos; at = bytes.find("Cafe", at))
        bytes.replace(at, 4,
                      "\x80"
                      "af\x82");
    WriteFile(archive, bytes);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetFilesCount(), 1);
    EXPECT_EQ(info.GetFlags(0) & 0x800, 0);
    EXPECT_EQ(info.GetName(0).str(), "Çafé.txt");
    EXPECT_EQ(PyList(archive)[0].name, "Çafé.txt");
}

// Two entries of one name: one record, the later, at the end of the list. Each repeated name
// replaces its earlier record in place of a search of the whole array: a directory that names
// 15000 files twice, interleaved with other names, reads in linear time and in the order the
// later records came.
TEST_F(ZipInfoTest, LaterEntryOfARepeatedNameWins) {
    std::string archive = dir + "/dup.zip", many = dir + "/repeats.zip";
    Python(R"(
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("same.txt", "first")
    z.writestr("other.txt", "o")
    z.writestr("same.txt", "second version")
    # Names compare as C strings: these two (a zero byte put in below) and the third are one.
    z.writestr("zero@a", "a")
    z.writestr("zero@b", "bb")
    z.writestr("zero", "ccc")
data = open(sys.argv[1], "rb").read()
open(sys.argv[1], "wb").write(data.replace(b"zero@", b"zero\0"))
with zipfile.ZipFile(sys.argv[2], "w") as z:
    for round in (1, 2):
        for i in range(15000):
            z.writestr("r%05d" % i, "x" * round)
            if i % 1000 == 0: z.writestr("once%d-%d" % (round, i), "")
)",
           {archive, many});
    CZipInfo info;
    info.GetInfo(archive.c_str());
    auto entries = Listing(info);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name + " " + entries[1].name + " " + entries[2].name,
              "other.txt same.txt zero");
    EXPECT_EQ(entries[1].size + entries[2].size, 14u + 3u);

    auto start = std::chrono::steady_clock::now();
    info.GetInfo(many.c_str());
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(info.GetFilesCount(), 15030);
    EXPECT_EQ(info.GetName(0).str() + " " + info.GetName(14).str() + " " + info.GetName(15).str() +
                  " " + info.GetName(16).str() + " " + info.GetName(15029).str(),
              "once1-0 once1-14000 r00000 once2-0 r14999");
    EXPECT_EQ(info.GetUncompressedSize(15), 2u);
    EXPECT_EQ(info.FindFile("R12345"), 15 + 12345 + 13);
    EXPECT_LT(took, std::chrono::seconds(5));
}

// A plain archive, the first, a middle and the last volume of a set; an open failure keeps
// the earlier file's flags.
TEST_F(ZipInfoTest, FlagsOfPlainFirstMiddleAndLastVolumes) {
    std::string archive = InfoZip(dir, "plain.zip", "-0");
    int count = Span(archive, dir + "/vol", 60000);
    ASSERT_GE(count, 3);
    // Error, first volume, last volume, volumes (of the last), entries (of the middle).
    auto flags = [&](int n) {
        CZipInfo info;
        info.GetInfo(n ? VolumePath(dir + "/vol", "plain.zip", n).c_str() : archive.c_str());
        return std::vector<int>{info.GetError(), info.IsFirstDiskOfMultivolume(), info.IsLastDisk(),
                                n == count || !n ? info.GetVolumesNumber() : -1,
                                n == 2 || !n ? info.GetFilesCount() : -1};
    };
    const int notLast = CZipInfo::NotTheLastDisk;
    EXPECT_EQ(flags(0), (std::vector<int>{CZipInfo::NoError, 0, 1, 1, 6}));
    EXPECT_EQ(flags(1), (std::vector<int>{notLast, 1, 0, -1, -1}));
    EXPECT_EQ(flags(2), (std::vector<int>{notLast, 0, 0, -1, 0}));
    EXPECT_EQ(flags(count), (std::vector<int>{CZipInfo::NoError, 0, 1, count, -1}));

    CZipInfo info;
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.GetLength(), ReadFile(archive).size());
    EXPECT_EQ(info.GetZipFileHandle(),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(CFile::hFileNull)));
    // Assignment copies the records deeply.
    CZipInfo copy;
    copy = info;
    ASSERT_EQ(copy.GetFilesCount(), info.GetFilesCount());
    EXPECT_NE(copy.GetAt(0), info.GetAt(0));
    EXPECT_EQ(copy.GetCentralDirPosition(), info.GetCentralDirPosition());
    info.GetInfo((dir + "/missing.zip").c_str());
    EXPECT_EQ(info.GetError(), CZipInfo::ErrorWhileOpening);
    EXPECT_EQ(info.GetFilesCount(), 0);
    EXPECT_EQ(info.IsLastDisk(), 1);  // still the earlier file's
    EXPECT_EQ(info.GetFileName().str(), dir + "/missing.zip");
    EXPECT_EQ(Text(Listing(copy)), Text(PyList(archive)));
}

// A comment that holds an end record signature: its bytes read as the end record.
TEST_F(ZipInfoTest, LastEndRecordInTheTailWins) {
    std::string archive = InfoZip(dir, "c.zip", "-0");
    CZipInfo before;
    before.GetInfo(archive.c_str());
    std::string bytes = ReadFile(archive), fake = std::string("PK\5\6", 4) + std::string(18, '\0');
    bytes[bytes.size() - 2] = static_cast<char>(fake.size());
    WriteFile(archive, bytes + fake);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.GetError(), CZipInfo::NoError);
    EXPECT_EQ(info.GetCentralDirPosition(), before.GetCentralDirPosition());
    EXPECT_EQ(info.GetComment().GetLength(), 0);  // the fake record has no comment
    EXPECT_EQ(info.GetFilesCount(), before.GetFilesCount());
}

TEST_F(ZipInfoTest, FindFileIgnoresCaseAndAddComparesExactly) {
    std::string archive = dir + "/case.zip";
    Python(R"(
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("README.TXT", "r")
    z.writestr("b.txt", "b")
)",
           {archive});
    CZipInfo info;
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.FindFile("readme.txt"), 0);
    EXPECT_EQ(info.FindFile("missing"), -1);
    auto record = [](const char* name, DWORD crc = 0) {
        auto* r = new CZipInfo::OneFileInfo;
        r->m_strName = name;
        r->m_dwCRC = crc;
        return r;
    };
    info.Add(record("readme.txt"));
    EXPECT_EQ(info.GetSize(), 3);
    info.Add(record("README.TXT", 42));
    ASSERT_EQ(info.GetSize(), 3);
    EXPECT_EQ(static_cast<CZipInfo::OneFileInfo*>(info.GetAt(2))->m_dwCRC, 42u);
    EXPECT_EQ(info.GetName(0).str(), "b.txt");
    // Add replaces every record of the name, also one the caller placed in the array.
    delete info.GetAt(0);
    info.SetAt(0, record("placed.txt"));
    info.Add(record("placed.txt"));
    EXPECT_EQ(info.GetSize(), 3);
    EXPECT_EQ(info.FindFile("placed.txt"), 2);
}

TEST_F(ZipInfoTest, EncryptionFlags) {
    EXPECT_FALSE(CZipInfo().IsAnyEncrypted());
    std::string tree = MakeTree(dir), archive = dir + "/secret.zip";
    Sh("cd " + Quote(tree) + " && zip -q -P pass " + Quote(archive) + " text.txt && zip -q " +
       Quote(archive) + " empty.dat");
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetFilesCount(), 2);
    EXPECT_TRUE(info.IsAnyEncrypted());
    EXPECT_TRUE(info.IsEncrypted(info.FindFile("text.txt")));
    EXPECT_FALSE(info.IsEncrypted(info.FindFile("empty.dat")));
}

// Zero time and date, and 31 February 2001, 10:00: a date mktime would roll into March.
TEST_F(ZipInfoTest, InvalidDosStampsReadAsTheEpochOfTheFormat) {
    std::string archive = InfoZip(dir, "a.zip", "-0"), bytes = ReadFile(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    size_t cd = info.GetCentralDirPosition();
    WORD date = static_cast<WORD>((21 << 9) | (2 << 5) | 31);
    const std::string stamps[] = {
        std::string(4, '\0'), std::string{0, char(10 << 3), char(date & 0xFF), char(date >> 8)}};
    for (const std::string& stamp : stamps) {
        bytes.replace(cd + 12, 4, stamp);
        WriteFile(archive, bytes);
        info.GetInfo(archive.c_str());
        EXPECT_EQ(info.GetDate(0).str(), "01.01.1980");
        EXPECT_TRUE(stamp[1] != 0 || info.GetTime(0).str() == "00:00:00");
    }
}

class HeaderReader : public CZipInfo {
public:
    using CZipInfo::GetOneFileInfo;
};

// A volume without end record leaves its file open; a host may still walk its headers from a
// position of its choice.
TEST_F(ZipInfoTest, HeadersOfAVolumeWithoutEndRecordCanStillBeRead) {
    std::string archive = InfoZip(dir, "a.zip", "-0"), bytes = ReadFile(archive);
    auto entries = PyList(archive);
    WriteFile(archive, bytes.substr(0, bytes.rfind("PK\5\6")));
    HeaderReader reader;
    reader.GetInfo(archive.c_str());
    ASSERT_EQ(reader.GetError(), CZipInfo::NotTheLastDisk);
    HANDLE file = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(reader.GetZipFileHandle()));
    ASSERT_NE(SetFilePointer(file, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    std::string names, expected;
    for (CZipInfo::OneFileInfo* info = nullptr; reader.GetOneFileInfo(info, nullptr); delete info)
        names += info->m_strName.str() + "\n";
    for (const auto& e : entries) expected += e.name + "\n";
    EXPECT_EQ(names, expected);
}

}  // namespace
