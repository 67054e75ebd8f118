// ZIP64 archives as Info-ZIP and Python write them: listings agree with unzip and zipfile,
// spans and joins carry the ZIP64 fields through, and the end record behind the longest
// comments is found.
#include <gtest/gtest.h>

#include <sstream>

#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

std::vector<std::string> UnzipNames(const std::string& archive) {
    std::istringstream lines(Sh("unzip -Z1 " + Quote(archive)));
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) names.push_back(line);
    return names;
}

// The directory as CZipInfo reads it equals unzip's names and zipfile's sizes and CRCs.
void ExpectListingAgrees(const std::string& archive, bool withPython = true) {
    SCOPED_TRACE(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetError(), CZipInfo::NoError);
    auto names = UnzipNames(archive);
    ASSERT_EQ(info.GetFilesCount(), static_cast<int>(names.size()));
    for (int i = 0; i < info.GetFilesCount(); ++i) ASSERT_EQ(info.GetName(i).str(), names[i]);
    if (!withPython) return;
    auto py = PyList(archive);
    ASSERT_EQ(py.size(), names.size());
    for (int i = 0; i < info.GetFilesCount(); ++i) {
        EXPECT_EQ(info.GetCompressedSize64(i), py[i].compressed) << names[i];
        EXPECT_EQ(info.GetUncompressedSize64(i), py[i].size) << names[i];
        EXPECT_EQ(info.GetCompressedSize(i), py[i].compressed) << names[i];
        EXPECT_EQ(info.GetCRC(i), py[i].crc) << names[i];
    }
}

// A source whose ZIP64 end record was forced joins without it: the entries and directory
// stay byte for byte, the end record then states the real offset.
void ExpectSameUpToTheEnd(const std::string& joined, const std::string& source) {
    size_t end = source.rfind(std::string("PK\6\6", 4));
    if (end == std::string::npos) end = source.rfind(std::string("PK\5\6", 4));
    ASSERT_GE(joined.size(), end + 22);
    EXPECT_TRUE(joined.substr(0, end) == source.substr(0, end)) << "entries or directory differ";
    EXPECT_EQ(Le32(joined, end), 0x06054b50u);
    size_t sourceEnd = source.rfind(std::string("PK\5\6", 4));
    EXPECT_EQ(Le16(joined, end + 10), Le16(source, sourceEnd + 10));
    EXPECT_EQ(Le32(joined, end + 12), Le32(source, sourceEnd + 12));
    EXPECT_EQ(Le32(joined, end + 12) + Le32(joined, end + 16), end);
    EXPECT_EQ(joined.size(), end + 22);
}

int SpanAndJoin(const std::string& archive, const std::string& folder, uint32_t size,
                const std::string& joined) {
    int count = Span(archive, folder, size);
    EXPECT_GE(count, 1) << "volume size " << size;
    CZipSpan join(joined.c_str());
    EXPECT_EQ(join.UnSpan(folder.c_str(), count), 1) << join.GetFailureReason().str();
    return count;
}

class Zip64Test : public ::testing::Test {
protected:
    void SetUp() override { dir = ScratchDir(); }
    std::string Joined(const std::string& name, uint32_t size) {
        std::string folder = dir + "/joined" + std::to_string(size);
        std::filesystem::create_directories(folder);
        return folder + "/" + name;
    }
    std::string dir;
};

TEST_F(Zip64Test, InfoZipForcedAndPythonForcedRoundTrip) {
    std::string forced = InfoZip(dir, "fz.zip", "-fz");
    std::string python = dir + "/py.zip", stream = dir + "/stream.zip";
    // Seekable: ZIP64 extra fields in the local headers; a pipe: data descriptors with 8-byte
    // sizes after them.
    Python(R"(
import sys, io, zipfile
class Pipe(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
for path, seekable in ((sys.argv[1], True), (sys.argv[2], False)):
    with open(path, "wb") as f:
        with zipfile.ZipFile(f if seekable else Pipe(f), "w", zipfile.ZIP_DEFLATED) as z:
            for i, size in enumerate((70000, 0, 300, 150000)):
                with z.open("d%d/f%d.bin" % (i % 2, i), "w", force_zip64=True) as e:
                    e.write(bytes((i * 7 + k * k) % 251 for k in range(size)))
            z.comment = b"forced"
)",
           {python, stream});
    ASSERT_EQ(ReadFile(forced).find(std::string("PK\6\6", 4)) != std::string::npos, true);
    std::vector<std::string> checked;
    for (const std::string& archive : {forced, python, stream}) {
        ExpectListingAgrees(archive);
        std::string source = ReadFile(archive);
        std::string name = std::filesystem::path(archive).filename();
        for (uint32_t size : {static_cast<uint32_t>(source.size() / 3 + 7),
                              static_cast<uint32_t>(source.size() / 2 + 5)}) {
            SCOPED_TRACE(name + " at " + std::to_string(size));
            std::string folder = dir + "/v-" + name + std::to_string(size);
            std::string joined = Joined(name, size);
            int count = SpanAndJoin(archive, folder, size, joined);
            EXPECT_GE(count, 2);
            if (archive == forced)
                ExpectSameUpToTheEnd(ReadFile(joined), source);
            else
                EXPECT_TRUE(ReadFile(joined) == source) << "joined archive differs";
            EXPECT_TRUE(UnzipTests(joined));
            checked.push_back(joined);
        }
    }
    std::string out = Python(R"(
import sys, zipfile
print("bad:", [a for a in sys.argv[1:] if zipfile.ZipFile(a).testzip() is not None])
)",
                             checked);
    EXPECT_NE(out.find("bad: []"), std::string::npos) << out;
}

// 70,000 entries need the ZIP64 end record in the source, in every volume set and in the
// joined archive; Info-ZIP joins our set.
TEST_F(Zip64Test, SeventyThousandEntriesKeepTheirCount) {
    std::string archive = dir + "/many.zip";
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("big.bin", bytes(range(256)) * 16384)
    for i in range(70000): z.writestr("e%05d" % i, "")
)",
           {archive});
    ExpectListingAgrees(archive, false);
    CZipInfo listing;
    listing.GetInfo(archive.c_str());
    EXPECT_EQ(listing.FindFile("E12345"), 12346);
    std::string source = ReadFile(archive);
    size_t directory = Le32(source, source.rfind(std::string("PK\5\6", 4)) + 16);
    // The second size puts the whole directory on the last volume.
    for (uint32_t size :
         {static_cast<uint32_t>(source.size() / 4 + 13), static_cast<uint32_t>(directory + 40)}) {
        SCOPED_TRACE(size);
        std::string folder = dir + "/v" + std::to_string(size);
        std::string joined = Joined("many.zip", size);
        int count = SpanAndJoin(archive, folder, size, joined);
        ASSERT_GE(count, 2);
        std::string last = ReadFile(VolumePath(folder, "many.zip", count));
        size_t z64 = last.rfind(std::string("PK\6\6", 4));
        ASSERT_NE(z64, std::string::npos);
        EXPECT_EQ(Le32(last, z64 + 32), 70001u);               // total entries, 64-bit low word
        EXPECT_EQ(Le32(last, z64 + 16), uint32_t(count - 1));  // this disk
        size_t locator = last.rfind(std::string("PK\6\7", 4));
        EXPECT_EQ(Le32(last, locator + 8), z64);
        EXPECT_EQ(Le32(last, locator + 16), uint32_t(count));
        size_t end = last.rfind(std::string("PK\5\6", 4));
        EXPECT_EQ(Le16(last, end + 10), 0xFFFFu);
        EXPECT_TRUE(ReadFile(joined) == source) << "joined archive differs";
        CZipInfo info;
        info.GetInfo(VolumePath(folder, "many.zip", count).c_str());
        EXPECT_EQ(info.GetVolumesNumber(), count);
    }
    // Info-ZIP's own join of our set, under its split names.
    uint32_t size = static_cast<uint32_t>(source.size() / 4 + 13);
    std::string parts = dir + "/parts";
    std::filesystem::create_directories(parts);
    int count = 0;
    while (std::filesystem::exists(
        VolumePath(dir + "/v" + std::to_string(size), "many.zip", count + 1)))
        ++count;
    for (int n = 1; n <= count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "set.z%02d", n);
        std::filesystem::copy_file(VolumePath(dir + "/v" + std::to_string(size), "many.zip", n),
                                   parts + "/" + (n == count ? std::string("set.zip") : name));
    }
    Sh("cd " + Quote(parts) + " && zip -q -s 0 set.zip --out whole.zip");
    EXPECT_EQ(UnzipNames(parts + "/whole.zip").size(), 70001u);
}

// The end record begins up to 22 + 65,535 bytes before the end.
TEST_F(Zip64Test, LongestCommentsHideNoEndRecord) {
    for (size_t length : {65513u, 65514u, 65535u}) {
        SCOPED_TRACE(length);
        std::string archive = dir + "/c" + std::to_string(length) + ".zip";
        Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("a.txt", "alpha")
    z.writestr(zipfile.ZipInfo("b.bin"), bytes(range(256)) * 400)
    z.comment = (b"comment " * 9000)[:int(sys.argv[2])]
)",
               {archive, std::to_string(length)});
        CZipInfo info;
        info.GetInfo(archive.c_str());
        ASSERT_EQ(info.GetError(), CZipInfo::NoError);
        EXPECT_EQ(info.GetFilesCount(), 2);
        EXPECT_EQ(static_cast<size_t>(info.GetComment().GetLength()), length);
        EXPECT_EQ(info.GetComment().Left(16).str(), "comment comment ");
        std::string joined = Joined(std::filesystem::path(archive).filename(), 80000);
        int count = SpanAndJoin(archive, dir + "/v" + std::to_string(length), 80000, joined);
        EXPECT_EQ(count, 3);
        EXPECT_TRUE(ReadFile(joined) == ReadFile(archive));
    }
}

}  // namespace
