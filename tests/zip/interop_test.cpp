// Volume sets exchanged with Info-ZIP: its split archives join with UnSpan, and our sets,
// renamed to its split names, join with zip -s 0.
#include <gtest/gtest.h>

#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;
namespace fs = std::filesystem;

namespace {

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
