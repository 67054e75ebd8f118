#include "internal/FindSignature.h"

#include <cstring>
#include <vector>

#include "internal/ZipFormat.h"

namespace kst::zip {

namespace {

// Offset of the first match at or after from that lies wholly in the block, or -1.
long FindInBlock(const BYTE* block, size_t length, size_t from, DWORD signature) {
    const BYTE first = static_cast<BYTE>(signature);
    while (from + 4 <= length) {
        const void* hit = std::memchr(block + from, first, length - 3 - from);
        if (!hit) return -1;
        size_t at = static_cast<size_t>(static_cast<const BYTE*>(hit) - block);
        if (Get32(block + at) == signature) return static_cast<long>(at);
        from = at + 1;
    }
    return -1;
}

// Whether a signature could start in the final 3 bytes of a block.
bool MayContinue(const BYTE* block, size_t length, DWORD signature) {
    const BYTE first = static_cast<BYTE>(signature);
    for (size_t i = length >= 3 ? length - 3 : 0; i < length; ++i)
        if (block[i] == first) return true;
    return false;
}

}  // namespace

int FindSignature(CFile& file, DWORD signature, WORD& offset, DWORD& position, char* buffer,
                  bool findLast) {
    std::vector<BYTE> own;
    BYTE* block = reinterpret_cast<BYTE*>(buffer);
    if (!block) {
        own.resize(kSearchBlock);
        block = own.data();
    }
    int found = 0;
    for (;;) {
        ULONGLONG blockStart = file.GetPosition();
        UINT length = file.Read(block, kSearchBlock);
        long at = FindInBlock(block, length, 0, signature);
        while (at >= 0) {
            found = 1;
            offset = static_cast<WORD>(at);
            position = static_cast<DWORD>(blockStart + static_cast<ULONGLONG>(at));
            if (!findLast) return 1;
            at = FindInBlock(block, length, static_cast<size_t>(at) + 1, signature);
        }
        if (length < kSearchBlock) return found;
        // A signature cut by the block's end is read whole with the next block; a match
        // already taken from this block lies before the overlap, so it is not seen twice.
        if (MayContinue(block, length, signature)) file.Seek(-3, CFile::current);
    }
}

}  // namespace kst::zip
