// The kst commands zip-info, zip-span and zip-join, as a user runs them; volume sets exchanged
// with Info-ZIP: its split archives join with UnSpan, and our sets, renamed to its split names,
// join with zip -s 0.
#include <gtest/gtest.h>

#include "ZipTestSupport.h"

using namespace ziptest;
namespace fs = std::filesystem;

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

TEST(InteropTest, InfoZipSplitArchiveJoinsWithUnSpan) {
    std::string dir = ScratchDir(), tree = MakeTree(dir, 4);
    for (const char* options : {"-0", "-6"}) {
        SCOPED_TRACE(options);
        std::string split = dir + "/split" + options, folder = split + "/volumes";
        fs::create_directories(split);
        Sh("cd " + Quote(tree) + " && zip -q -X -r " + options + " -s 64k " +
           Quote(split + "/set.zip") + " .");
        int count = 1;  // the last part is set.zip
        while (fs::exists(split + "/" + SplitName(count, 1000))) ++count;
        ASSERT_GE(count, 3);
        for (int n = 1; n <= count; ++n) {
            fs::create_directories(folder + "/Disk" + std::to_string(n));
            fs::copy_file(split + "/" + SplitName(n, count), VolumePath(folder, "set.zip", n));
        }
        ASSERT_EQ(Join(split + "/joined/set.zip", folder, count), 1);
        EXPECT_TRUE(UnzipTests(split + "/joined/set.zip"));
        // Info-ZIP's own join gives the same entries.
        Sh("cd " + Quote(split) + " && zip -q -s 0 set.zip --out whole.zip");
        std::string ours, theirs;
        for (const auto& e : PyList(split + "/joined/set.zip"))
            ours += e.name + " " + std::to_string(e.crc) + "\n";
        for (const auto& e : PyList(split + "/whole.zip"))
            theirs += e.name + " " + std::to_string(e.crc) + "\n";
        EXPECT_EQ(ours, theirs);
    }
}

TEST(InteropTest, OurVolumeSetJoinsWithInfoZip) {
    std::string dir = ScratchDir(), archive = InfoZip(dir, "set.zip", "-6");
    std::string folder = dir + "/v", parts = dir + "/parts";
    int count = Span(archive, folder, static_cast<uint32_t>(fs::file_size(archive) / 5 + 101));
    ASSERT_GE(count, 3);
    fs::create_directories(parts);
    for (int n = 1; n <= count; ++n)
        fs::copy_file(VolumePath(folder, "set.zip", n), parts + "/" + SplitName(n, count));
    Sh("cd " + Quote(parts) + " && zip -q -s 0 set.zip --out whole.zip");
    EXPECT_TRUE(UnzipTests(parts + "/whole.zip"));
    EXPECT_EQ(PyList(parts + "/whole.zip").size(), PyList(archive).size());
}

}  // namespace
