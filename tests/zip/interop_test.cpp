// Volume sets exchanged with Info-ZIP: its split archives join with UnSpan, and our sets,
// renamed to its split names, join with zip -s 0.
#include <gtest/gtest.h>

#include "ZipTestSupport.h"

using namespace ziptest;
using ksttest::ScratchDir;

namespace {

std::string SplitName(int n, int count) {
    if (n == count) return "set.zip";
    char name[16];
    std::snprintf(name, sizeof name, "set.z%02d", n);
    return name;
}

TEST(InteropTest, InfoZipSplitArchiveJoinsWithUnSpan) {
    std::string dir = ScratchDir();
    std::string tree = MakeTree(dir, 4);
    for (const char* options : {"-0", "-6"}) {
        SCOPED_TRACE(options);
        std::string split = dir + "/split" + options;
        std::filesystem::create_directories(split);
        Sh("cd " + Quote(tree) + " && zip -q -X -r " + options + " -s 64k " +
           Quote(split + "/set.zip") + " .");
        int count = 0;
        while (std::filesystem::exists(split + "/" + SplitName(count + 1, 1000))) ++count;
        ++count;  // the last part is set.zip
        ASSERT_GE(count, 3);
        std::string folder = split + "/volumes";
        for (int n = 1; n <= count; ++n) {
            std::filesystem::create_directories(folder + "/Disk" + std::to_string(n));
            std::filesystem::copy_file(split + "/" + SplitName(n, count),
                                       VolumePath(folder, "set.zip", n));
        }
        std::filesystem::create_directories(split + "/joined");
        std::string joined = split + "/joined/set.zip";
        CZipSpan join(joined.c_str());
        ASSERT_EQ(join.UnSpan(folder.c_str(), count), 1);
        EXPECT_TRUE(UnzipTests(joined));
        // Info-ZIP's own join gives the same entries.
        Sh("cd " + Quote(split) + " && zip -q -s 0 set.zip --out whole.zip");
        auto ours = PyList(joined);
        auto theirs = PyList(split + "/whole.zip");
        ASSERT_EQ(ours.size(), theirs.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i].name, theirs[i].name);
            EXPECT_EQ(ours[i].crc, theirs[i].crc);
        }
    }
}

TEST(InteropTest, OurVolumeSetJoinsWithInfoZip) {
    std::string dir = ScratchDir();
    std::string archive = InfoZip(dir, "set.zip", "-6");
    uint32_t length = static_cast<uint32_t>(std::filesystem::file_size(archive));
    for (uint32_t size : {length / 5 + 101}) {
        SCOPED_TRACE(size);
        std::string folder = dir + "/v" + std::to_string(size);
        int count = Span(archive, folder, size);
        ASSERT_GE(count, 3);
        std::string parts = folder + "/parts";
        std::filesystem::create_directories(parts);
        for (int n = 1; n <= count; ++n)
            std::filesystem::copy_file(VolumePath(folder, "set.zip", n),
                                       parts + "/" + SplitName(n, count));
        Sh("cd " + Quote(parts) + " && zip -q -s 0 set.zip --out whole.zip");
        EXPECT_TRUE(UnzipTests(parts + "/whole.zip"));
        EXPECT_EQ(PyList(parts + "/whole.zip").size(), PyList(archive).size());
    }
}

}  // namespace
