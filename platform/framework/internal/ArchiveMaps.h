// The back-reference maps of an archive: what was stored or loaded under which index.
#pragma once

#include <unordered_map>
#include <vector>

#include "KstObject.h"
#include "KstWinTypes.h"

namespace kst::detail {

struct ArchiveMaps {
    // Storing: objects and classes already written, by address.
    std::unordered_map<const void*, DWORD> stored;

    // Loading: index -> class or object; entry 0 is the null object.
    struct Loaded {
        bool isClass;
        void* pointer;
        UINT schema;  // classes: the schema read with the class tag
    };
    std::vector<Loaded> loaded{{false, nullptr, 0}};

    DWORD nextIndex = 1;  // classes and objects share one counter; 0 is the null tag
};

}  // namespace kst::detail
