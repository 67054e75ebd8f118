// Every property class as a container element: the class tag, the schema and the value bytes
// that follow it, and what comes back when such an archive is read.
#include <gtest/gtest.h>

#include <memory>

#include "KstProperties.h"
#include "ArchiveFiles.h"

using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::NewClassTag;
using ksttest::Store;

// A host array of version 5 that looks at its schema after its elements have been read.
class CHostVersionedArray : public CObjectPArrayPtr {
    DECLARE_SERIAL(CHostVersionedArray)
public:
    void Serialize(CArchive& ar) override {
        CObjectPArrayPtr::Serialize(ar);
        if (ar.IsLoading()) m_nSchemaRead = ar.GetObjectSchema();
    }
    UINT m_nSchemaRead = 0;
};

IMPLEMENT_SERIAL(CHostVersionedArray, CObjectPArrayPtr, 5)

namespace {

std::string Tagged(const CObjectP& object) {
    return Store([&](CArchive& ar) { ar.WriteObject(&object); });
}

TEST(Tagged, EachClassWritesItsNameSchemaAndValue) {
    CTimeP time(CTime(256));
    EXPECT_EQ(Hex(Tagged(time)),
              Hex(NewClassTag("CTimeP", 1) + std::string("\0\0\0\0\0\1\0\0", 8)));
    CStringArrayP strings;
    strings.Add("q");
    EXPECT_EQ(Hex(Tagged(strings)),
              Hex(NewClassTag("CStringArrayP", 0) + std::string("\1\0\1q", 4)));
    CBoolP flag;
    EXPECT_EQ(Hex(Tagged(flag)), Hex(NewClassTag("CBoolP", 1) + std::string("\0", 1)));
    CObjectP plain;
    EXPECT_EQ(Hex(Tagged(plain)), Hex(NewClassTag("CObjectP", 1)));
    CPropertySet set;
    set.SetAt("k", 7u);
    EXPECT_EQ(Hex(Tagged(set)), Hex(NewClassTag("CPropertySet", 1) + std::string("\1\0\1k", 4) +
                                    NewClassTag("CUIntP", 1) + std::string("\7\0\0\0", 4)));
}

TEST(Tagged, AClassSeenBeforeIsWrittenAsABackReference) {
    CObjectPListPtr list;
    list.AddTail(new CUIntP(1u));
    list.AddTail(new CUIntP(2u));
    list.AddTail(nullptr);
    // Indexes count classes and objects alike: the list's class 1, the list 2, CUIntP 3.
    EXPECT_EQ(Hex(Tagged(list)), Hex(NewClassTag("CObjectPListPtr", 1) + std::string("\3\0", 2) +
                                     NewClassTag("CUIntP", 1) + std::string("\1\0\0\0", 4) +
                                     std::string("\3\x80\2\0\0\0", 6) + std::string("\0\0", 2)));
}

TEST(Tagged, ElementsDoNotTakeTheSchemaOfTheirContainer) {
    CHostVersionedArray array;
    array.Add(new CStringArrayP);
    array.Add(new CUIntP(1u));
    std::unique_ptr<CObject> loaded;
    LoadBytes(Tagged(array), [&](CArchive& ar) { loaded.reset(ar.ReadObject(nullptr)); });
    auto* host = dynamic_cast<CHostVersionedArray*>(loaded.get());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->GetSize(), 2);
    EXPECT_EQ(host->m_nSchemaRead, 5u);
}

}  // namespace
