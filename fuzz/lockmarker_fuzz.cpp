// A lock marker's blocks: the marker beside a file holds the fuzzed bytes; its blocks are read
// one by one, a block of our own is appended by Lock and taken away again by UnLock.
#include <filesystem>

#include "FuzzSupport.h"
#include "KstFile.h"
#include "KstFileLockMarker.h"
#include "KstProperties.h"

namespace {

class Marker : public CFileLockMarker {
public:
    using CFileLockMarker::ReadInfoBlock;
};

// The number of blocks holding a property in the marker; whether one of them is ours.
int CountBlocks(const std::string& path, bool* oursSeen) {
    *oursSeen = false;
    int blocks = 0;
    if (!std::filesystem::exists(path)) return 0;
    kstfuzz::Raises([&] {
        CStdioFile in(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
        Marker reader;
        CPropertySet set;
        // A block without a property answers 0 as the end does: read on to the end.
        while (in.GetPosition() < in.GetLength()) {
            if (!reader.ReadInfoBlock(in, set)) continue;
            ++blocks;
            CStringP* user = nullptr;
            if (set.Lookup(CFileLockMarker::KeyUser, user) && *user == "KstFuzz") *oursSeen = true;
        }
    });
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file = kstfuzz::Path("base.mdb");
    std::string marker = kstfuzz::Path("base.~mdb");
    kstfuzz::WriteFile(marker, data, size);
    bool ours = false;
    int before = CountBlocks(marker, &ours);
    if (ours) return 0;

    Marker lock;
    lock.SetFilePath(file.c_str());
    lock.SetAt(CFileLockMarker::KeyMode, CFileLockMarker::ModeWrite);
    lock.SetAt(CFileLockMarker::KeyUser, "KstFuzz");
    lock.SetAt(CFileLockMarker::KeyServer, "srv");
    lock.SetAt(CFileLockMarker::KeyClient, "pc1");
    if (lock.Lock() != CFileLockMarker::rOK) return 0;
    kstfuzz::Require(lock.IsLock(), "a lock that succeeded is not held");
    int locked = CountBlocks(marker, &ours);
    kstfuzz::Require(ours && locked == before + 1, "the lock's block is not read back");
    kstfuzz::Require(lock.UnLock() == CFileLockMarker::rOK, "a held lock does not unlock");
    CountBlocks(marker, &ours);
    kstfuzz::Require(!ours, "the unlocked block stays in the marker");
    return 0;
}
