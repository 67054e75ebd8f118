// The property set: named typed operations, the key prefix view, comparison across prefixes
// and the archive form over full keys.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "KstProperties.h"
#include "ArchiveFiles.h"

using ksttest::LoadBytes;
using ksttest::Store;

namespace {

std::set<std::string> RelativeNames(const CPropertySet& set) {
    std::set<std::string> names;
    CString name;
    for (POSITION pos = set.GetStartPosition(); pos;) {
        set.GetNextKey(pos, name);
        names.insert(name.str());
    }
    return names;
}

CPropertySet ErrorGroupSample() {
    CPropertySet set;
    set.SetAt("Error.Code", 5u);
    set.SetAt("Error.Description", "failed");
    set.SetAt("ErrorX.Code", 6u);
    set.SetAt("Other", "x");
    return set;
}

TEST(PropertySet, TypedLookupSetAtTwiceAndAnotherClassAsNull) {
    CPropertySet set;
    set.SetAt("Error.Code", 5u);
    set.SetAt("k", "first");
    set.SetAt("k", "second");
    set.SetAt("null", nullptr);
    EXPECT_EQ(set.GetCount(), 3);
    CUIntP* code = nullptr;
    ASSERT_EQ(set.Lookup("Error.Code", code), 1);
    EXPECT_EQ(static_cast<UINT>(*code), 5u);
    CStringP* text = reinterpret_cast<CStringP*>(0x10);
    EXPECT_EQ(set.Lookup("Absent", text), 0);
    EXPECT_EQ(text, reinterpret_cast<CStringP*>(0x10));
    ASSERT_EQ(set.Lookup("k", text), 1);
    EXPECT_EQ(CString(*text), "second");
    EXPECT_EQ(set.Lookup("Error.Code", text), 1);
    EXPECT_EQ(text, nullptr);
    CObjectP* any = nullptr;
    EXPECT_EQ(set.Lookup("Error.Code", any), 1);
    EXPECT_NE(any, nullptr);
}

TEST(PropertySet, PrefixAddressesItsGroupOnly) {
    CPropertySet set = ErrorGroupSample();
    set.SetKeyPrefix("Error");
    EXPECT_EQ(set.GetCount(), 2);
    EXPECT_EQ(RelativeNames(set), (std::set<std::string>{"Code", "Description"}));
    set.SetAt("Operation", "Copy");
    EXPECT_EQ(set.CMapStringToObjectPPtr::GetCount(), 5);
    CObjectP* stored = nullptr;
    EXPECT_TRUE(set.CMapStringToObjectPPtr::Lookup("Error.Operation", stored));
    CUIntP* code = nullptr;
    ASSERT_TRUE(set.Lookup("Code", code));
    EXPECT_EQ(static_cast<UINT>(*code), 5u);
    EXPECT_EQ(set.RemoveKey("Code"), 1);
    EXPECT_EQ(set.RemoveKey("Code"), 0);
    EXPECT_EQ(set.GetCount(), 2);
}

TEST(PropertySet, TheGroupKeyItselfAndItsDottedFormHaveEmptyRelativeNames) {
    CPropertySet set;
    set.SetAt("Error", 1u);
    set.SetAt("Error.", 2u);
    set.SetAt("Errors.x", 3u);
    set.SetKeyPrefix("Error");
    EXPECT_EQ(set.GetCount(), 2);
    CString name;
    CObjectP* value = nullptr;
    int seen = 0;
    for (POSITION pos = set.GetStartPosition(); pos; ++seen) {
        set.GetNextAssoc(pos, name, value);
        EXPECT_EQ(name, "");
        EXPECT_NE(value, nullptr);
    }
    EXPECT_EQ(seen, 2);
    EXPECT_FALSE(set.IsWithinPrefix("Errors.x"));
    EXPECT_FALSE(set.IsWithinPrefix("Erro"));
}

TEST(PropertySet, PrefixesNestAndRestoreFromTheQueue) {
    CPropertySet set;
    set.SetAt("A.B.c", 1u);
    set.SetAt("A.d", 2u);
    set.EnterKeyGroup("A");
    EXPECT_EQ(set.GetKeyPrefix(), "A");
    EXPECT_EQ(set.GetCount(), 2);
    set.EnterKeyGroup("B");
    EXPECT_EQ(set.GetKeyPrefix(), "A.B");
    EXPECT_EQ(RelativeNames(set), (std::set<std::string>{"c"}));
    EXPECT_TRUE(set.RestoreKeyPrefix());
    EXPECT_EQ(set.GetKeyPrefix(), "A");
    EXPECT_TRUE(set.RestoreKeyPrefix());
    EXPECT_EQ(set.GetKeyPrefix(), "");
    EXPECT_FALSE(set.RestoreKeyPrefix());
    set.SetKeyPrefix("Q");
    set.SaveKeyPrefix();
    set.SetKeyPrefix(nullptr);
    EXPECT_TRUE(set.RestoreKeyPrefix());
    EXPECT_EQ(set.GetKeyPrefix(), "Q");
    EXPECT_EQ(set.GetFullKey("x"), "Q.x");
}

TEST(PropertySet, GetAtWorksOnTheFullKey) {
    CPropertySet set;
    set.SetKeyPrefix("G");
    CBoolP* flag = set.GetAt("flag", CBoolP());
    ASSERT_NE(flag, nullptr);
    EXPECT_FALSE(flag->GetValue());
    flag->SetValue(true);
    EXPECT_TRUE(set.GetAt("flag", CBoolP())->GetValue());
    CObjectP* stored = nullptr;
    EXPECT_TRUE(set.CMapStringToObjectPPtr::Lookup("G.flag", stored));
}

TEST(PropertySet, CopiesStartWithAnEmptyPrefixAndHoldFullKeys) {
    CPropertySet source = ErrorGroupSample();
    source.SetKeyPrefix("Error");
    CPropertySet copy(source);
    EXPECT_EQ(copy.GetKeyPrefix(), "");
    EXPECT_EQ(copy.GetCount(), 4);
    CPropertySet assigned;
    assigned.SetKeyPrefix("Keep");
    assigned = source;
    EXPECT_EQ(assigned.GetKeyPrefix(), "Keep");
    EXPECT_EQ(assigned.CMapStringToObjectPPtr::GetCount(), 4);
    CUIntP* code = nullptr;
    ASSERT_TRUE(copy.Lookup("Error.Code", code));
    *code = 99u;
    source.SetKeyPrefix("");
    ASSERT_TRUE(source.Lookup("Error.Code", code));
    EXPECT_EQ(static_cast<UINT>(*code), 5u);
}

TEST(PropertySet, SetsCompareWithinTheirPrefixesUnderTheNamedComparison) {
    CPropertySet a, b;
    a.SetAt("A.x", "same");
    b.SetAt("B.x", "same");
    a.SetKeyPrefix("A");
    b.SetKeyPrefix("B");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    const CObjectP& aAsObject = a;
    EXPECT_FALSE(aAsObject == b);  // slot 6: full keys
    b.SetAt("x", "other");
    EXPECT_TRUE(a != b);
    b.SetAt("x", "same");
    b.SetAt("y", "extra");
    EXPECT_TRUE(a != b);
    CMapStringToObjectPPtr plain;
    plain.SetAt("x", new CStringP(CString("same")));
    EXPECT_TRUE(a == plain);
}

TEST(PropertySet, ArchiveKeepsFullKeysAndNotThePrefix) {
    CPropertySet source = ErrorGroupSample();
    source.SetKeyPrefix("Error");
    std::string bytes = Store([&](CArchive& ar) { ar.WriteObject(&source); });
    EXPECT_EQ(bytes.find("Error\x00", 0, 6), std::string::npos);
    CPropertySet* loaded = nullptr;
    LoadBytes(bytes, [&](CArchive& ar) { ar >> loaded; });
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetKeyPrefix(), "");
    EXPECT_EQ(loaded->GetCount(), 4);
    source.SetKeyPrefix("");
    EXPECT_TRUE(*loaded == source);
    delete loaded;
}

// The count within a prefix is kept between calls; every way a key or the prefix changes
// counts anew, and asking again with nothing changed costs no walk of 20000 keys.
TEST(PropertySet, CountWithinThePrefixFollowsEveryChange) {
    CPropertySet set = ErrorGroupSample();
    set.SetKeyPrefix("Error");
    EXPECT_EQ(set.GetCount(), 2);
    set.SetAt("Detail", 1u);
    EXPECT_EQ(set.GetCount(), 3);
    set.SetAt("Detail", 2u);  // a new value under a present key
    EXPECT_EQ(set.GetCount(), 3);
    set.CMapStringToObjectPPtr::SetAt("Error.Raw", nullptr);  // the map's own operations
    EXPECT_EQ(set.GetCount(), 4);
    set.CMapStringToObjectPPtr::RemoveKey("Error.Raw");
    set.RemoveKey("Code");
    EXPECT_EQ(set.GetCount(), 2);
    set.EnterKeyGroup("Detail");
    EXPECT_EQ(set.GetCount(), 1);
    set.RestoreKeyPrefix();
    EXPECT_EQ(set.GetCount(), 2);
    set.SetKeyPrefix("ErrorX");
    EXPECT_EQ(set.GetCount(), 1);
    std::string bytes = Store([&](CArchive& ar) { ErrorGroupSample().Serialize(ar); });
    LoadBytes(bytes, [&](CArchive& ar) { set.Serialize(ar); });  // loading empties first
    EXPECT_EQ(set.GetCount(), 1);
    set.RemoveAll();
    EXPECT_EQ(set.GetCount(), 0);

    CPropertySet large;
    for (int i = 0; i < 20000; ++i) large.SetAt(("Group.Key" + std::to_string(i)).c_str(), i);
    large.SetKeyPrefix("Group");
    auto start = std::chrono::steady_clock::now();
    long long total = 0;
    for (int i = 0; i < 20000; ++i) total += large.GetCount();
    EXPECT_EQ(total, 20000LL * 20000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
