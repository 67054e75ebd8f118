// Joins that check what they build: a wrong count, a damaged or misplaced volume and an
// archive path that is a volume fail with a reason, leave no archive and no volume changed.
// Spans that fail say so: a reused object, and a join handed a volume it cannot read.
#include <gtest/gtest.h>

#include "KstPlatform.h"
#include "ZipTestSupport.h"

using namespace ziptest;

namespace {

const std::string kNotLast =
    " holds no end of central directory record: it is not the last volume of the set";

class JoinCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchDir();
        archive = InfoZip(dir, "set.zip", "-0");
        folder = dir + "/v";
        size = static_cast<uint32_t>(std::filesystem::file_size(archive) / 4 + 100);
        ASSERT_EQ(Span(archive, folder, size), 4);
        volumes = ReadVolumes(folder, "set.zip", 4);
    }
    std::string Volume(int n) const { return VolumePath(folder, "set.zip", n); }

    // The join fails with exactly this reason and volume, leaves nothing at the path (unless
    // the path is a volume) and every volume as the set has it after the case's own change.
    void ExpectFails(int count, const std::string& reason, int volume,
                     const std::string& path = "") {
        std::string target = path.empty() ? dir + "/out/set.zip" : path;
        auto before = ReadVolumes(folder, "set.zip", 4);
        CZipSpan join(target.c_str());
        EXPECT_EQ(join.UnSpan(folder.c_str(), count), 0);
        EXPECT_EQ(join.GetFailureReason().str(), reason);
        EXPECT_EQ(join.GetFailureVolume(), volume);
        EXPECT_TRUE(!path.empty() || !std::filesystem::exists(target));
        EXPECT_TRUE(ReadVolumes(folder, "set.zip", 4) == before) << "a volume changed";
    }

    std::string dir, archive, folder;
    uint32_t size = 0;
    std::vector<std::string> volumes;
};

// A count too small or too large; volume 2 cut, emptied or swapped with volume 3; the last
// volume cut inside its end record.
TEST_F(JoinCheckTest, WrongCountsAndDamagedVolumes) {
    std::filesystem::create_directories(dir + "/out");
    for (int count : {2, 3})
        ExpectFails(count, "volume " + std::to_string(count) + kNotLast, count);
    ExpectFails(
        5,
        "volume 5 (" + Volume(5) + ") cannot be opened: The system cannot find the path specified",
        5);
    CZipSpan join((dir + "/out/set.zip").c_str());
    EXPECT_EQ(join.UnSpan(folder.c_str(), 4), 1);
    EXPECT_EQ(join.GetFailureReason().str(), "");
    EXPECT_TRUE(ReadFile(dir + "/out/set.zip") == ReadFile(archive));
    std::filesystem::remove(dir + "/out/set.zip");

    const std::string misplaced =
        "the local header of sub/ is not where the central directory says (volume 2, offset "
        "26583)";
    const struct {
        std::vector<std::string> set;
        std::string reason;
        int volume;
    } cases[] = {
        {{volumes[0], volumes[1].substr(0, 1000), volumes[2], volumes[3]}, misplaced, 2},
        {{volumes[0], "", volumes[2], volumes[3]}, misplaced, 2},
        {{volumes[0], volumes[2], volumes[1], volumes[3]}, misplaced, 2},
        {{volumes[0], volumes[1], volumes[2], volumes[3].substr(0, volumes[3].size() - 5)},
         "the end of central directory record on volume 4 is cut short or followed by other "
         "bytes",
         4},
    };
    for (const auto& c : cases) {
        for (int n = 1; n <= 4; ++n) WriteFile(Volume(n), c.set[n - 1]);
        ExpectFails(4, c.reason, c.volume);
    }
}

// An override that hands back a volume open for writing only: the read fails inside the
// join, which answers 0 instead of letting the framework's exception out.
class WriteOnlyVolumes : public CZipSpan {
public:
    using CZipSpan::CZipSpan;
    int GetNextVolume(CFile& file, CString path) override {
        return file.Open(path, CFile::modeWrite | CFile::modeNoTruncate | CFile::shareDenyNone);
    }
};

// The archive path is a volume itself, a symbolic link to one or a hard link to one.
TEST_F(JoinCheckTest, ArchivePathThatIsAVolumeOrUnreadableVolume) {
    std::filesystem::create_directories(dir + "/link");
    std::filesystem::create_symlink(Volume(3), dir + "/link/set.zip");
    std::filesystem::create_directories(dir + "/hard");
    std::filesystem::create_hard_link(Volume(1), dir + "/hard/set.zip");
    const std::pair<std::string, int> cases[] = {
        {Volume(2), 2}, {dir + "/link/set.zip", 3}, {dir + "/hard/set.zip", 1}};
    for (const auto& [path, volume] : cases)
        ExpectFails(4, "the archive is volume " + std::to_string(volume) + " of the set", volume,
                    path);
    EXPECT_TRUE(ReadVolumes(folder, "set.zip", 4) == volumes);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link/set.zip"));

    // A volume that cannot be read.
    std::filesystem::create_directories(dir + "/out");
    WriteOnlyVolumes join((dir + "/out/set.zip").c_str());
    int result = -1;
    EXPECT_NO_THROW(result = join.UnSpan(folder.c_str(), 4));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(join.GetFailureVolume(), 1);
    EXPECT_FALSE(join.GetFailureReason().IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(dir + "/out/set.zip"));
    EXPECT_TRUE(ReadVolumes(folder, "set.zip", 4) == volumes);
}

// A second span on the same object whose archive cannot be opened answers 0, not the first
// span's count.
TEST_F(JoinCheckTest, ReusedSpanAndToolsSayWhy) {
    CZipSpan reused(archive.c_str());
    ASSERT_EQ(reused.DoSpan(size, (dir + "/first").c_str(), true), 4);
    CFile writer(archive.c_str(), CFile::modeReadWrite | CFile::shareDenyNone);
    EXPECT_EQ(reused.DoSpan(size, (dir + "/second").c_str(), true), 0);
    EXPECT_EQ(reused.GetFailureReason().str(),
              "the archive cannot be opened: The process cannot access the file because it is "
              "being used by another process");

    // The kst commands print the reason and its volume, and zip-info fails without end record.
    std::string kst = Quote(ksttest::ToolPath()), out;
    std::filesystem::create_directories(dir + "/out");
    EXPECT_EQ(
        RunCommand(kst + " join " + Quote(folder) + " 2 " + Quote(dir + "/out/set.zip") + " 2>&1",
                   &out),
        1);
    EXPECT_EQ(out, "kst: join failed (0): volume 2" + kNotLast + " [volume 2]\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/out/set.zip"));
    WriteFile(dir + "/text.txt", "not an archive\n");
    WriteFile(dir + "/empty.zip", "");
    WriteFile(dir + "/cut.zip", volumes[0].substr(4, 3000));
    for (const char* name : {"/text.txt", "/empty.zip", "/cut.zip"}) {
        EXPECT_EQ(RunCommand(kst + " zip-info " + Quote(dir + name) + " 2>&1 >/dev/null", &out), 1);
        EXPECT_EQ(out, "kst: " + dir + name +
                           " has no end of central directory record: not a ZIP archive, or not "
                           "the last volume of a set\n");
    }
}

}  // namespace
