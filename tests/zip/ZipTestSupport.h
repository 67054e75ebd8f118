// Archives made by the real tools, their listings by Python's zipfile, and checks of volume
// sets, shared by the archive tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ShellTools.h"
#include "KstZipInfo.h"
#include "KstZipSpan.h"

namespace ziptest {

using namespace ksttest;

inline std::string TextBytes(size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "line " + std::to_string(line) + " of a compressible sample text\n";
    text.resize(size);
    return text;
}

// A folder of sample files: text, random bytes (incompressible), an empty file, a subfolder.
inline std::string MakeTree(const std::string& dir, size_t scale = 1) {
    std::string tree = dir + "/tree";
    std::filesystem::create_directories(tree + "/sub");
    WriteFile(tree + "/text.txt", TextBytes(60000 * scale));
    WriteFile(tree + "/random.bin", RandomBytes(50000 * scale, 7));
    WriteFile(tree + "/empty.dat", "");
    WriteFile(tree + "/sub/nested.txt", TextBytes(3000));
    WriteFile(tree + "/sub/noise.bin", RandomBytes(20000 * scale, 11));
    return tree;
}

// Info-ZIP archive of the tree; options such as "-0" (stored) or "-9".
inline std::string InfoZip(const std::string& dir, const std::string& name,
                           const std::string& options) {
    std::string tree = MakeTree(dir), archive = dir + "/" + name;
    Sh("cd " + Quote(tree) + " && zip -q -X -r " + options + " " + Quote(archive) + " .");
    return archive;
}

// Runs a script after the modules every script here takes, and Pipe: an unseekable file, on
// which zipfile writes data descriptors.
inline std::string Python(const std::string& script, const std::vector<std::string>& args = {}) {
    std::string command = "python3 -c " + Quote(R"(
import sys, io, os, struct, random, warnings, zipfile
warnings.simplefilter("ignore")
class Pipe(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
)" + script);
    for (const auto& a : args) command += " " + Quote(a);
    return Sh(command);
}

struct PyEntry {
    std::string name;  // UTF-8 as zipfile decodes it
    uint32_t compressed = 0, size = 0, crc = 0;
    unsigned method = 0, flags = 0;
    std::string stamp;  // YYYY-MM-DD hh:mm:ss
};

// Every central directory entry as zipfile reads it (repeated names included).
inline std::vector<PyEntry> PyList(const std::string& archive) {
    std::istringstream lines(Python(R"(
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    print(i.filename.encode().hex(), i.compress_size, i.file_size, i.CRC, i.compress_type,
          i.flag_bits, "%04d-%02d-%02d %02d:%02d:%02d" % i.date_time)
)",
                                    {archive}));
    std::vector<PyEntry> entries;
    std::string hexName, date, time;
    PyEntry e;
    while (lines >> hexName >> e.compressed >> e.size >> e.crc >> e.method >> e.flags >> date >>
           time) {
        e.name.clear();
        for (size_t i = 0; i + 1 < hexName.size(); i += 2)
            e.name += static_cast<char>(std::stoi(hexName.substr(i, 2), nullptr, 16));
        e.stamp = date + " " + time;
        entries.push_back(e);
    }
    return entries;
}

inline bool UnzipTests(const std::string& archive) {
    std::string out;
    return RunCommand("unzip -tqq " + Quote(archive) + " 2>&1", &out) == 0;
}

// One Python start for many archives: zipfile.testzip() passes on every one.
inline void ExpectPythonTests(const std::vector<std::string>& archives) {
    std::string out = Python(R"(
print("bad:", [a for a in sys.argv[1:] if zipfile.ZipFile(a).testzip() is not None])
)",
                             archives);
    EXPECT_NE(out.find("bad: []"), std::string::npos) << out;
}

inline std::string VolumePath(const std::string& folder, const std::string& name, int n) {
    return folder + "/Disk" + std::to_string(n) + "/" + name;
}

inline uint32_t Le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}
inline uint16_t Le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 (static_cast<unsigned char>(s[at + 1]) << 8));
}

// Checks a volume set against the rules of its format: every central header names the volume
// and offset of its local header, the end record names the volume and offset of the first
// central header and counts the headers that begin on its own volume.
inline void ExpectConsistentSet(const std::vector<std::string>& volumes) {
    SCOPED_TRACE("volume set check");
    std::string all;
    std::vector<size_t> starts;
    for (const auto& v : volumes) starts.push_back(all.size()), all += v;
    auto volumeAt = [&](size_t pos) {
        size_t n = 0;
        while (n + 1 < starts.size() && starts[n + 1] <= pos) ++n;
        return n;
    };
    size_t end = all.rfind(std::string("PK\5\6", 4));
    ASSERT_NE(end, std::string::npos);
    // An empty volume after the end record is allowed: the writer opens it when a block fills
    // a volume exactly.
    size_t endVolume = volumeAt(end);
    EXPECT_EQ(Le16(all, end + 4), endVolume);
    unsigned dirDisk = Le16(all, end + 6), onEndVolume = 0, total = 0;
    ASSERT_LT(dirDisk, volumes.size());
    for (size_t pos = starts[dirDisk] + Le32(all, end + 16);
         pos + 46 <= all.size() && Le32(all, pos) == 0x02014b50;
         pos += 46 + Le16(all, pos + 28) + Le16(all, pos + 30) + Le16(all, pos + 32), ++total) {
        unsigned disk = Le16(all, pos + 34);
        uint32_t offset = Le32(all, pos + 42);
        std::string name = all.substr(pos + 46, Le16(all, pos + 28));
        ASSERT_LT(disk, volumes.size());
        const std::string& v = volumes[disk];
        ASSERT_LE(offset + 30 + name.size(), v.size()) << name;
        EXPECT_EQ(Le32(v, offset), 0x04034b50u) << name;
        EXPECT_EQ(v.substr(offset + 30, name.size()), name);
        onEndVolume += volumeAt(pos) == endVolume;
    }
    EXPECT_GT(total, 0u);
    EXPECT_EQ(Le16(all, end + 8), onEndVolume);
}

// Spans with the default operations; answers the result.
inline int Span(const std::string& archive, const std::string& folder, uint32_t size) {
    return CZipSpan(archive.c_str()).DoSpan(size, folder.c_str(), true);
}

// Joins count volumes of folder into archive (its folder made first); answers the result.
inline int Join(const std::string& archive, const std::string& folder, int count) {
    std::filesystem::create_directories(std::filesystem::path(archive).parent_path());
    CZipSpan join(archive.c_str());
    int result = join.UnSpan(folder.c_str(), count);
    EXPECT_TRUE(result == 1 || !join.GetFailureReason().IsEmpty());
    return result;
}

inline std::vector<std::string> ReadVolumes(const std::string& folder, const std::string& name,
                                            int count) {
    std::vector<std::string> volumes;
    for (int n = 1; n <= count; ++n) volumes.push_back(ReadFile(VolumePath(folder, name, n)));
    return volumes;
}

// Info-ZIP's names of the parts of a split archive of count parts.
inline std::string SplitName(int n, int count) {
    if (n == count) return "set.zip";
    char name[16];
    std::snprintf(name, sizeof name, "set.z%02d", n);
    return name;
}

}  // namespace ziptest
