// CZipInfo against archives of Info-ZIP, Python's zipfile and 7z, and the reader's edge cases.
#include <gtest/gtest.h>

#include <chrono>

#include "KstPlatform.h"
#include "KstWin32.h"
#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

class ZipInfoTest : public ::testing::Test {
protected:
    void SetUp() override { kst::SetCodePages(65001, 437); }
};

std::string DateOf(const std::string& stamp) {  // YYYY-MM-DD hh:mm:ss -> dd.mm.yyyy
    return stamp.substr(8, 2) + "." + stamp.substr(5, 2) + "." + stamp.substr(0, 4);
}

void ExpectAgreesWithZipfile(const std::string& archive) {
    SCOPED_TRACE(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetError(), CZipInfo::NoError);
    auto entries = PyList(archive);
    ASSERT_EQ(info.GetFilesCount(), static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        int k = static_cast<int>(i);
        const PyEntry& e = entries[i];
        EXPECT_EQ(info.GetName(k).str(), e.name);
        EXPECT_EQ(info.GetCompressedSize(k), e.compressed) << e.name;
        EXPECT_EQ(info.GetUncompressedSize(k), e.size) << e.name;
        EXPECT_EQ(info.GetCRC(k), e.crc) << e.name;
        EXPECT_EQ(info.GetMethod(k), e.method) << e.name;
        EXPECT_EQ(info.GetFlags(k), e.flags) << e.name;
        EXPECT_EQ(info.GetDate(k).str(), DateOf(e.stamp)) << e.name;
        EXPECT_EQ(info.GetTime(k).str(), e.stamp.substr(11)) << e.name;
    }
}

// Stored, deflated and streamed with data descriptors (sizes after the data).
TEST_F(ZipInfoTest, AgreesOnInfoZipStoredDeflatedAndStream) {
    std::string dir = ScratchDir();
    ExpectAgreesWithZipfile(InfoZip(dir, "stored.zip", "-0"));
    ExpectAgreesWithZipfile(InfoZip(dir, "deflated.zip", "-9"));
    std::string archive = dir + "/stream.zip";
    Sh("cd " + Quote(dir + "/tree") + " && zip -q -X -fz- -r - . | cat > " + Quote(archive));
    auto entries = PyList(archive);
    ASSERT_FALSE(entries.empty());
    EXPECT_TRUE(entries[0].flags & 8) << "Info-ZIP wrote no data descriptor";
    ExpectAgreesWithZipfile(archive);
}

TEST_F(ZipInfoTest, KeepsTheArchiveComment) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "comment.zip", "-6");
    Sh("printf 'first line\\nsecond line\\n' | zip -q -z " + Quote(archive));
    CZipInfo info;
    info.GetInfo(archive.c_str());
    std::string expected = Python(
        "import sys,zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1]).comment.decode())",
        {archive});
    EXPECT_EQ(info.GetComment().str(), expected);
    EXPECT_NE(expected.find("second line"), std::string::npos);
    ExpectAgreesWithZipfile(archive);
}

TEST_F(ZipInfoTest, AgreesOnPythonUtf8NamesAndSevenZip) {
    std::string dir = ScratchDir();
    std::string py = dir + "/utf8.zip";
    Python(R"(
import sys, zipfile
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

    std::string tree = MakeTree(dir);
    std::string seven = dir + "/seven.zip";
    Sh("cd " + Quote(tree) + " && 7z a -tzip -bd " + Quote(seven) + " . > /dev/null");
    ExpectAgreesWithZipfile(seven);
}

TEST_F(ZipInfoTest, OemNamesAreConverted) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/oem.zip";
    Python(
        "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr('Cafe.txt', "
        "'x')",
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

// Two entries of one name: one record, the later, at the end of the list.
TEST_F(ZipInfoTest, LaterEntryOfARepeatedNameWins) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/dup.zip";
    Python(R"(
import sys, zipfile, warnings
warnings.simplefilter("ignore")
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
)",
           {archive});
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetFilesCount(), 3);
    EXPECT_EQ(info.GetName(0).str(), "other.txt");
    EXPECT_EQ(info.GetName(1).str(), "same.txt");
    EXPECT_EQ(info.GetUncompressedSize(1), 14u);
    EXPECT_STREQ(info.GetName(2).c_str(), "zero");
    EXPECT_EQ(info.GetUncompressedSize(2), 3u);
}

// Each repeated name replaces its earlier record in place of a search of the whole array: a
// directory that names 15000 files twice, interleaved with other names, reads in linear time
// and in the order the later records came.
TEST_F(ZipInfoTest, ManyRepeatedNamesReadInLinearTime) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/repeats.zip";
    Python(R"(
import sys, zipfile, warnings
warnings.simplefilter("ignore")
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for round in (1, 2):
        for i in range(15000):
            z.writestr("r%05d" % i, "x" * round)
            if i % 1000 == 0: z.writestr("once%d-%d" % (round, i), "")
)",
           {archive});
    CZipInfo info;
    auto start = std::chrono::steady_clock::now();
    info.GetInfo(archive.c_str());
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(info.GetFilesCount(), 15030);
    EXPECT_EQ(info.GetName(0).str(), "once1-0");
    EXPECT_EQ(info.GetName(14).str(), "once1-14000");
    EXPECT_EQ(info.GetName(15).str(), "r00000");
    EXPECT_EQ(info.GetUncompressedSize(15), 2u);
    EXPECT_EQ(info.GetName(16).str(), "once2-0");
    EXPECT_EQ(info.GetName(15029).str(), "r14999");
    EXPECT_EQ(info.FindFile("R12345"), 15 + 12345 + 13);
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(ZipInfoTest, FlagsOfPlainFirstMiddleAndLastVolumes) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "plain.zip", "-0");
    CZipInfo plain;
    plain.GetInfo(archive.c_str());
    EXPECT_EQ(plain.IsFirstDiskOfMultivolume(), 0);
    EXPECT_EQ(plain.IsLastDisk(), 1);
    EXPECT_EQ(plain.GetVolumesNumber(), 1);
    EXPECT_EQ(plain.GetLength(), ReadFile(archive).size());
    EXPECT_EQ(plain.GetZipFileHandle(),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(CFile::hFileNull)));

    std::string out = dir + "/vol";
    int count = Span(archive, out, 60000);
    ASSERT_GE(count, 3);
    CZipInfo first;
    first.GetInfo(VolumePath(out, "plain.zip", 1).c_str());
    EXPECT_EQ(first.IsFirstDiskOfMultivolume(), 1);
    EXPECT_EQ(first.IsLastDisk(), 0);
    EXPECT_EQ(first.GetError(), CZipInfo::NotTheLastDisk);
    CZipInfo middle;
    middle.GetInfo(VolumePath(out, "plain.zip", 2).c_str());
    EXPECT_EQ(middle.GetError(), CZipInfo::NotTheLastDisk);
    EXPECT_EQ(middle.IsLastDisk(), 0);
    EXPECT_EQ(middle.GetFilesCount(), 0);
    CZipInfo last;
    last.GetInfo(VolumePath(out, "plain.zip", count).c_str());
    EXPECT_EQ(last.GetError(), CZipInfo::NoError);
    EXPECT_EQ(last.IsLastDisk(), 1);
    EXPECT_EQ(last.GetVolumesNumber(), count);
}

TEST_F(ZipInfoTest, LastEndRecordInTheTailWins) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "c.zip", "-0");
    CZipInfo before;
    before.GetInfo(archive.c_str());
    // A comment that holds an end record signature: its bytes read as the end record.
    std::string bytes = ReadFile(archive);
    std::string fake = std::string("PK\5\6", 4) + std::string(18, '\0');
    uint16_t length = static_cast<uint16_t>(fake.size());
    bytes[bytes.size() - 2] = static_cast<char>(length & 0xFF);
    bytes[bytes.size() - 1] = static_cast<char>(length >> 8);
    WriteFile(archive, bytes + fake);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.GetError(), CZipInfo::NoError);
    EXPECT_EQ(info.GetCentralDirPosition(), before.GetCentralDirPosition());
    EXPECT_EQ(info.GetComment().GetLength(), 0);  // the fake record has no comment
    EXPECT_EQ(info.GetFilesCount(), before.GetFilesCount());
}

TEST_F(ZipInfoTest, FindFileIgnoresCaseAndAddComparesExactly) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/case.zip";
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("README.TXT", "r")
    z.writestr("b.txt", "b")
)",
           {archive});
    CZipInfo info;
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.FindFile("readme.txt"), 0);
    EXPECT_EQ(info.FindFile("missing"), -1);
    auto* record = new CZipInfo::OneFileInfo;
    record->m_strName = "readme.txt";
    info.Add(record);
    EXPECT_EQ(info.GetSize(), 3);
    auto* again = new CZipInfo::OneFileInfo;
    again->m_strName = "README.TXT";
    again->m_dwCRC = 42;
    info.Add(again);
    ASSERT_EQ(info.GetSize(), 3);
    EXPECT_EQ(static_cast<CZipInfo::OneFileInfo*>(info.GetAt(2))->m_dwCRC, 42u);
    EXPECT_EQ(info.GetName(0).str(), "b.txt");
    // Add replaces every record of the name, also one the caller placed in the array.
    auto* placed = new CZipInfo::OneFileInfo;
    placed->m_strName = "placed.txt";
    delete info.GetAt(0);
    info.SetAt(0, placed);
    auto* added = new CZipInfo::OneFileInfo;
    added->m_strName = "placed.txt";
    info.Add(added);
    EXPECT_EQ(info.GetSize(), 3);
    EXPECT_EQ(info.FindFile("placed.txt"), 2);
}

TEST_F(ZipInfoTest, EncryptionFlags) {
    std::string dir = ScratchDir();
    CZipInfo empty;
    EXPECT_FALSE(empty.IsAnyEncrypted());
    std::string tree = MakeTree(dir);
    std::string archive = dir + "/secret.zip";
    Sh("cd " + Quote(tree) + " && zip -q -P pass " + Quote(archive) + " text.txt && zip -q " +
       Quote(archive) + " empty.dat");
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetFilesCount(), 2);
    EXPECT_TRUE(info.IsAnyEncrypted());
    EXPECT_TRUE(info.IsEncrypted(info.FindFile("text.txt")));
    EXPECT_FALSE(info.IsEncrypted(info.FindFile("empty.dat")));
}

TEST_F(ZipInfoTest, OpenFailureKeepsEarlierFlags) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "a.zip", "-0");
    CZipInfo info;
    info.GetInfo(archive.c_str());
    info.GetInfo((dir + "/missing.zip").c_str());
    EXPECT_EQ(info.GetError(), CZipInfo::ErrorWhileOpening);
    EXPECT_EQ(info.GetFilesCount(), 0);
    EXPECT_EQ(info.IsLastDisk(), 1);  // still the earlier file's
    EXPECT_EQ(info.GetFileName().str(), dir + "/missing.zip");
}

TEST_F(ZipInfoTest, AssignmentCopiesRecordsDeeply) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "a.zip", "-9");
    CZipInfo source;
    source.GetInfo(archive.c_str());
    CZipInfo copy;
    copy = source;
    ASSERT_EQ(copy.GetFilesCount(), source.GetFilesCount());
    EXPECT_NE(copy.GetAt(0), source.GetAt(0));
    EXPECT_EQ(copy.GetName(0), source.GetName(0));
    EXPECT_EQ(copy.GetCentralDirPosition(), source.GetCentralDirPosition());
    source.GetInfo((dir + "/missing").c_str());
    EXPECT_EQ(copy.GetCRC(1), PyList(archive)[1].crc);
}

TEST_F(ZipInfoTest, InvalidDosStampsReadAsTheEpochOfTheFormat) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "a.zip", "-0");
    std::string bytes = ReadFile(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    size_t cd = info.GetCentralDirPosition();
    bytes[cd + 12] = bytes[cd + 13] = bytes[cd + 14] = bytes[cd + 15] = 0;  // zero time and date
    WriteFile(archive, bytes);
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.GetDate(0).str(), "01.01.1980");
    EXPECT_EQ(info.GetTime(0).str(), "00:00:00");
    // 31 February 2001, 10:00: a date mktime would roll into March.
    WORD date = static_cast<WORD>((21 << 9) | (2 << 5) | 31);
    bytes[cd + 14] = static_cast<char>(date & 0xFF);
    bytes[cd + 15] = static_cast<char>(date >> 8);
    bytes[cd + 13] = static_cast<char>(10 << 3);
    WriteFile(archive, bytes);
    info.GetInfo(archive.c_str());
    EXPECT_EQ(info.GetDate(0).str(), "01.01.1980");
}

}  // namespace

namespace {

class HeaderReader : public CZipInfo {
public:
    using CZipInfo::GetOneFileInfo;
};

// A volume without end record leaves its file open; a host may still walk its headers from a
// position of its choice.
TEST_F(ZipInfoTest, HeadersOfAVolumeWithoutEndRecordCanStillBeRead) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "a.zip", "-0");
    auto entries = PyList(archive);
    std::string bytes = ReadFile(archive);
    WriteFile(archive, bytes.substr(0, bytes.rfind("PK\5\6")));
    HeaderReader reader;
    reader.GetInfo(archive.c_str());
    ASSERT_EQ(reader.GetError(), CZipInfo::NotTheLastDisk);
    HANDLE file = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(reader.GetZipFileHandle()));
    ASSERT_NE(SetFilePointer(file, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    std::vector<std::string> names;
    CZipInfo::OneFileInfo* info = nullptr;
    while (reader.GetOneFileInfo(info, nullptr)) {
        names.push_back(info->m_strName.str());
        delete info;
    }
    ASSERT_EQ(names.size(), entries.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], entries[i].name);
}

}  // namespace
