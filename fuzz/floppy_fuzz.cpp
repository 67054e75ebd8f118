// A FAT12 image walked by the diskette copy: the bytes are the raw device of drive A: (sectors
// past their end do not read); a file in the root and one in a folder are copied with the list
// of bad sectors, then verified.
#include <filesystem>

#include "FuzzSupport.h"
#include "KstCollections.h"
#include "KstFloppyAccessLow.h"
#include "KstPlatform.h"

namespace {

void Copy(const char* source, const std::string& destination) {
    CWordArray bad;
    std::filesystem::remove(destination);
    int done = CFloppyAccessLow::CopyFileA(source, destination.c_str(), 0, &bad, 0, 64, nullptr, 0);
    kstfuzz::Require(bad.GetSize() <= 65, "the copy went on past the bad sectors' maximum");
    if (done) kstfuzz::Require(std::filesystem::exists(destination), "a done copy wrote nothing");
    CString path = source;
    CFloppyAccessLow::VerifyFile(path);
}

// The walk reads every sector of a root directory and of every cluster, as the copy promises;
// a boot sector of 1 byte per sector (a root of two million sectors) or 255 sectors per cluster
// (a chain of a million) makes one input cost seconds and repeats the same reads. Inputs past
// the largest real FAT12 layout (4,096 root sectors, 16 sectors per cluster) are left out; the
// tests take such boot sectors whole.
bool TooCostly(const uint8_t* data, size_t size) {
    if (size < 19) return false;
    unsigned bytesPerSector = data[11] | data[12] << 8;
    unsigned rootEntries = data[17] | data[18] << 8;
    return data[13] > 16 || (bytesPerSector && rootEntries * 32u / bytesPerSector > 4096);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (TooCostly(data, size)) return -1;
    std::string image = kstfuzz::Path("floppy.img");
    kstfuzz::WriteFile(image, data, size);
    kst::MapDrive('A', "", kst::DriveType::Removable, image);
    Copy("A:\\FILE.TXT", kstfuzz::Path("file.out"));
    Copy("A:\\DIR\\SUB.TXT", kstfuzz::Path("sub.out"));
    kst::UnmapDrive('A');
    return 0;
}
