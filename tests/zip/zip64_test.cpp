// ZIP64 archives as Info-ZIP and Python write them: listings agree with unzip and zipfile,
// spans and joins carry the ZIP64 fields through, and the end record behind the longest
// comments is found.
#include <gtest/gtest.h>

#include "ZipTestSupport.h"

using namespace ziptest;

namespace {

// The directory as CZipInfo reads it equals unzip's names and zipfile's sizes and CRCs.
void ExpectListingAgrees(const std::string& archive, bool withPython = true) {
    SCOPED_TRACE(archive);
    CZipInfo info;
    info.GetInfo(archive.c_str());
    ASSERT_EQ(info.GetError(), CZipInfo::NoError);
    std::string ours, theirs = Sh("unzip -Z1 " + Quote(archive));
    for (int i = 0; i < info.GetFilesCount(); ++i) ours += info.GetName(i).str() + "\n";
    ASSERT_EQ(ours, theirs);
    if (!withPython) return;
    auto py = PyList(archive);
    ASSERT_EQ(py.size(), size_t(info.GetFilesCount()));
    for (int i = 0; i < info.GetFilesCount(); ++i)
        EXPECT_EQ(std::tuple(info.GetCompressedSize64(i), info.GetCompressedSize(i),
                             info.GetUncompressedSize64(i), info.GetCRC(i)),
                  std::tuple(py[i].compressed, py[i].compressed, py[i].size, py[i].crc))
            << py[i].name;
}

// Spans and joins the archive at size; answers the count of volumes.
int SpanAndJoin(const std::string& archive, const std::string& dir, uint32_t size,
                const std::string& joined) {
    std::string folder =
        dir + "/v-" + std::filesystem::path(archive).filename().string() + std::to_string(size);
    int count = Span(archive, folder, size);
    EXPECT_GE(count, 2) << "volume size " << size;
    EXPECT_EQ(Join(joined, folder, count), 1);
    return count;
}

TEST(Zip64Test, InfoZipForcedAndPythonForcedRoundTrip) {
    std::string dir = ScratchDir(), forced = InfoZip(dir, "fz.zip", "-fz");
    std::string python = dir + "/py.zip", stream = dir + "/stream.zip";
    // Seekable: ZIP64 extra fields in the local headers; a pipe: data descriptors with 8-byte
    // sizes after them.
    Python(R"(
for path, seekable in ((sys.argv[1], True), (sys.argv[2], False)):
    with open(path, "wb") as f:
        with zipfile.ZipFile(f if seekable else Pipe(f), "w", zipfile.ZIP_DEFLATED) as z:
            for i, size in enumerate((70000, 0, 300, 150000)):
                with z.open("d%d/f%d.bin" % (i % 2, i), "w", force_zip64=True) as e:
                    e.write(bytes((i * 7 + k * k) % 251 for k in range(size)))
            z.comment = b"forced"
)",
           {python, stream});
    ASSERT_NE(ReadFile(forced).find(std::string("PK\6\6", 4)), std::string::npos);
    std::vector<std::string> checked;
    for (const std::string& archive : {forced, python, stream}) {
        ExpectListingAgrees(archive);
        std::string source = ReadFile(archive);
        for (size_t size : {source.size() / 3 + 7, source.size() / 2 + 5}) {
            SCOPED_TRACE(archive + " at " + std::to_string(size));
            std::string joined = dir + "/j" + std::to_string(checked.size()) + "/" +
                                 std::filesystem::path(archive).filename().string();
            SpanAndJoin(archive, dir, static_cast<uint32_t>(size), joined);
            std::string bytes = ReadFile(joined);
            EXPECT_TRUE(UnzipTests(joined));
            checked.push_back(joined);
            if (archive != forced) {
                EXPECT_TRUE(bytes == source) << "joined archive differs";
                continue;
            }
            // The forced ZIP64 end record is not kept: entries and directory stay byte for
            // byte, the end record then states the real offset.
            size_t end = source.rfind(std::string("PK\6\6", 4));
            size_t sourceEnd = source.rfind(std::string("PK\5\6", 4));
            ASSERT_EQ(bytes.size(), end + 22);
            EXPECT_TRUE(bytes.substr(0, end) == source.substr(0, end)) << "entries differ";
            EXPECT_EQ(Le32(bytes, end), 0x06054b50u);
            EXPECT_EQ(bytes.substr(end + 10, 6), source.substr(sourceEnd + 10, 6));
            EXPECT_EQ(Le32(bytes, end + 12) + Le32(bytes, end + 16), end);
        }
    }
    ExpectPythonTests(checked);
}

// More entries than 16 bits count need the ZIP64 end record in the source, in every volume set
// and in the joined archive.
TEST(Zip64Test, MoreEntriesThanSixteenBitsCountKeepTheirCount) {
    std::string dir = ScratchDir(), archive = dir + "/many.zip";
    Python(R"(
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("big.bin", bytes(range(256)) * 8192)
    for i in range(65536): z.writestr("e%05d" % i, "")
)",
           {archive});
    ExpectListingAgrees(archive, false);
    CZipInfo listing;
    listing.GetInfo(archive.c_str());
    EXPECT_EQ(listing.FindFile("E12345"), 12346);
    std::string source = ReadFile(archive);
    size_t directory = Le32(source, source.rfind(std::string("PK\5\6", 4)) + 16);
    // The second size puts the whole directory on the last volume.
    for (size_t size : {source.size() / 4 + 13, directory + 40}) {
        SCOPED_TRACE(size);
        std::string joined = dir + "/j" + std::to_string(size) + "/many.zip";
        int count = SpanAndJoin(archive, dir, static_cast<uint32_t>(size), joined);
        std::string last = dir + "/v-many.zip" + std::to_string(size);
        CZipInfo info;
        info.GetInfo(VolumePath(last, "many.zip", count).c_str());
        EXPECT_EQ(info.GetVolumesNumber(), count);
        last = ReadFile(VolumePath(last, "many.zip", count));
        size_t z64 = last.rfind(std::string("PK\6\6", 4)),
               end = last.rfind(std::string("PK\5\6", 4));
        size_t locator = last.rfind(std::string("PK\6\7", 4));
        ASSERT_NE(z64, std::string::npos);
        // Total entries (low word), this disk; the locator's offset and count; 0xFFFF entries.
        EXPECT_EQ((std::vector<uint32_t>{Le32(last, z64 + 32), Le32(last, z64 + 16),
                                         Le32(last, locator + 8), Le32(last, locator + 16),
                                         Le16(last, end + 10)}),
                  (std::vector<uint32_t>{65537u, uint32_t(count - 1), uint32_t(z64),
                                         uint32_t(count), 0xFFFFu}));
        EXPECT_TRUE(ReadFile(joined) == source) << "joined archive differs";
    }
}

// The end record begins up to 22 + 65,535 bytes before the end.
TEST(Zip64Test, LongestCommentsHideNoEndRecord) {
    std::string dir = ScratchDir();
    for (size_t length : {65513u, 65514u, 65535u}) {
        SCOPED_TRACE(length);
        std::string archive = dir + "/c" + std::to_string(length) + ".zip";
        Python(R"(
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
        std::string joined = archive + ".j/" + std::filesystem::path(archive).filename().string();
        EXPECT_EQ(SpanAndJoin(archive, dir, 80000, joined), 3);
        EXPECT_TRUE(ReadFile(joined) == ReadFile(archive));
    }
}

}  // namespace
