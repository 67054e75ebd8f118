// The property set: named typed operations, the key prefix view, comparison across prefixes
// and the archive form over full keys.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <tuple>

#include "ArchiveFiles.h"
#include "KstProperties.h"

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

UINT CodeOf(CPropertySet& set, const char* key) {
    CUIntP* code = nullptr;
    EXPECT_TRUE(set.Lookup(key, code));
    return code ? static_cast<UINT>(*code) : 0;
}

// A lookup of another class answers null; an absent key leaves the pointer as it was.
TEST(PropertySet, TypedLookupSetAtTwiceAndAnotherClassAsNull) {
    CPropertySet set;
    set.SetAt("Error.Code", 5u);
    set.SetAt("k", "first");
    set.SetAt("k", "second");
    set.SetAt("null", nullptr);
    EXPECT_EQ(std::pair(set.GetCount(), CodeOf(set, "Error.Code")), std::pair(3, 5u));
    CStringP* text = reinterpret_cast<CStringP*>(0x10);
    EXPECT_EQ((std::pair{set.Lookup("Absent", text), text}),
              std::pair(0, reinterpret_cast<CStringP*>(0x10)));
    ASSERT_EQ(set.Lookup("k", text), 1);
    EXPECT_EQ(CString(*text), "second");
    EXPECT_EQ((std::pair{set.Lookup("Error.Code", text), text}), std::pair(1, (CStringP*)nullptr));
    CObjectP* any = nullptr;
    EXPECT_TRUE(set.Lookup("Error.Code", any) == 1 && any != nullptr);
}

// The prefix's group only, the group key itself and its dotted form with empty names; GetAt
// and SetAt work on the full key.
TEST(PropertySet, PrefixAddressesItsGroupOnly) {
    CPropertySet set = ErrorGroupSample();
    set.SetAt("Error", 1u);
    set.SetAt("Error.", 2u);
    set.SetKeyPrefix("Error");
    EXPECT_EQ(set.GetCount(), 4);
    EXPECT_EQ(RelativeNames(set), (std::set<std::string>{"", "Code", "Description"}));
    EXPECT_FALSE(set.IsWithinPrefix("ErrorX.Code") || set.IsWithinPrefix("Erro"));
    set.SetAt("Operation", "Copy");
    CBoolP* flag = set.GetAt("flag", CBoolP());
    ASSERT_TRUE(flag && !flag->GetValue());
    flag->SetValue(true);
    EXPECT_TRUE(set.GetAt("flag", CBoolP())->GetValue());
    EXPECT_EQ(set.CMapStringToObjectPPtr::GetCount(), 8);
    CObjectP* stored = nullptr;
    EXPECT_TRUE(set.CMapStringToObjectPPtr::Lookup("Error.Operation", stored) &&
                set.CMapStringToObjectPPtr::Lookup("Error.flag", stored));
    EXPECT_EQ(CodeOf(set, "Code"), 5u);
    EXPECT_EQ((std::vector{set.RemoveKey("Code"), set.RemoveKey("Code"), set.GetCount()}),
              (std::vector{1, 0, 5}));
    CString name;
    CObjectP* value = nullptr;
    int empty = 0;
    for (POSITION pos = set.GetStartPosition(); pos;) {
        set.GetNextAssoc(pos, name, value);
        EXPECT_NE(value, nullptr);
        empty += name.IsEmpty();
    }
    EXPECT_EQ(empty, 2);
}

TEST(PropertySet, PrefixesNestAndRestoreFromTheQueue) {
    CPropertySet set;
    set.SetAt("A.B.c", 1u);
    set.SetAt("A.d", 2u);
    set.EnterKeyGroup("A");
    EXPECT_EQ(set.GetCount(), 2);
    set.EnterKeyGroup("B");
    EXPECT_EQ(set.GetKeyPrefix(), "A.B");
    EXPECT_EQ(RelativeNames(set), (std::set<std::string>{"c"}));
    std::string seen;
    while (set.RestoreKeyPrefix()) seen += "|" + set.GetKeyPrefix().str();
    EXPECT_EQ(seen, "|A|");
    set.SetKeyPrefix("Q");
    set.SaveKeyPrefix();
    set.SetKeyPrefix(nullptr);
    EXPECT_TRUE(set.RestoreKeyPrefix());
    EXPECT_EQ(set.GetFullKey("x"), "Q.x");
}

// Copies and loaded sets start with an empty prefix and hold full keys; the archive keeps no
// prefix; an assigned set keeps its own prefix.
TEST(PropertySet, CopiesAndArchivesHoldFullKeys) {
    CPropertySet source = ErrorGroupSample();
    source.SetKeyPrefix("Error");
    CPropertySet copy(source), assigned;
    assigned.SetKeyPrefix("Keep");
    assigned = source;
    EXPECT_EQ(std::tuple(copy.GetKeyPrefix(), copy.GetCount(), assigned.GetKeyPrefix(),
                         assigned.CMapStringToObjectPPtr::GetCount()),
              std::tuple(CString(""), 4, CString("Keep"), 4));
    std::string bytes = Store([&](CArchive& ar) { ar.WriteObject(&source); });
    EXPECT_EQ(bytes.find("Error\x00", 0, 6), std::string::npos);
    CUIntP* code = nullptr;
    ASSERT_TRUE(copy.Lookup("Error.Code", code));
    *code = 99u;
    source.SetKeyPrefix("");
    EXPECT_EQ(CodeOf(source, "Error.Code"), 5u);
    CPropertySet* loaded = nullptr;
    LoadBytes(bytes, [&](CArchive& ar) { ar >> loaded; });
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::pair(loaded->GetKeyPrefix(), loaded->GetCount()), std::pair(CString(""), 4));
    EXPECT_TRUE(*loaded == source);
    delete loaded;
}

TEST(PropertySet, SetsCompareWithinTheirPrefixesUnderTheNamedComparison) {
    CPropertySet a, b;
    a.SetAt("A.x", "same");
    b.SetAt("B.x", "same");
    a.SetKeyPrefix("A");
    b.SetKeyPrefix("B");
    EXPECT_TRUE(a == b && !(a != b));
    EXPECT_FALSE(static_cast<const CObjectP&>(a) == b);  // slot 6: full keys
    b.SetAt("x", "other");
    EXPECT_TRUE(a != b);
    b.SetAt("x", "same");
    b.SetAt("y", "extra");
    EXPECT_TRUE(a != b);
    CMapStringToObjectPPtr plain;
    plain.SetAt("x", new CStringP(CString("same")));
    EXPECT_TRUE(a == plain);
}

// The count within a prefix is kept between calls; every way a key or the prefix changes
// counts anew, and asking again with nothing changed costs no walk of 20000 keys.
TEST(PropertySet, CountWithinThePrefixFollowsEveryChange) {
    CPropertySet set = ErrorGroupSample();
    set.SetKeyPrefix("Error");
    std::vector<int> counts{set.GetCount()};
    set.SetAt("Detail", 1u);
    counts.push_back(set.GetCount());
    set.SetAt("Detail", 2u);  // a new value under a present key
    counts.push_back(set.GetCount());
    set.CMapStringToObjectPPtr::SetAt("Error.Raw", nullptr);  // the map's own operations
    counts.push_back(set.GetCount());
    set.CMapStringToObjectPPtr::RemoveKey("Error.Raw");
    set.RemoveKey("Code");
    counts.push_back(set.GetCount());
    set.EnterKeyGroup("Detail");
    counts.push_back(set.GetCount());
    set.RestoreKeyPrefix();
    counts.push_back(set.GetCount());
    set.SetKeyPrefix("ErrorX");
    counts.push_back(set.GetCount());
    std::string bytes = Store([&](CArchive& ar) { ErrorGroupSample().Serialize(ar); });
    LoadBytes(bytes, [&](CArchive& ar) { set.Serialize(ar); });  // loading empties first
    counts.push_back(set.GetCount());
    set.RemoveAll();
    counts.push_back(set.GetCount());
    EXPECT_EQ(counts, (std::vector<int>{2, 3, 3, 4, 2, 1, 2, 1, 1, 0}));

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
