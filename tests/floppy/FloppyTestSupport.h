// Diskette images made by mkfs.fat and mtools in the test, mapped as drive A:, and what the
// tools say about them (file contents by mcopy, clusters by mshowfat); shared by the floppy
// tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "KstFloppyAccessLow.h"
#include "KstPlatform.h"
#include "ShellTools.h"
#include "TraceCapture.h"
#include "KstWin32.h"

namespace floppytest {

using ksttest::Quote;
using ksttest::RandomBytes;
using ksttest::ReadFile;
using ksttest::RunCommand;
using ksttest::Sh;
using ksttest::TraceCapture;
using ksttest::WriteFile;

// A FAT12 image of a standard diskette size in KB (1440: 512-byte clusters; 720: 1024-byte).
class Image {
public:
    Image(const std::string& dir, unsigned kilobytes = 1440)
        : m_dir(dir), m_path(dir + "/floppy.img") {
        Sh("mkfs.fat -F 12 -C " + Quote(m_path) + " " + std::to_string(kilobytes));
    }

    const std::string& path() const { return m_path; }

    void Put(const std::string& dosPath, const std::string& bytes) {
        std::string host = m_dir + "/put.tmp";
        WriteFile(host, bytes);
        Sh("mcopy -o -i " + Quote(m_path) + " " + Quote(host) + " " + Quote("::" + dosPath));
    }
    void Mkdir(const std::string& dosPath) {
        Sh("mmd -i " + Quote(m_path) + " " + Quote("::" + dosPath));
    }
    void Del(const std::string& dosPath) {
        Sh("mdel -i " + Quote(m_path) + " " + Quote("::" + dosPath));
    }
    // The file as mcopy extracts it.
    std::string Extract(const std::string& dosPath) const {
        std::string host = m_dir + "/extract.tmp";
        Sh("mcopy -o -n -i " + Quote(m_path) + " " + Quote("::" + dosPath) + " " + Quote(host));
        return ReadFile(host);
    }
    // The file's clusters in chain order, as mshowfat lists them.
    std::vector<unsigned> Clusters(const std::string& dosPath) const {
        std::string out = Sh("mshowfat -i " + Quote(m_path) + " " + Quote("::" + dosPath));
        std::vector<unsigned> clusters;
        std::regex run("<(\\d+)(?:-(\\d+))?>");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), run);
             it != std::sregex_iterator(); ++it) {
            unsigned first = std::stoul((*it)[1]);
            unsigned last = (*it)[2].matched ? std::stoul((*it)[2]) : first;
            for (unsigned c = first; c <= last; ++c) clusters.push_back(c);
        }
        return clusters;
    }
    // The file's sectors in chain order: what the copy's ordinals count.
    std::vector<unsigned> Sectors(const std::string& dosPath) const {
        std::string boot = ReadFile(m_path).substr(0, 512);
        auto word = [&](int at) {
            return unsigned(uint8_t(boot[at])) | uint8_t(boot[at + 1]) << 8;
        };
        unsigned bytesPerSector = word(11), perCluster = uint8_t(boot[13]);
        unsigned dataStart =
            word(14) + uint8_t(boot[16]) * word(22) + word(17) * 32 / bytesPerSector;
        std::vector<unsigned> sectors;
        for (unsigned c : Clusters(dosPath))
            for (unsigned i = 0; i < perCluster; ++i)
                sectors.push_back(dataStart + (c - 2) * perCluster + i);
        return sectors;
    }

    // Bytes of the image at an offset, patched in place.
    void Patch(size_t offset, const std::string& bytes) {
        std::string image = ReadFile(m_path);
        image.replace(offset, bytes.size(), bytes);
        WriteFile(m_path, image);
    }

private:
    std::string m_dir;
    std::string m_path;
};

// Runs with the image as drive A: (a removable drive with no folder, only the raw device) and
// the chosen family; leaves no bad sector and the newer family behind.
class FloppyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = ksttest::ScratchDir();
        alarm(60);  // a copy that goes round for ever ends the program, and so fails
    }
    void TearDown() override {
        alarm(0);
        kst::SetBadSectors('A', {});
        kst::UnmapDrive('A');
        kst::SetPlatformFamily(kst::PlatformFamily::NT);
    }
    void MapA(const Image& image) {
        kst::MapDrive('A', "", kst::DriveType::Removable, image.path());
    }
    std::string Out(const std::string& name = "out.bin") const { return m_dir + "/" + name; }

    std::string m_dir;
};

// Both platform families as test parameters, named "NT" and "Win9x".
#define KST_BOTH_FAMILIES(suite)                                                \
    INSTANTIATE_TEST_SUITE_P(                                                   \
        BothFamilies, suite,                                                    \
        ::testing::Values(kst::PlatformFamily::NT, kst::PlatformFamily::Win9x), \
        [](const auto& info) { return info.param == kst::PlatformFamily::NT ? "NT" : "Win9x"; })

// A list of bad sectors as their ordinals.
inline std::vector<int> Ordinals(const CWordArray& list) {
    std::vector<int> out;
    for (INT_PTR i = 0; i < list.GetSize(); ++i) out.push_back(list[i]);
    return out;
}

}  // namespace floppytest
