// Volumes and joined archives on a disk that fills up (the layer's faults for tests): the span
// answers a failure and leaves the volumes it finished intact; the join removes its partial
// archive and leaves the volumes as they were. Short writes and short reads change nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "KstPlatform.h"
#include "KstWin32.h"
#include "ZipTestSupport.h"
#include "platform/system/internal/Faults.h"

using namespace ziptest;
namespace fs = std::filesystem;

namespace {

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ksttest::ScratchDir();
        archive = InfoZip(dir, "f.zip", "-0");
        source = ReadFile(archive);
        size = static_cast<uint32_t>(source.size() / 4 + 100);  // four volumes
        ASSERT_EQ(Span(archive, dir + "/good", size), 4);
        good = ReadVolumes(dir + "/good", "f.zip", 4);
        fs::create_directories(dir + "/target");
        // A full disk asks the user; nobody answers but Cancel.
        kst::SetMessageBoxHandler(
            [](const std::string&, const std::string&, unsigned) { return IDCANCEL; });
    }
    void TearDown() override {
        kst::detail::ClearFaults();
        kst::SetMessageBoxHandler({});
    }
    kst::detail::FaultPlan Plan(const char* pathPart, long long writeLimit,
                                size_t shortWrites = 0) {
        kst::detail::FaultPlan plan;
        plan.pathPart = pathPart;
        plan.writeLimit = writeLimit;
        plan.shortWrites = shortWrites;
        return plan;
    }

    std::string dir, archive, source;
    uint32_t size = 0;
    std::vector<std::string> good;
};

TEST_F(FullDisk, SpanFailsAndKeepsTheFinishedVolumes) {
    // Room for two volumes and half of the third.
    kst::detail::SetFaults(Plan(
        "/full/", static_cast<long long>(good[0].size() + good[1].size() + good[2].size() / 2)));
    CZipSpan span(archive.c_str());
    int result = span.DoSpan(size, (dir + "/full").c_str(), true);
    kst::detail::ClearFaults();
    EXPECT_TRUE(result == -1 || result == -2) << result;
    EXPECT_FALSE(span.GetFailureReason().IsEmpty());
    EXPECT_GE(span.GetFailureVolume(), 3);
    EXPECT_TRUE(ReadVolumes(dir + "/full", "f.zip", 2) ==
                std::vector<std::string>(good.begin(), good.begin() + 2));
    EXPECT_FALSE(fs::exists(VolumePath(dir + "/full", "f.zip", 4)));
    EXPECT_TRUE(ReadFile(archive) == source);

    kst::detail::SetFaults(Plan("/short/", -1, 7));
    EXPECT_EQ(Span(archive, dir + "/short", size), 4);
    kst::detail::ClearFaults();
    EXPECT_TRUE(ReadVolumes(dir + "/short", "f.zip", 4) == good);
}

// A write that fails on the joined archive, or a read that fails on a volume.
TEST_F(FullDisk, FailedJoinRemovesItsPartialArchiveAndKeepsTheVolumes) {
    std::string joined = dir + "/target/f.zip";
    kst::detail::FaultPlan reads = Plan("/good/Disk2/", -1);
    reads.readFailAt = 100;
    for (const auto& plan : {Plan("/target/", static_cast<long long>(source.size() / 2)), reads}) {
        SCOPED_TRACE(plan.pathPart);
        kst::detail::SetFaults(plan);
        EXPECT_EQ(Join(joined, dir + "/good", 4), 0);
        kst::detail::ClearFaults();
        EXPECT_FALSE(fs::exists(joined));
        EXPECT_TRUE(ReadVolumes(dir + "/good", "f.zip", 4) == good);
    }
    kst::detail::SetFaults(Plan("", -1, 3));
    int result = Join(joined, dir + "/good", 4);
    kst::detail::ClearFaults();
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(ReadFile(joined) == source);
}

// Short reads, as a network or FUSE file system gives them: spans and joins come out the same.
TEST_F(FullDisk, ShortReadsChangeNothing) {
    kst::detail::FaultPlan plan;
    plan.shortReads = 3;
    kst::detail::SetFaults(plan);
    int spanned = Span(archive, dir + "/short", size);
    CZipSpan join((dir + "/target/f.zip").c_str());
    int joined = join.UnSpan((dir + "/good").c_str(), 4);
    kst::detail::ClearFaults();
    EXPECT_EQ(spanned, 4);
    EXPECT_TRUE(ReadVolumes(dir + "/short", "f.zip", 4) == good);
    EXPECT_EQ(joined, 1) << join.GetFailureReason().c_str();
    EXPECT_TRUE(ReadFile(dir + "/target/f.zip") == source);
}

}  // namespace
