// 64-bit values in the archive as two 32-bit words, the high word first.
#pragma once

#include <cstdint>

#include "KstArchive.h"

namespace kst::props {

inline void StoreHighLow(CArchive& ar, int64_t value) {
    uint64_t bits = static_cast<uint64_t>(value);
    ar << static_cast<DWORD>(bits >> 32) << static_cast<DWORD>(bits);
}

inline int64_t LoadHighLow(CArchive& ar) {
    DWORD high = 0, low = 0;
    ar >> high >> low;
    return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

}  // namespace kst::props
