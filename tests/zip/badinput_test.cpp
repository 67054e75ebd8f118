// Truncated and corrupted archives: the reader, the span and the join give a result (an error
// value or what could be read) without a crash, a hang or an unbounded allocation.
#include <gtest/gtest.h>

#include <random>

#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

std::string SmallArchive(const std::string& dir) {
    std::string archive = dir + "/small.zip";
    Python(R"(
import sys, zipfile, io
class Pipe(io.RawIOBase):
    def __init__(self): self.f = open(sys.argv[1], "wb")
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with zipfile.ZipFile(Pipe(), "w", zipfile.ZIP_DEFLATED) as z:
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
    CZipSpan join(archive.c_str());
    if (join.UnSpan(folder.c_str(), count) == 0) {
        EXPECT_FALSE(std::filesystem::exists(archive));
        EXPECT_FALSE(join.GetFailureReason().IsEmpty());
    }
}

// Everything the subsystem does with one damaged file; answers nothing, must not crash.
void Exercise(const std::string& path, const std::string& dir) {
    CZipInfo info;
    info.GetInfo(path.c_str());
    for (int i = 0; i < info.GetFilesCount(); ++i) {
        (void)info.GetName(i);
        (void)info.GetDate(i);
    }
    std::string folder = dir + "/set";
    CZipSpan span(path.c_str());
    int count = span.DoSpan(400, folder.c_str(), true);
    EXPECT_GE(count, -2);
    if (count >= 1) ExpectJoinedOrNothing(dir + "/joined/small.zip", folder, count);
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
        for (const char* sub : {"/joined", "/single", "/one/Disk1"})
            std::filesystem::create_directories(dir + sub);
        damaged = dir + "/damaged/small.zip";
        std::filesystem::create_directories(dir + "/damaged");
    }
    std::string dir, source, damaged;
};

TEST_F(BadInputTest, EveryTruncation) {
    for (size_t length = 0; length < source.size(); ++length) {
        SCOPED_TRACE(length);
        WriteFile(damaged, source.substr(0, length));
        Exercise(damaged, dir);
    }
}

TEST_F(BadInputTest, RandomByteFlipsInHeaders) {
    std::vector<size_t> headerBytes;
    for (size_t at = source.find("PK"); at != std::string::npos; at = source.find("PK", at + 1))
        for (size_t k = 0; k < 46 && at + k < source.size(); ++k) headerBytes.push_back(at + k);
    ASSERT_FALSE(headerBytes.empty());
    std::mt19937 gen(1234);
    for (int round = 0; round < 600; ++round) {
        std::string bytes = source;
        int flips = 1 + static_cast<int>(gen() % 4);
        for (int f = 0; f < flips; ++f) {
            size_t at = headerBytes[gen() % headerBytes.size()];
            bytes[at] = static_cast<char>(round % 3 == 0 ? 0xFF : gen());
        }
        SCOPED_TRACE(round);
        WriteFile(damaged, bytes);
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
        CZipInfo info;
        info.GetInfo((dir + "/joined/small.zip").c_str());
    }
}

}  // namespace
