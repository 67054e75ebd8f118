// DoSpan and UnSpan round trips over real archives: volume sizes, the layout's edge cases,
// data descriptors as real tools write them, repeated names and damaged directories.
#include <gtest/gtest.h>

#include <algorithm>

#include "KstPlatform.h"
#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

struct Layout {
    std::vector<size_t> locals;    // local header positions
    std::vector<size_t> centrals;  // central header positions
    size_t end = 0;
    size_t largestBlock = 0;  // the largest block that is never cut
};

Layout LayoutOf(const std::string& bytes) {
    Layout l;
    l.end = bytes.rfind(std::string("PK\5\6", 4));
    size_t pos = Le32(bytes, l.end + 16);
    while (pos + 46 <= bytes.size() && Le32(bytes, pos) == 0x02014b50) {
        l.centrals.push_back(pos);
        l.locals.push_back(Le32(bytes, pos + 42));
        size_t local = Le32(bytes, pos + 42);
        l.largestBlock = std::max<size_t>(l.largestBlock,
                                          30 + Le16(bytes, local + 26) + Le16(bytes, local + 28));
        size_t length = 46 + Le16(bytes, pos + 28) + Le16(bytes, pos + 30) + Le16(bytes, pos + 32);
        l.largestBlock = std::max(l.largestBlock, length);
        pos += length;
    }
    l.largestBlock = std::max<size_t>(l.largestBlock, bytes.size() - l.end);
    return l;
}

// The joined archive keeps the name: it names the volumes.
std::string JoinedPath(const std::string& dir, uint32_t size, const std::string& name) {
    std::string folder = dir + "/joined-" + std::to_string(size);
    std::filesystem::create_directories(folder);
    return folder + "/" + name;
}

// Spans at size, checks every volume's bound and the set, joins it and compares with the
// source (or, when the join may differ, lets unzip test it); answers the volumes.
std::vector<std::string> RoundTrip(const std::string& archive, const std::string& dir,
                                   uint32_t size, bool expectEqual = true) {
    SCOPED_TRACE("volume size " + std::to_string(size));
    std::string name = std::filesystem::path(archive).filename();
    std::string folder = dir + "/v" + std::to_string(size);
    std::string source = ReadFile(archive);
    int count = Span(archive, folder, size);
    EXPECT_GE(count, 1);
    if (count < 1) return {};
    auto volumes = ReadVolumes(folder, name, count);
    if (source.size() <= size) {
        EXPECT_EQ(count, 1);
        EXPECT_TRUE(volumes[0] == source);
        EXPECT_FALSE(std::filesystem::exists(folder + "/Disk1/disk1"));  // no marker file
    } else {
        EXPECT_GE(count, 2);
        EXPECT_EQ(volumes[0].substr(0, 4), std::string("PK\7\x08", 4));
        for (int n = 0; n + 1 < count; ++n)
            EXPECT_LE(volumes[n].size(), size) << "volume " << n + 1;
        for (int n = 1; n <= count; ++n)
            EXPECT_TRUE(std::filesystem::exists(folder + "/Disk" + std::to_string(n) + "/disk" +
                                                std::to_string(n)));
        ExpectConsistentSet(volumes);
    }
    std::string joined = JoinedPath(dir, size, name);
    CZipSpan join(joined.c_str());
    EXPECT_EQ(join.UnSpan(folder.c_str(), count), 1);
    // A join equal to the source passes unzip's test as the source does: only a join that may
    // differ goes to the peer.
    if (!expectEqual)
        EXPECT_TRUE(UnzipTests(joined));
    else
        EXPECT_TRUE(ReadFile(joined) == source) << "joined archive differs";
    return volumes;
}

// One Python start for many archives: zipfile.testzip() passes on every one.
void ExpectPythonTests(const std::vector<std::string>& archives) {
    std::string out = Python(R"(
import sys, zipfile
print("bad:", [a for a in sys.argv[1:] if zipfile.ZipFile(a).testzip() is not None])
)",
                             archives);
    EXPECT_NE(out.find("bad: []"), std::string::npos) << out;
}

// A small archive: the smallest volume sizes are a few header lengths, so a large one would
// make thousands of volumes. The text is most of it, so that its middle lies in entry data.
std::string SmallArchive(const std::string& dir, const std::string& options) {
    std::string tree = dir + "/small";
    std::filesystem::create_directories(tree + "/sub");
    WriteFile(tree + "/text.txt", TextBytes(6000));
    WriteFile(tree + "/random.bin", RandomBytes(500, 7));
    WriteFile(tree + "/empty.dat", "");
    WriteFile(tree + "/sub/nested.txt", TextBytes(200));
    std::string archive = dir + "/e.zip";
    Sh("cd " + Quote(tree) + " && zip -q -X -r " + options + " " + Quote(archive) + " .");
    return archive;
}

TEST(SpanTest, RoundTripsAtManyVolumeSizes) {
    std::string dir = ScratchDir();
    for (const char* options : {"-0", "-9"}) {
        std::string sub = dir + (options[1] == '0' ? "/stored" : "/deflated");
        std::filesystem::create_directories(sub);
        std::string archive = SmallArchive(sub, options);
        uint32_t length = static_cast<uint32_t>(ReadFile(archive).size());
        uint32_t smallest = static_cast<uint32_t>(LayoutOf(ReadFile(archive)).largestBlock + 1);
        // Densest at both ends; the edge tests take the layout's own boundaries.
        std::vector<uint32_t> sizes = {smallest, smallest + 1, length - 7, length - 1, length};
        for (int step = 1; step < 6; ++step)
            sizes.push_back(smallest + (length - smallest) * step / 6);
        std::vector<std::string> joined;
        for (uint32_t size : sizes) {
            RoundTrip(archive, sub, size);
            joined.push_back(JoinedPath(sub, size, "e.zip"));
        }
        ExpectPythonTests({joined.front(), joined[joined.size() / 2], joined.back()});
    }
}

class SpanEdgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchDir();
        archive = SmallArchive(dir, "-0");
        bytes = ReadFile(archive);
        layout = LayoutOf(bytes);
    }
    std::string dir, archive, bytes;
    Layout layout;
};

TEST_F(SpanEdgeTest, LocalHeaderThatDoesNotFitStartsTheNextVolume) {
    ASSERT_GE(layout.locals.size(), 3u);
    size_t second = layout.locals[1];
    auto volumes = RoundTrip(archive, dir, static_cast<uint32_t>(4 + second + 10));
    ASSERT_GE(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].size(), 4 + second);  // ended early
    EXPECT_EQ(Le32(volumes[1], 0), 0x04034b50u);
}

// The header's volume is 1, at offset 4 + its position (the set check): the same for a
// central directory header.
TEST_F(SpanEdgeTest, HeaderThatExactlyFillsAVolumeIsRecordedWhereItBegins) {
    size_t second = layout.locals[1];
    uint32_t size = static_cast<uint32_t>(4 + second + 30 + Le16(bytes, second + 26) +
                                          Le16(bytes, second + 28));
    auto volumes = RoundTrip(archive, dir, size);
    ASSERT_GE(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].size(), size);
    size_t first = layout.centrals[0];
    RoundTrip(archive, dir,
              static_cast<uint32_t>(4 + first + 46 + Le16(bytes, first + 28) +
                                    Le16(bytes, first + 30) + Le16(bytes, first + 32)));
}

TEST_F(SpanEdgeTest, DirectoryThatStartsAVolumeIsNamedByTheEndRecord) {
    for (uint32_t size : {static_cast<uint32_t>(4 + layout.centrals[0]),
                          static_cast<uint32_t>(4 + layout.centrals[0] + 5)}) {
        auto volumes = RoundTrip(archive, dir, size);
        ASSERT_GE(volumes.size(), 2u);
        const std::string& last =
            volumes.back().empty() ? volumes[volumes.size() - 2] : volumes.back();
        size_t end = last.rfind(std::string("PK\5\6", 4));
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(Le16(last, end + 6), 1u);   // directory on volume 2
        EXPECT_EQ(Le32(last, end + 16), 0u);  // at its start
        EXPECT_EQ(Le32(volumes[1], 0), 0x02014b50u);
    }
}

TEST_F(SpanEdgeTest, EndRecordThatDoesNotFitStandsAlone) {
    uint32_t beforeEnd = static_cast<uint32_t>(4 + layout.end);
    for (uint32_t size : {beforeEnd, beforeEnd + 10}) {
        auto volumes = RoundTrip(archive, dir, size);
        ASSERT_EQ(volumes.size(), 2u) << size;
        EXPECT_EQ(volumes[1].size(), bytes.size() - layout.end);
        EXPECT_EQ(Le16(volumes[1], 4), 1u);  // number of this disk
        EXPECT_EQ(Le16(volumes[1], 8), 0u);  // no central header on its volume
        EXPECT_EQ(Le16(volumes[1], 10), layout.centrals.size());
    }
}

// Marker and archive split evenly over two volumes: the end record fills the second exactly,
// so the writer opens a third, empty one; the set still joins.
TEST_F(SpanEdgeTest, EndRecordThatFillsTheLastVolumeLeavesAnEmptyVolume) {
    if ((bytes.size() + 4) % 2) {  // one more comment byte makes the halves equal
        bytes += 'x';
        bytes[layout.end + 20] = static_cast<char>(Le16(bytes, layout.end + 20) + 1);
        WriteFile(archive, bytes);
    }
    uint32_t size = static_cast<uint32_t>((bytes.size() + 4) / 2);
    auto volumes = RoundTrip(archive, dir, size);
    ASSERT_EQ(volumes.size(), 3u);
    EXPECT_EQ(volumes[0].size(), size);
    EXPECT_EQ(volumes[1].size(), size);
    EXPECT_TRUE(volumes[2].empty());
}

TEST(SpanDescriptorTest, StreamsOfInfoZipAndPythonAndNestedArchives) {
    std::string dir = ScratchDir();
    std::string tree = MakeTree(dir);
    std::string zipStream = dir + "/zipstream.zip";
    Sh("cd " + Quote(tree) + " && zip -q -X -fz- -r - . | cat > " + Quote(zipStream));
    std::string pyStream = dir + "/pystream.zip";
    Sh("cd " + Quote(tree) + " && python3 -c " + Quote(R"(
import sys, zipfile, os
with zipfile.ZipFile(sys.stdout.buffer, "w", zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in sorted(os.walk(".")):
        for f in sorted(files):
            p = os.path.join(root, f)
            with open(p, "rb") as src, z.open(p[2:], "w") as dst:
                dst.write(src.read())
)") + " | cat > " +
       Quote(pyStream));
    std::string pyBytes = ReadFile(pyStream);
    ASSERT_EQ(Le32(pyBytes, 18), 0u) << "zipfile wrote sizes into the local header";
    // An archive stored inside an archive: local header signatures inside entry data.
    std::string nested = dir + "/nested.zip";
    Sh("cp " + Quote(zipStream) + " " + Quote(tree + "/inner.zip") + " && cd " + Quote(tree) +
       " && zip -q -X -0 " + Quote(nested) + " inner.zip text.txt && cd " + Quote(tree) +
       " && zip -q -X -0 -fz- - inner.zip random.bin | cat > " + Quote(dir + "/nestedstream.zip"));
    std::vector<std::string> joined;
    for (const std::string& archive : {zipStream, pyStream, nested, dir + "/nestedstream.zip"}) {
        SCOPED_TRACE(archive);
        std::string sub = archive + ".d";
        std::filesystem::create_directories(sub);
        uint32_t length = static_cast<uint32_t>(std::filesystem::file_size(archive));
        for (uint32_t size : {600u, length / 3, length - 1}) {
            RoundTrip(archive, sub, size);
            joined.push_back(JoinedPath(sub, size, std::filesystem::path(archive).filename()));
        }
    }
    ExpectPythonTests(joined);
}

TEST(SpanDamageTest, RepeatedNamesKeepEveryEntry) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/dup.zip";
    Python(R"(
import sys, zipfile, warnings
warnings.simplefilter("ignore")
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("same.txt", "first " * 3000)
    z.writestr("other.txt", "o" * 5000)
    z.writestr("same.txt", "second version " * 2000)
)",
           {archive});
    for (uint32_t size : {300u, 1000u, 2000u}) RoundTrip(archive, dir, size);
    EXPECT_EQ(PyList(JoinedPath(dir, 300, "dup.zip")).size(), 3u);
}

// An entry whose central header is gone: its own sizes (or the next local header) bound it,
// so the entries after it still span as entries.
TEST(SpanDamageTest, EntryMissingFromTheDirectoryDoesNotSwallowTheRest) {
    std::string dir = ScratchDir();
    for (bool stream : {false, true}) {
        std::string archive = dir + (stream ? "/missing-stream.zip" : "/missing.zip");
        Python(R"(
import sys, zipfile, io, struct, random
random.seed(5)
stream = sys.argv[2] == "1"
buf = io.BytesIO()
class Pipe(io.RawIOBase):
    def writable(self): return True
    def write(self, b): return buf.write(b)
with zipfile.ZipFile(Pipe() if stream else buf, "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("a.bin", "b.bin", "c.bin"):
        with z.open(name, "w") as f: f.write(bytes(random.getrandbits(8) for _ in range(6000)))
data = bytearray(buf.getvalue())
end = data.rfind(b"PK\5\6")
start = struct.unpack("<I", data[end + 16:end + 20])[0]
pos, headers = start, []
while data[pos:pos + 4] == b"PK\1\2":
    n, m, k = struct.unpack("<HHH", data[pos + 28:pos + 34])
    headers.append(bytes(data[pos:pos + 46 + n + m + k])); pos += 46 + n + m + k
kept = headers[0] + headers[2]
tail = bytearray(data[end:])
struct.pack_into("<HHI", tail, 8, 2, 2, len(kept))
open(sys.argv[1], "wb").write(bytes(data[:start]) + kept + bytes(tail))
)",
               {archive, stream ? "1" : "0"});
        std::string sub = archive + ".d";
        std::filesystem::create_directories(sub);
        for (uint32_t size : {1000u}) {
            std::string folder = sub + "/v" + std::to_string(size);
            int count = Span(archive, folder, size);
            ASSERT_GE(count, 2);
            std::string joined = JoinedPath(sub, size, std::filesystem::path(archive).filename());
            CZipSpan join(joined.c_str());
            ASSERT_EQ(join.UnSpan(folder.c_str(), count), 1);
            EXPECT_TRUE(UnzipTests(joined)) << joined;
            auto entries = PyList(joined);
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[1].name, "c.bin");
        }
    }
}

// An archive behind a stub whose offsets were not moved: the first entry's stated offset is
// where the second one really starts, which must not lend the first entry the second's size.
TEST(SpanDamageTest, StubBeforeTheArchiveDoesNotMixUpEntries) {
    std::string dir = ScratchDir();
    std::string archive = dir + "/stub.zip";
    Python(R"(
import sys, zipfile, io, random
random.seed(1)
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
    z.writestr("a.txt", b"A" * 1000)
    z.writestr("b.txt", bytes(random.getrandbits(8) for _ in range(3000)))
    z.writestr("c.txt", b"C" * 500)
second = zipfile.ZipFile(io.BytesIO(buf.getvalue())).infolist()[1].header_offset
open(sys.argv[1], "wb").write(b"\0" * second + buf.getvalue())
)",
           {archive});
    for (uint32_t size : {2000u}) {
        std::string folder = dir + "/v" + std::to_string(size);
        int count = Span(archive, folder, size);
        ASSERT_GE(count, 2);
        std::string joined = JoinedPath(dir, size, "stub.zip");
        CZipSpan join(joined.c_str());
        ASSERT_EQ(join.UnSpan(folder.c_str(), count), 1);
        EXPECT_TRUE(UnzipTests(joined)) << joined;
        EXPECT_TRUE(PyTests(joined)) << joined;
        EXPECT_EQ(PyList(joined).size(), 3u);
    }
}

TEST(SpanNamesTest, DiskNameWithAndWithoutTrailingSeparator) {
    CZipSpan span;
    EXPECT_EQ(span.DiskName("C:\\out", "a.zip", 2), span.DiskName("C:\\out\\", "a.zip", 2));
    EXPECT_EQ(span.DiskName("C:\\out", "a.zip", 2).str(), "C:\\out\\Disk2\\a.zip");
    EXPECT_EQ(span.DiskName("/tmp/out", "a.zip", 12).str(), "/tmp/out/Disk12/a.zip");
    EXPECT_EQ(span.DiskName("/tmp/out/", "a.zip", 1).str(), "/tmp/out/Disk1/a.zip");
}

class RecordingSpan : public CZipSpan {
public:
    using CZipSpan::CZipSpan;
    void ShowProgress(double progress, int phase) override { calls.push_back({progress, phase}); }
    int GetNextVolume(CFile& file, CString path) override {
        if (failOn == ++asked) return 0;
        return CZipSpan::GetNextVolume(file, path);
    }
    std::vector<std::pair<double, int>> calls;
    int failOn = 0, asked = 0;
};

TEST(SpanJoinTest, ProgressFailuresAndCounts) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "p.zip", "-0");
    std::string source = ReadFile(archive);
    uint32_t size = static_cast<uint32_t>(source.size() / 4 + 100);
    RecordingSpan span(archive.c_str());
    int count = span.DoSpan(size, (dir + "/v").c_str(), true);
    ASSERT_EQ(count, 4);
    ASSERT_FALSE(span.calls.empty());
    EXPECT_EQ(span.calls.back(), std::make_pair(100.0, 1));
    for (size_t i = 1; i < span.calls.size(); ++i)
        EXPECT_GE(span.calls[i].first, span.calls[i - 1].first);

    std::filesystem::create_directories(dir + "/j");
    RecordingSpan join((dir + "/j/p.zip").c_str());
    ASSERT_EQ(join.UnSpan((dir + "/v").c_str(), 4), 1);
    std::vector<std::pair<double, int>> expected = {
        {0.25, 0}, {0.5, 0}, {0.75, 0}, {1.0, 0}, {100.0, 0}};
    EXPECT_EQ(join.calls, expected);
    EXPECT_TRUE(ReadFile(dir + "/j/p.zip") == source);

    RecordingSpan none((dir + "/n/p.zip").c_str());
    EXPECT_EQ(none.UnSpan((dir + "/v").c_str(), 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/n/p.zip"));

    std::filesystem::create_directories(dir + "/b");
    RecordingSpan broken((dir + "/b/p.zip").c_str());
    broken.failOn = 2;
    EXPECT_EQ(broken.UnSpan((dir + "/v").c_str(), 4), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/b/p.zip"));

    // A plain archive joined as a set of one keeps its offsets.
    std::filesystem::create_directories(dir + "/one/Disk1");
    std::filesystem::copy_file(archive, dir + "/one/Disk1/one.zip");
    CZipSpan single((dir + "/one.zip").c_str());
    ASSERT_EQ(single.UnSpan((dir + "/one").c_str(), 1), 1);
    EXPECT_TRUE(ReadFile(dir + "/one.zip") == source);
}

TEST(SpanJoinTest, ArchiveWithoutEntriesSpansNothing) {
    std::string dir = ScratchDir();
    WriteFile(dir + "/empty.zip", std::string("PK\5\6", 4) + std::string(18, '\0'));
    EXPECT_EQ(Span(dir + "/empty.zip", dir + "/v", 1000), 0);
    WriteFile(dir + "/text.zip", "not an archive");
    EXPECT_EQ(Span(dir + "/text.zip", dir + "/v", 1000), 0);
    EXPECT_EQ(Span(dir + "/absent.zip", dir + "/v", 1000), 0);
}

}  // namespace
