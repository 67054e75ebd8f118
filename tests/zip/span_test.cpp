// DoSpan and UnSpan round trips over real archives: volume sizes, the layout's edge cases,
// data descriptors as real tools write them, repeated names and damaged directories.
#include <gtest/gtest.h>

#include <algorithm>

#include "KstPlatform.h"
#include "ZipTestSupport.h"

using namespace ziptest;

namespace {

struct Layout {
    std::vector<size_t> locals, centrals;  // header positions
    size_t end = 0;
    size_t largestBlock = 0;  // the largest block that is never cut
};

Layout LayoutOf(const std::string& bytes) {
    Layout l;
    l.end = bytes.rfind(std::string("PK\5\6", 4));
    l.largestBlock = bytes.size() - l.end;
    for (size_t pos = Le32(bytes, l.end + 16);
         pos + 46 <= bytes.size() && Le32(bytes, pos) == 0x02014b50;) {
        size_t local = Le32(bytes, pos + 42);
        l.centrals.push_back(pos);
        l.locals.push_back(local);
        size_t length = 46 + Le16(bytes, pos + 28) + Le16(bytes, pos + 30) + Le16(bytes, pos + 32);
        l.largestBlock = std::max({l.largestBlock, length,
                                   size_t(30 + Le16(bytes, local + 26) + Le16(bytes, local + 28))});
        pos += length;
    }
    return l;
}

// The joined archive keeps the name: it names the volumes.
std::string JoinedPath(const std::string& dir, uint32_t size, const std::string& name) {
    return dir + "/joined-" + std::to_string(size) + "/" + name;
}

// Spans at size, checks every volume's bound and the set, joins it and compares with the
// source; answers the volumes.
std::vector<std::string> RoundTrip(const std::string& archive, const std::string& dir,
                                   uint32_t size) {
    SCOPED_TRACE("volume size " + std::to_string(size));
    std::string name = std::filesystem::path(archive).filename();
    std::string folder = dir + "/v" + std::to_string(size), source = ReadFile(archive);
    std::filesystem::create_directories(dir);
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
        for (int n = 1; n <= count; ++n) {
            EXPECT_TRUE(n == count || volumes[n - 1].size() <= size) << "volume " << n;
            EXPECT_TRUE(std::filesystem::exists(VolumePath(folder, "disk" + std::to_string(n), n)));
        }
        ExpectConsistentSet(volumes);
    }
    std::string joined = JoinedPath(dir, size, name);
    EXPECT_EQ(Join(joined, folder, count), 1);
    EXPECT_TRUE(ReadFile(joined) == source) << "joined archive differs";
    return volumes;
}

// A small archive: the smallest volume sizes are a few header lengths, so a large one would
// make thousands of volumes. The text is most of it, so that its middle lies in entry data.
std::string SmallArchive(const std::string& dir, const std::string& options) {
    std::string tree = dir + "/small", archive = dir + "/e.zip";
    std::filesystem::create_directories(tree + "/sub");
    WriteFile(tree + "/text.txt", TextBytes(6000));
    WriteFile(tree + "/random.bin", RandomBytes(500, 7));
    WriteFile(tree + "/empty.dat", "");
    WriteFile(tree + "/sub/nested.txt", TextBytes(200));
    Sh("cd " + Quote(tree) + " && zip -q -X -r " + options + " " + Quote(archive) + " .");
    return archive;
}

TEST(SpanTest, RoundTripsAtManyVolumeSizes) {
    std::string dir = ScratchDir();
    for (const char* options : {"-0", "-9"}) {
        std::string sub = dir + "/" + options;
        std::filesystem::create_directories(sub);
        std::string archive = SmallArchive(sub, options);
        uint32_t length = static_cast<uint32_t>(ReadFile(archive).size());
        uint32_t smallest = static_cast<uint32_t>(LayoutOf(ReadFile(archive)).largestBlock + 1);
        // Densest at both ends; the edge test takes the layout's own boundaries.
        std::vector<uint32_t> sizes = {smallest, smallest + 1, length - 7, length - 1, length};
        for (int step = 1; step < 6; ++step)
            sizes.push_back(smallest + (length - smallest) * step / 6);
        for (uint32_t size : sizes) RoundTrip(archive, sub, size);
        ExpectPythonTests({JoinedPath(sub, sizes[0], "e.zip"), JoinedPath(sub, sizes[4], "e.zip"),
                           JoinedPath(sub, sizes.back(), "e.zip")});
    }
}

// Volume sizes at the layout's boundaries: a local header that does not fit starts the next
// volume; one that fills a volume exactly is recorded where it begins (so is a central
// header); a directory that starts a volume is named by the end record; an end record that
// does not fit stands alone; one that fills the last volume leaves an empty third volume.
TEST(SpanTest, VolumeSizesAtTheLayoutsBoundaries) {
    std::string dir = ScratchDir(), archive = SmallArchive(dir, "-0"), bytes = ReadFile(archive);
    if ((bytes.size() + 4) % 2) {  // one more comment byte makes marker and archive halve evenly
        Layout l = LayoutOf(bytes);
        bytes += 'x';
        bytes[l.end + 20] = static_cast<char>(Le16(bytes, l.end + 20) + 1);
        WriteFile(archive, bytes);
    }
    Layout l = LayoutOf(bytes);
    ASSERT_GE(l.locals.size(), 3u);
    size_t second = l.locals[1], first = l.centrals[0], none = 0;
    auto size = [](size_t s) { return static_cast<uint32_t>(s); };
    const struct {
        uint32_t size;
        size_t count, firstVolume, secondVolume;  // 0: any
        uint32_t secondStarts;                    // signature; 0: any
    } cases[] = {
        {size(4 + second + 10), 0, 4 + second, none, 0x04034b50},
        {size(4 + second + 30 + Le16(bytes, second + 26) + Le16(bytes, second + 28)), 0,
         4 + second + 30 + Le16(bytes, second + 26) + Le16(bytes, second + 28), none, 0},
        {size(4 + first + 46 + Le16(bytes, first + 28) + Le16(bytes, first + 30) +
              Le16(bytes, first + 32)),
         0, none, none, 0},
        {size(4 + first), 0, none, none, 0x02014b50},
        {size(4 + first + 5), 0, none, none, 0x02014b50},
        {size(4 + l.end), 2, none, bytes.size() - l.end, 0},
        {size(4 + l.end + 10), 2, none, bytes.size() - l.end, 0},
        {size((bytes.size() + 4) / 2), 3, (bytes.size() + 4) / 2, (bytes.size() + 4) / 2, 0},
    };
    for (const auto& c : cases) {
        auto volumes = RoundTrip(archive, dir, c.size);
        ASSERT_GE(volumes.size(), 2u);
        EXPECT_TRUE(!c.count || volumes.size() == c.count) << volumes.size();
        EXPECT_TRUE(!c.firstVolume || volumes[0].size() == c.firstVolume) << c.size;
        EXPECT_TRUE(!c.secondVolume || volumes[1].size() == c.secondVolume) << c.size;
        EXPECT_TRUE(!c.secondStarts || Le32(volumes[1], 0) == c.secondStarts) << c.size;
        EXPECT_TRUE(c.count != 3 || volumes[2].empty());
    }
}

TEST(SpanTest, StreamsOfInfoZipAndPythonAndNestedArchives) {
    std::string dir = ScratchDir(), tree = MakeTree(dir);
    std::string zipStream = dir + "/zipstream.zip", pyStream = dir + "/pystream.zip";
    Sh("cd " + Quote(tree) + " && zip -q -X -fz- -r - . | cat > " + Quote(zipStream));
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
    ASSERT_EQ(Le32(ReadFile(pyStream), 18), 0u) << "zipfile wrote sizes into the local header";
    // An archive stored inside an archive: local header signatures inside entry data.
    std::string nested = dir + "/nested.zip", nestedStream = dir + "/nestedstream.zip";
    Sh("cp " + Quote(zipStream) + " " + Quote(tree + "/inner.zip") + " && cd " + Quote(tree) +
       " && zip -q -X -0 " + Quote(nested) + " inner.zip text.txt && zip -q -X -0 -fz- - " +
       "inner.zip random.bin | cat > " + Quote(nestedStream));
    std::vector<std::string> joined;
    for (const std::string& archive : {zipStream, pyStream, nested, nestedStream}) {
        SCOPED_TRACE(archive);
        std::string sub = archive + ".d";
        uint32_t length = static_cast<uint32_t>(std::filesystem::file_size(archive));
        for (uint32_t size : {600u, length / 3, length - 1}) {
            RoundTrip(archive, sub, size);
            joined.push_back(JoinedPath(sub, size, std::filesystem::path(archive).filename()));
        }
    }
    ExpectPythonTests(joined);
}

// Spans a damaged archive at size and joins it; the join passes the peers' tests.
std::vector<PyEntry> SpanJoinAndTest(const std::string& archive, uint32_t size) {
    std::string folder = archive + ".v";
    std::string joined = archive + ".j/" + std::filesystem::path(archive).filename().string();
    int count = Span(archive, folder, size);
    EXPECT_GE(count, 2);
    EXPECT_EQ(Join(joined, folder, count), 1);
    EXPECT_TRUE(UnzipTests(joined)) << joined;
    ExpectPythonTests({joined});
    return PyList(joined);
}

// Repeated names keep every entry. An entry whose central header is gone is bound by its own
// sizes (or the next local header), so the entries after it still span as entries. An archive
// behind a stub whose offsets were not moved: the first entry's stated offset is where the
// second one really starts, which must not lend the first entry the second's size.
TEST(SpanTest, DamagedDirectories) {
    std::string dir = ScratchDir();
    Python(R"(
random.seed(5)
with zipfile.ZipFile(sys.argv[1] + "/dup.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("same.txt", "first " * 3000)
    z.writestr("other.txt", "o" * 5000)
    z.writestr("same.txt", "second version " * 2000)
for name, stream in (("missing.zip", False), ("missing-stream.zip", True)):
    buf = io.BytesIO()
    with zipfile.ZipFile(Pipe(buf) if stream else buf, "w", zipfile.ZIP_DEFLATED) as z:
        for entry in ("a.bin", "b.bin", "c.bin"):
            with z.open(entry, "w") as f: f.write(random.randbytes(6000))
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
    open(sys.argv[1] + "/" + name, "wb").write(bytes(data[:start]) + kept + bytes(tail))
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
    z.writestr("a.txt", b"A" * 1000)
    z.writestr("b.txt", random.randbytes(3000))
    z.writestr("c.txt", b"C" * 500)
second = zipfile.ZipFile(io.BytesIO(buf.getvalue())).infolist()[1].header_offset
open(sys.argv[1] + "/stub.zip", "wb").write(b"\0" * second + buf.getvalue())
)",
           {dir});
    for (uint32_t size : {300u, 1000u, 2000u}) RoundTrip(dir + "/dup.zip", dir, size);
    EXPECT_EQ(PyList(JoinedPath(dir, 300, "dup.zip")).size(), 3u);
    for (const char* name : {"/missing.zip", "/missing-stream.zip"}) {
        auto entries = SpanJoinAndTest(dir + name, 1000);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[1].name, "c.bin");
    }
    EXPECT_EQ(SpanJoinAndTest(dir + "/stub.zip", 2000).size(), 3u);
}

TEST(SpanTest, DiskNameWithAndWithoutTrailingSeparator) {
    CZipSpan span;
    EXPECT_EQ(span.DiskName("C:\\out", "a.zip", 2).str(), "C:\\out\\Disk2\\a.zip");
    EXPECT_EQ(span.DiskName("C:\\out\\", "a.zip", 2).str(), "C:\\out\\Disk2\\a.zip");
    EXPECT_EQ(span.DiskName("/tmp/out", "a.zip", 12).str(), "/tmp/out/Disk12/a.zip");
    EXPECT_EQ(span.DiskName("/tmp/out/", "a.zip", 1).str(), "/tmp/out/Disk1/a.zip");
}

class RecordingSpan : public CZipSpan {
public:
    using CZipSpan::CZipSpan;
    void ShowProgress(double progress, int phase) override { calls.push_back({progress, phase}); }
    int GetNextVolume(CFile& file, CString path) override {
        return failOn == ++asked ? 0 : CZipSpan::GetNextVolume(file, path);
    }
    std::vector<std::pair<double, int>> calls;
    int failOn = 0, asked = 0;
};

TEST(SpanTest, ProgressFailuresAndCounts) {
    std::string dir = ScratchDir(), archive = InfoZip(dir, "p.zip", "-0");
    std::string source = ReadFile(archive);
    RecordingSpan span(archive.c_str());
    ASSERT_EQ(
        span.DoSpan(static_cast<uint32_t>(source.size() / 4 + 100), (dir + "/v").c_str(), true), 4);
    ASSERT_FALSE(span.calls.empty());
    EXPECT_EQ(span.calls.back(), std::make_pair(100.0, 1));
    for (size_t i = 1; i < span.calls.size(); ++i)
        EXPECT_GE(span.calls[i].first, span.calls[i - 1].first);

    std::filesystem::create_directories(dir + "/j");
    RecordingSpan join((dir + "/j/p.zip").c_str());
    ASSERT_EQ(join.UnSpan((dir + "/v").c_str(), 4), 1);
    EXPECT_EQ(join.calls, (std::vector<std::pair<double, int>>{
                              {0.25, 0}, {0.5, 0}, {0.75, 0}, {1.0, 0}, {100.0, 0}}));
    EXPECT_TRUE(ReadFile(dir + "/j/p.zip") == source);

    EXPECT_EQ(RecordingSpan((dir + "/n/p.zip").c_str()).UnSpan((dir + "/v").c_str(), 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/n/p.zip"));
    std::filesystem::create_directories(dir + "/b");
    RecordingSpan broken((dir + "/b/p.zip").c_str());
    broken.failOn = 2;
    EXPECT_EQ(broken.UnSpan((dir + "/v").c_str(), 4), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/b/p.zip"));

    // A plain archive joined as a set of one keeps its offsets.
    std::filesystem::create_directories(dir + "/one/Disk1");
    std::filesystem::copy_file(archive, dir + "/one/Disk1/one.zip");
    ASSERT_EQ(Join(dir + "/one.zip", dir + "/one", 1), 1);
    EXPECT_TRUE(ReadFile(dir + "/one.zip") == source);

    // An archive without entries, no archive and no file span nothing.
    WriteFile(dir + "/empty.zip", std::string("PK\5\6", 4) + std::string(18, '\0'));
    WriteFile(dir + "/text.zip", "not an archive");
    for (const char* name : {"/empty.zip", "/text.zip", "/absent.zip"})
        EXPECT_EQ(Span(dir + name, dir + "/w", 1000), 0) << name;
}

}  // namespace
