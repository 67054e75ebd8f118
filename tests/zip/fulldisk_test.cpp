// Volumes and joined archives on a disk that fills up (the layer's faults for tests): the span
// answers a failure and leaves the volumes it finished intact; the join removes its partial
// archive and leaves the volumes as they were.
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
        count = Span(archive, dir + "/good", size);
        ASSERT_EQ(count, 4);
        good = ReadVolumes(dir + "/good", "f.zip", count);
        // A full disk asks the user; nobody answers but Cancel.
        kst::SetMessageBoxHandler(
            [](const std::string&, const std::string&, unsigned) { return IDCANCEL; });
    }
    void TearDown() override {
        kst::detail::ClearFaults();
        kst::SetMessageBoxHandler({});
    }

    std::string dir, archive, source;
    uint32_t size = 0;
    int count = 0;
    std::vector<std::string> good;
};

TEST_F(FullDisk, SpanFailsAndKeepsTheFinishedVolumes) {
    // Room for two volumes and half of the third.
    kst::detail::FaultPlan plan;
    plan.pathPart = "/full/";
    plan.writeLimit = static_cast<long long>(good[0].size() + good[1].size() + good[2].size() / 2);
    kst::detail::SetFaults(plan);
    CZipSpan span(archive.c_str());
    int result = span.DoSpan(size, (dir + "/full").c_str(), true);
    kst::detail::ClearFaults();
    EXPECT_TRUE(result == -1 || result == -2) << result;
    EXPECT_FALSE(span.GetFailureReason().IsEmpty());
    EXPECT_GE(span.GetFailureVolume(), 3);
    EXPECT_TRUE(ReadFile(VolumePath(dir + "/full", "f.zip", 1)) == good[0]);
    EXPECT_TRUE(ReadFile(VolumePath(dir + "/full", "f.zip", 2)) == good[1]);
    EXPECT_FALSE(fs::exists(VolumePath(dir + "/full", "f.zip", 4)));
    EXPECT_TRUE(ReadFile(archive) == source);
}

TEST_F(FullDisk, SpanWithShortWritesIsTheSame) {
    kst::detail::FaultPlan plan;
    plan.pathPart = "/short/";
    plan.shortWrites = 7;
    kst::detail::SetFaults(plan);
    EXPECT_EQ(Span(archive, dir + "/short", size), count);
    kst::detail::ClearFaults();
    EXPECT_TRUE(ReadVolumes(dir + "/short", "f.zip", count) == good);
}

// A write that fails on the joined archive, or a read that fails on a volume.
TEST_F(FullDisk, FailedJoinRemovesItsPartialArchiveAndKeepsTheVolumes) {
    fs::create_directories(dir + "/target");
    std::string joined = dir + "/target/f.zip";
    kst::detail::FaultPlan writes, reads;
    writes.pathPart = "/target/";
    writes.writeLimit = static_cast<long long>(source.size() / 2);
    reads.pathPart = "/good/Disk2/";
    reads.readFailAt = 100;
    for (const auto& plan : {writes, reads}) {
        SCOPED_TRACE(plan.pathPart);
        kst::detail::SetFaults(plan);
        CZipSpan join(joined.c_str());
        EXPECT_EQ(join.UnSpan((dir + "/good").c_str(), count), 0);
        kst::detail::ClearFaults();
        EXPECT_FALSE(join.GetFailureReason().IsEmpty());
        EXPECT_FALSE(fs::exists(joined));
        EXPECT_TRUE(ReadVolumes(dir + "/good", "f.zip", count) == good);
    }
}

TEST_F(FullDisk, JoinWithShortWritesIsTheSource) {
    fs::create_directories(dir + "/target");
    std::string joined = dir + "/target/f.zip";
    kst::detail::FaultPlan plan;
    plan.shortWrites = 3;
    kst::detail::SetFaults(plan);
    CZipSpan join(joined.c_str());
    int result = join.UnSpan((dir + "/good").c_str(), count);
    kst::detail::ClearFaults();
    EXPECT_EQ(result, 1) << join.GetFailureReason().c_str();
    EXPECT_TRUE(ReadFile(joined) == source);
}

}  // namespace
