// Truncated and corrupted archives: the reader, the span and the join give a result (an error
// value or what could be read) without a crash, a hang or an unbounded allocation.
#include <gtest/gtest.h>

#include <random>

#include "ZipTestSupport.h"

using namespace ziptest;

namespace {

std::string SmallArchive(const std::string& dir) {
    std::string archive = dir + "/small.zip";
    Python(R"(
with zipfile.ZipFile(Pipe(open(sys.argv[1], "wb")), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("a.txt", "alpha " * 200)
    with z.open("b/descriptor.bin", "w") as f: f.write(bytes(range(256)) * 3)
    z.writestr(zipfile.ZipInfo("stored.txt"), "stored text")
    z.comment = b"archive comment"
)",
           {archive});
    return archive;
}

// A join of a damaged set either succeeds or fails leaving no archive behind.
void ExpectJoinedOrNothing(const std::string& archive, const std::string& folder, int count) {
    EXPECT_TRUE(Join(archive, folder, count) == 1 || !std::filesystem::exists(archive));
}

// Everything the subsystem does with one damaged file; answers nothing, must not crash.
void Exercise(const std::string& path, const std::string& dir) {
    CZipInfo info;
    info.GetInfo(path.c_str());
    for (int i = 0; i < info.GetFilesCount(); ++i) (void)info.GetName(i), (void)info.GetDate(i);
    int count = Span(path, dir + "/set", 400);
    EXPECT_GE(count, -2);
    if (count >= 1) ExpectJoinedOrNothing(dir + "/joined/small.zip", dir + "/set", count);
    // The join's repair on the damaged file itself, as a set of one.
    std::filesystem::copy_file(path, VolumePath(dir + "/one", "small.zip", 1),
                               std::filesystem::copy_options::overwrite_existing);
    ExpectJoinedOrNothing(dir + "/single/small.zip", dir + "/one", 1);
}

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchDir();
        source = ReadFile(SmallArchive(dir));
        std::filesystem::create_directories(dir + "/one/Disk1");
        damaged = dir + "/one/small.zip";
    }
    std::string dir, source, damaged;
};

// Every truncation, and random bytes put into the headers.
TEST_F(BadInputTest, TruncationsAndFlipsInHeaders) {
    std::vector<std::string> inputs;
    for (size_t length = 0; length < source.size(); ++length)
        inputs.push_back(source.substr(0, length));
    std::vector<size_t> headerBytes;
    for (size_t at = source.find("PK"); at != std::string::npos; at = source.find("PK", at + 1))
        for (size_t k = 0; k < 46 && at + k < source.size(); ++k) headerBytes.push_back(at + k);
    std::mt19937 gen(1234);
    for (int round = 0; round < 600; ++round) {
        std::string bytes = source;
        for (int f = 1 + static_cast<int>(gen() % 4); f > 0; --f)
            bytes[headerBytes[gen() % headerBytes.size()]] =
                static_cast<char>(round % 3 == 0 ? 0xFF : gen());
        inputs.push_back(bytes);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        WriteFile(damaged, inputs[i]);
        Exercise(damaged, dir);
    }
}

TEST_F(BadInputTest, DamagedVolumesJoin) {
    std::string folder = dir + "/good";
    int count = Span(dir + "/small.zip", folder, 200);
    ASSERT_GE(count, 3);
    std::mt19937 gen(99);
    for (int round = 0; round < 200; ++round) {
        std::string path = VolumePath(folder, "small.zip", 1 + static_cast<int>(gen() % count));
        std::string bytes = ReadFile(path);
        if (round % 2)
            bytes.resize(gen() % (bytes.size() + 1));
        else if (!bytes.empty())
            bytes[gen() % bytes.size()] ^= static_cast<char>(1 + gen() % 255);
        WriteFile(path, bytes);
        ExpectJoinedOrNothing(dir + "/joined/small.zip", folder, count);
        CZipInfo().GetInfo((dir + "/joined/small.zip").c_str());
    }
}

// The inputs that made a span and its join disagree (fuzz/corpus/zipspan/regression-*): the
// span either fails with -2 and its reason, or writes a set that joins.
TEST(SpanFuzzCases, DamagedArchivesAreRefusedWithTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"regression-shifted-directory", "the central directory is not where the end record says"},
        {"regression-cut-end-record", nullptr},  // its counts come from what is written
        {"regression-data-past-next-entry", "runs past the next entry"},
        {"regression-cut-zip64-field", "cut short by the end of the archive"},
        {"regression-two-headers-one-entry", nullptr},  // the entry once in the set
        {"regression-header-cut-by-the-end", "cut short by the end of the archive"},
        {"regression-header-placed-by-name", "runs past the next entry"},
    };
    std::string dir = ksttest::ScratchDir();
    for (auto [name, reason] : cases) {
        SCOPED_TRACE(name);
        std::string input = ReadFile(std::string(KST_SOURCE_DIR) + "/fuzz/corpus/zipspan/" + name);
        ASSERT_GT(input.size(), 2u);
        uint32_t size = 64 + (uint8_t(input[0]) | uint8_t(input[1]) << 8);
        std::string archive = dir + "/" + name + ".zip";
        WriteFile(archive, input.substr(2));
        CZipSpan span(archive.c_str());
        int count = span.DoSpan(size, (dir + "/v-" + name).c_str(), true);
        if (!reason) {
            ASSERT_GE(count, 1) << span.GetFailureReason().c_str();
            std::filesystem::create_directories(dir + "/j-" + name);
            CZipSpan join((dir + "/j-" + name + "/" + name + ".zip").c_str());
            EXPECT_EQ(join.UnSpan((dir + "/v-" + name).c_str(), count), 1)
                << join.GetFailureReason().c_str();
            continue;
        }
        EXPECT_EQ(count, -2);
        EXPECT_NE(span.GetFailureReason().Find(reason), -1) << span.GetFailureReason().c_str();
    }
}

}  // namespace
