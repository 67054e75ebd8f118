// CZipInfo::GetInfo of a file: the end record, the ZIP64 records and the central directory of
// whatever the bytes hold; every entry it lists must answer every question.
#include "FuzzSupport.h"
#include "KstZipInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kstfuzz::Path("info.zip");
    kstfuzz::WriteFile(path, data, size);
    CZipInfo info;
    info.GetInfo(path.c_str());
    kstfuzz::Require(info.GetFilesCount() == info.GetSize(), "the count differs from the entries");
    size_t seen = info.GetComment().GetLength();
    for (int i = 0; i < info.GetFilesCount(); ++i) {
        seen += info.GetName(i).GetLength() + info.GetComment(i).GetLength();
        seen += info.GetCompressedSize64(i) + info.GetUncompressedSize64(i) + info.GetCRC(i);
        seen += info.GetMethod(i) + info.GetFlags(i) + info.IsEncrypted(i);
        seen += info.GetTime(i).GetLength();
        kstfuzz::Require(info.FindFile(info.GetName(i)) <= i, "an entry is not found by name");
    }
    // Keeps the answers from being optimized away.
    return seen == size_t(-1) ? -1 : 0;
}
