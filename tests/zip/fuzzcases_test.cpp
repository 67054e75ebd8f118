// The inputs that made a span and its join disagree (fuzz/corpus/zipspan/regression-*): the
// span either fails with -2 and its reason, or writes a set that joins.
#include <gtest/gtest.h>

#include <filesystem>

#include "ZipTestSupport.h"

using namespace ziptest;
namespace fs = std::filesystem;

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
            fs::create_directories(dir + "/j-" + name);
            CZipSpan join((dir + "/j-" + name + "/" + name + ".zip").c_str());
            EXPECT_EQ(join.UnSpan((dir + "/v-" + name).c_str(), count), 1)
                << join.GetFailureReason().c_str();
            continue;
        }
        EXPECT_EQ(count, -2);
        EXPECT_NE(span.GetFailureReason().Find(reason), -1) << span.GetFailureReason().c_str();
    }
}
