// The kst commands zip-info, zip-span and zip-join, as a user runs them.
#include <gtest/gtest.h>

#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;
using ksttest::ToolPath;

namespace {

TEST(ZipToolTest, SpanListAndJoin) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "t.zip", "-0");
    std::string kst = Quote(ToolPath());
    std::string listing = Sh(kst + " zip-info " + Quote(archive));
    EXPECT_NE(listing.find("entries: 6"), std::string::npos) << listing;
    EXPECT_NE(listing.find("sub/noise.bin"), std::string::npos);

    std::string count =
        Sh(kst + " zip-span " + Quote(archive) + " " + Quote(dir + "/v") + " --size 50000");
    ASSERT_EQ(count, "3\n");
    std::string first;
    EXPECT_EQ(RunCommand(kst + " zip-info " + Quote(VolumePath(dir + "/v", "t.zip", 1)) + " 2>&1",
                         &first),
              1);
    EXPECT_NE(first.find("first volume of a set: yes"), std::string::npos) << first;
    EXPECT_NE(first.find("not the last volume"), std::string::npos);

    std::filesystem::create_directories(dir + "/j");
    Sh(kst + " zip-join " + Quote(dir + "/v") + " 3 " + Quote(dir + "/j/t.zip"));
    EXPECT_TRUE(ReadFile(dir + "/j/t.zip") == ReadFile(archive));

    std::string out;
    EXPECT_EQ(RunCommand(kst + " span " + Quote(archive) + " " + Quote(dir + "/w") + " 2>&1", &out),
              2);
    EXPECT_EQ(RunCommand(
                  kst + " join " + Quote(dir + "/none") + " 2 " + Quote(dir + "/j/t.zip") + " 2>&1",
                  &out),
              1);
}

// Abort answered on the terminal ends the span with its failure code.
TEST(ZipToolTest, QuestionsAreAskedOnTheTerminal) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "t.zip", "-0");
    std::filesystem::create_directories(VolumePath(dir + "/v", "t.zip", 2));  // blocks the copy
    std::string out;
    int code = RunCommand("printf 'n\\n' | " + Quote(ToolPath()) + " span " + Quote(archive) + " " +
                              Quote(dir + "/v") + " --size 50000 --image " + Quote(dir + "/img") +
                              " --removable 2>&1",
                          &out);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("[y]es/[n]o"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(VolumePath(dir + "/img", "t.zip", 2)));
}

}  // namespace
