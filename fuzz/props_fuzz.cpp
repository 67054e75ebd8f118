// An archive of property objects loaded by class: the first byte chooses what the host loads
// (any object through ReadObject, a set, each container, a pattern array), the rest is the
// archive. What loads must store and load back to an equal object.
#include <memory>

#include "FuzzSupport.h"
#include "KstArchive.h"
#include "KstFile.h"
#include "KstPattern.h"
#include "KstProperties.h"

namespace {

using kstfuzz::Raises;
using kstfuzz::Require;

std::unique_ptr<CObjectP> NewRoot(uint8_t choice) {
    switch (choice % 6) {
        case 1:
            return std::make_unique<CPropertySet>();
        case 2:
            return std::make_unique<CObjectPArrayPtr>();
        case 3:
            return std::make_unique<CObjectPListPtr>();
        case 4:
            return std::make_unique<CMapStringToObjectPPtr>();
        case 5:
            return std::make_unique<CPatternArray>();
        default:
            return nullptr;  // ReadObject of whatever class the archive names
    }
}

// Loads bytes into root (or a new object through ReadObject when root is null); answers the
// object loaded, null when the archive exception or a file exception ended the load.
CObjectP* Load(const uint8_t* data, size_t size, CObjectP* root, std::unique_ptr<CObject>& owned) {
    CMemFile file(const_cast<BYTE*>(data), static_cast<UINT>(size));
    bool raised = Raises([&] {
        CArchive ar(&file, CArchive::load);
        if (root) {
            root->Serialize(ar);
        } else {
            owned.reset(ar.ReadObject(nullptr));
        }
    });
    if (raised) return nullptr;
    return root ? root : dynamic_cast<CObjectP*>(owned.get());
}

std::string Store(CObjectP& object, bool byClass) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    if (byClass) {
        ar.WriteObject(&object);
    } else {
        object.Serialize(ar);
    }
    ar.Close();
    ULONGLONG length = file.GetLength();
    BYTE* bytes = file.Detach();
    std::string stored(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
    std::free(bytes);
    return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t choice = data[0];
    std::unique_ptr<CObjectP> root = NewRoot(choice);
    std::unique_ptr<CObject> owned;
    CObjectP* loaded = Load(data + 1, size - 1, root.get(), owned);
    if (!loaded) return 0;

    std::string stored = Store(*loaded, !root);
    std::unique_ptr<CObjectP> again = NewRoot(choice);
    std::unique_ptr<CObject> ownedAgain;
    CObjectP* reloaded = Load(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(),
                              again.get(), ownedAgain);
    Require(reloaded != nullptr, "a stored object does not load back");
    Require(*reloaded == *loaded, "a stored object loads back different");
    return 0;
}
