// Short reads, as a network or FUSE file system gives them: spans and joins come out the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "KstWin32.h"
#include "ZipTestSupport.h"
#include "platform/system/internal/Faults.h"

using namespace ziptest;

namespace {

TEST(ShortReads, SpanAndJoinAreTheSame) {
    std::string dir = ksttest::ScratchDir();
    std::string archive = InfoZip(dir, "f.zip", "-0");
    std::string source = ReadFile(archive);
    auto size = static_cast<uint32_t>(source.size() / 4 + 100);
    int count = Span(archive, dir + "/good", size);
    auto good = ReadVolumes(dir + "/good", "f.zip", count);
    kst::detail::FaultPlan plan;
    plan.shortReads = 3;
    kst::detail::SetFaults(plan);
    int spanned = Span(archive, dir + "/short", size);
    std::filesystem::create_directories(dir + "/target");
    CZipSpan join((dir + "/target/f.zip").c_str());
    int joined = join.UnSpan((dir + "/good").c_str(), count);
    kst::detail::ClearFaults();
    EXPECT_EQ(spanned, count);
    EXPECT_TRUE(ReadVolumes(dir + "/short", "f.zip", count) == good);
    EXPECT_EQ(joined, 1) << join.GetFailureReason().c_str();
    EXPECT_TRUE(ReadFile(dir + "/target/f.zip") == source);
}

}  // namespace
