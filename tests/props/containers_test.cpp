// The owning containers: ownership, deep copies, equality, GetAt with a default and their
// archive forms with class tags, through real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "HostProperty.h"
#include "KstProperties.h"
#include "KstTraceLog.h"
#include "ArchiveFiles.h"

using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::NewClassTag;
using ksttest::Store;

namespace {

CObjectP* Text(const char* text) {
    return new CStringP(CString(text));
}

CObjectP* Number(UINT value) {
    return new CUIntP(value);
}

UINT ValueOf(const CObjectP* object) {
    return static_cast<UINT>(*dynamic_cast<const CUIntP*>(object));
}

std::string StoreObject(const CObjectP& object) {
    return Store([&](CArchive& ar) { ar.WriteObject(&object); });
}

template <class T>
std::unique_ptr<T> LoadObject(const std::string& bytes) {
    std::unique_ptr<T> loaded;
    LoadBytes(bytes, [&](CArchive& ar) { loaded.reset(dynamic_cast<T*>(ar.ReadObject(nullptr))); });
    return loaded;
}

class Containers : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CHostPointP::live, 0) << "host objects leaked"; }
};

TEST_F(Containers, ArrayCopiesAreDeepAndIndependent) {
    CObjectPArrayPtr source;
    source.Add(new CHostPointP(1, 2));
    source.Add(nullptr);
    source.Add(Text("b"));
    {
        CObjectPArrayPtr copy(source);
        ASSERT_EQ(copy.GetSize(), 3);
        EXPECT_NE(copy[0], source[0]);
        EXPECT_EQ(copy[1], nullptr);
        EXPECT_TRUE(*copy[0] == *source[0]);
        EXPECT_TRUE(*copy[2] == *source[2]);
        EXPECT_TRUE(copy == source);
        EXPECT_EQ(CHostPointP::live, 2);
    }
    EXPECT_EQ(CHostPointP::live, 1);
    EXPECT_EQ(CString(*dynamic_cast<CStringP*>(source[2])), "b");
}

TEST_F(Containers, ArrayEqualityPairsNullsAndSizes) {
    CObjectPArrayPtr nullOne, nullTwo, withA, longer;
    nullOne.Add(nullptr);
    nullTwo.Add(nullptr);
    withA.Add(Text("A"));
    longer.Add(nullptr);
    longer.Add(nullptr);
    EXPECT_TRUE(nullOne == nullTwo);
    EXPECT_TRUE(nullOne != withA);
    EXPECT_TRUE(withA != nullOne);
    EXPECT_TRUE(nullOne != longer);
}

TEST_F(Containers, TheLeftElementsComparisonDecides) {
    // A plain CObjectP on the left equals anything; a string on the left wants a string.
    CObjectPArrayPtr plain, text;
    plain.Add(new CObjectP);
    text.Add(Text(""));
    EXPECT_TRUE(plain == text);
    EXPECT_TRUE(text != plain);
    CObjectPListPtr plainList, textList;
    plainList.AddTail(new CObjectP);
    textList.AddTail(Text(""));
    EXPECT_TRUE(plainList == textList);
    EXPECT_TRUE(textList != plainList);
    CMapStringToObjectPPtr plainMap, textMap;
    plainMap.SetAt("k", new CObjectP);
    textMap.SetAt("k", Text(""));
    EXPECT_TRUE(plainMap == textMap);
    EXPECT_TRUE(textMap != plainMap);
}

TEST_F(Containers, ArrayRemovalReplacementAndShrinkingDeleteTheirObjects) {
    CObjectPArrayPtr array;
    for (int i = 0; i < 10; ++i) array.Add(new CHostPointP(i, 0));
    array.RemoveAt(8, 5);
    ASSERT_EQ(array.GetSize(), 8);
    EXPECT_EQ(CHostPointP::live, 8);
    array.RemoveAt(-1, 2);
    array.RemoveAt(8, 1);
    array.RemoveAt(0, 0);
    EXPECT_EQ(array.GetSize(), 8);
    array.RemoveAt(2, 1);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(array[2])->m_x, 3);
    array.SetAt(0, new CHostPointP(100, 0));
    EXPECT_EQ(CHostPointP::live, 7);
    array.SetSize(3);
    EXPECT_EQ(CHostPointP::live, 3);
    array.SetAtGrow(5, new CHostPointP(5, 5));
    EXPECT_EQ(array.GetSize(), 6);
    EXPECT_EQ(array[4], nullptr);
    int allocated = array.GetAllocatedSize();
    array.Clear();
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_EQ(array.GetAllocatedSize(), allocated);
    EXPECT_EQ(CHostPointP::live, 0);
}

TEST_F(Containers, ListCopiesComparesAndOwns) {
    CObjectPListPtr list;
    list.AddTail(new CHostPointP(1, 1));
    list.AddTail(nullptr);
    list.AddTail(Number(3));
    CObjectPListPtr copy(list);
    EXPECT_TRUE(copy == list);
    EXPECT_EQ(CHostPointP::live, 2);
    copy.SetAt(copy.GetHeadPosition(), new CHostPointP(9, 9));
    EXPECT_EQ(CHostPointP::live, 2);
    EXPECT_TRUE(copy != list);
    copy.RemoveAt(copy.GetHeadPosition());
    EXPECT_EQ(CHostPointP::live, 1);
    EXPECT_EQ(copy.GetCount(), 2);
    std::unique_ptr<CObjectP> tail(list.RemoveTail());
    EXPECT_EQ(ValueOf(tail.get()), 3u);
    list.Clear();
    EXPECT_EQ(CHostPointP::live, 0);
}

TEST_F(Containers, MapsWithEqualEntriesInAnyOrderAreEqual) {
    CMapStringToObjectPPtr first, second;
    first.SetAt("x", Number(1));
    first.SetAt("y", Text("two"));
    second.SetAt("y", Text("two"));
    second.SetAt("x", Number(1));
    EXPECT_TRUE(first == second);
    second.SetAt("x", Number(2));
    EXPECT_TRUE(first != second);
    second.SetAt("x", Number(1));
    second.SetAt("X", Number(1));
    EXPECT_TRUE(first != second);
}

TEST_F(Containers, MapNullValuesCopyAsNullAndEqualOnlyNull) {
    CMapStringToObjectPPtr map;
    map.SetAt("empty", nullptr);
    map.SetAt("one", Number(1));
    CMapStringToObjectPPtr copy(map);
    CObjectP* value = Number(7);
    std::unique_ptr<CObjectP> guard(value);
    ASSERT_TRUE(copy.Lookup("empty", value));
    EXPECT_EQ(value, nullptr);
    EXPECT_TRUE(copy == map);
    copy.SetAt("empty", Number(0));
    EXPECT_TRUE(copy != map);
    EXPECT_TRUE(map != copy);
}

TEST_F(Containers, MapSetAtRemoveKeyAndClearDeleteTheirObjects) {
    CMapStringToObjectPPtr map;
    map.SetAt("p", new CHostPointP(1, 1));
    map.SetAt("p", new CHostPointP(2, 2));
    EXPECT_EQ(map.GetCount(), 1);
    EXPECT_EQ(CHostPointP::live, 1);
    EXPECT_EQ(map.RemoveKey("p"), 1);
    EXPECT_EQ(map.RemoveKey("p"), 0);
    EXPECT_EQ(CHostPointP::live, 0);
    map.SetAt("q", new CHostPointP(3, 3));
    map.Clear();
    EXPECT_EQ(map.GetCount(), 0);
    EXPECT_EQ(CHostPointP::live, 0);
}

TEST_F(Containers, MapGetAtInsertsACopyOfTheDefaultOnce) {
    CMapStringToObjectPPtr map;
    CStringP defaultX(CString("x"));
    CObjectP* inserted = map.GetAt("key", defaultX);
    ASSERT_NE(inserted, nullptr);
    EXPECT_NE(inserted, &defaultX);
    EXPECT_TRUE(*inserted == defaultX);
    CStringP defaultY(CString("y"));
    EXPECT_EQ(map.GetAt("key", defaultY), inserted);
    EXPECT_EQ(CString(*dynamic_cast<CStringP*>(inserted)), "x");
    map.SetAt("null", nullptr);
    CObjectP* filled = map.GetAt("null", defaultY);
    ASSERT_NE(filled, nullptr);
    EXPECT_EQ(map.GetCount(), 2);
}

std::string TraceFilePath() {
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    return (exe.parent_path() / ("(" + exe.filename().string() + ").Trace")).string();
}

TEST_F(Containers, MapGetAtWithAnUncopyableDefaultTracesAndChangesNothing) {
    CMapStringToObjectPPtr map;
    map.SetAt("null", nullptr);
    cTraceLogGlobal.EnableOutput(0);
    cTraceLogGlobal.EnableFile(1);
    cTraceLogGlobal.ClearFile();
    CNoCopyP uncopyable;
    EXPECT_EQ(map.GetAt("absent", uncopyable), nullptr);
    EXPECT_EQ(map.GetAt("null", uncopyable), nullptr);
    cTraceLogGlobal.EnableFile(0);
    EXPECT_EQ(map.GetCount(), 1);
    std::string trace = ksttest::ReadFile(TraceFilePath());
    // The line as the library has always written it, after the entry's time stamp; the trace
    // file is a text file, so its line end is CR LF.
    EXPECT_NE(trace.find("; ERROR: ...GetAt(); rDefault.CreateCopy() == NULL\r\n"),
              std::string::npos)
        << trace;
}

// Copies of an element that cannot be copied come out null, each with a line in the trace.
TEST_F(Containers, DeepCopiesTraceEveryElementTheyCannotCopy) {
    cTraceLogGlobal.EnableOutput(0);
    cTraceLogGlobal.EnableFile(1);
    cTraceLogGlobal.ClearFile();
    CObjectPArrayPtr array;
    array.Add(new CNoCopyP);
    array.Add(new CHostPointP(1, 1));
    CObjectPListPtr list;
    list.AddTail(new CNoCopyP);
    CMapStringToObjectPPtr map;
    map.SetAt("key", new CNoCopyP);
    CObjectPArrayPtr arrayCopy(array);
    CObjectPListPtr listCopy(list);
    CMapStringToObjectPPtr mapCopy(map);
    cTraceLogGlobal.EnableFile(0);
    EXPECT_EQ(arrayCopy[0], nullptr);
    EXPECT_NE(arrayCopy[1], nullptr);
    EXPECT_EQ(listCopy.GetHead(), nullptr);
    CObjectP* value = &array;
    EXPECT_TRUE(mapCopy.Lookup("key", value));
    EXPECT_EQ(value, nullptr);
    std::string trace = ksttest::ReadFile(TraceFilePath());
    for (const char* container : {"CObjectPArrayPtr", "CObjectPListPtr", "CMapStringToObjectPPtr"})
        EXPECT_NE(trace.find(std::string("; ERROR: ") + container +
                             " copy: an element of class CNoCopyP cannot be copied; its copy is "
                             "NULL\r\n"),
                  std::string::npos)
            << container << "\n"
            << trace;
}

// One object in several slots would be deleted once per slot: the further slots get copies.
TEST_F(Containers, InsertAtWithACountOwnsEachObjectOnce) {
    {
        CObjectPArrayPtr array;
        array.Add(Number(1));
        array.InsertAt(0, new CHostPointP(7, 8), 3);
        ASSERT_EQ(array.GetSize(), 4);
        EXPECT_EQ(CHostPointP::live, 3);
        EXPECT_NE(array[0], array[1]);
        EXPECT_NE(array[1], array[2]);
        EXPECT_TRUE(*array[2] == *array[0]);
        EXPECT_EQ(ValueOf(array[3]), 1u);
        array.InsertAt(6, nullptr, 2);  // past the end: null slots fill the gap
        EXPECT_EQ(array.GetSize(), 8);
        EXPECT_EQ(array[5], nullptr);
        CHostPointP kept(1, 1);
        array.InsertAt(-1, &kept, 2);  // nothing inserted, the caller keeps the object
        array.InsertAt(0, &kept, 0);
        EXPECT_EQ(array.GetSize(), 8);
    }
    EXPECT_EQ(CHostPointP::live, 0);
}

// Through a reference to the template layer an owning array can be read and appended to, no
// more: the members that could own a pointer twice or drop one are not reachable there.
using ArrayLayer = CArrayP<CObjectP*, CObjectP*>;
using MapLayer = CMapP<CString, LPCTSTR, CObjectP*, CObjectP*>;
template <class A>
concept WritesASlot = requires(A& a, CObjectP* p) {
    a.ElementAt(0) = p;
};
template <class A>
concept Resizes = requires(A& a) {
    a.SetSize(0);
};
template <class A>
concept InsertsACount = requires(A& a, CObjectP* p) {
    a.InsertAt(0, p, 2);
};
template <class M>
concept WritesAKey = requires(M& m, CObjectP* p) {
    m["key"] = p;
};
template <class A>
concept ReadsAndAppends = requires(A& a, CObjectP* p) {
    a.Add(p);
    a.GetAt(0);
    a.ElementAt(0);
};
static_assert(!WritesASlot<ArrayLayer> && !WritesASlot<CObjectPArrayPtr>);
static_assert(!Resizes<ArrayLayer> && Resizes<CObjectPArrayPtr>);
static_assert(!InsertsACount<ArrayLayer> && InsertsACount<CObjectPArrayPtr>);
static_assert(!WritesAKey<MapLayer> && !WritesAKey<CMapStringToObjectPPtr>);
static_assert(ReadsAndAppends<ArrayLayer>);

TEST_F(Containers, ClearThroughTheTemplateLayerDeletes) {
    CObjectPArrayPtr array;
    ArrayLayer& layer = array;
    layer.Add(new CHostPointP(1, 1));
    layer.Clear();
    EXPECT_EQ(layer.GetSize(), 0);
    EXPECT_EQ(CHostPointP::live, 0);
}

TEST_F(Containers, ArrayOfOneStringStoresTheFrameworkBytes) {
    CObjectPArrayPtr array;
    array.Add(Text("ab"));
    std::string bytes = Store([&](CArchive& ar) { array.Serialize(ar); });
    EXPECT_EQ(Hex(bytes), "01 00 ff ff 01 00 08 00 43 53 74 72 69 6e 67 50 02 61 62");
}

TEST_F(Containers, EmptyListStoresOnlyTheCountAndLoadingItEmptiesAList) {
    CObjectPListPtr empty;
    std::string bytes = Store([&](CArchive& ar) { empty.Serialize(ar); });
    EXPECT_EQ(Hex(bytes), "00 00");
    CObjectPListPtr full;
    full.AddTail(new CHostPointP(1, 2));
    LoadBytes(bytes, [&](CArchive& ar) { full.Serialize(ar); });
    EXPECT_EQ(full.GetCount(), 0);
    EXPECT_EQ(CHostPointP::live, 0);
}

TEST_F(Containers, MapStoresEntriesInTheFrameworksBucketOrder) {
    // "a" and "r" hash to bucket 12 of 17, "b" to 13; a later entry goes to its bucket's front.
    CMapStringToObjectPPtr map;
    map.SetAt("b", Number(2));
    map.SetAt("a", Number(1));
    map.SetAt("r", Number(18));
    std::string bytes = Store([&](CArchive& ar) { map.Serialize(ar); });
    std::string expected = std::string("\x03\x00", 2) + "\x01r" + NewClassTag("CUIntP", 1) +
                           std::string("\x12\x00\x00\x00", 4) +
                           "\x01"
                           "a" +
                           std::string("\x01\x80\x01\x00\x00\x00", 6) +
                           "\x01"
                           "b" +
                           std::string("\x01\x80\x02\x00\x00\x00", 6);
    EXPECT_EQ(Hex(bytes), Hex(expected));
}

TEST_F(Containers, EveryClassRoundTripsThroughAFile) {
    CObjectPArrayPtr array;
    array.Add(new CObjectP);
    array.Add(Text("text"));
    array.Add(Number(0xDEADBEEF));
    array.Add(new CTimeP(CTime(1700000000)));
    auto* flag = new CBoolP;
    flag->SetValue(true);
    array.Add(flag);
    auto* big = new CInt64P;
    big->SetValue(-5000000000LL);
    array.Add(big);
    auto* blob = new CBinaryP;
    blob->Allocate(300);
    for (UINT i = 0; i < 300; ++i) blob->GetData()[i] = static_cast<BYTE>(i * 7);
    array.Add(blob);
    auto* strings = new CStringArrayP;
    strings->Add("");
    strings->Add(CString('z', 300));
    array.Add(strings);
    array.Add(new CObjectPListPtr);
    array.Add(new CObjectPArrayPtr);
    array.Add(new CMapStringToObjectPPtr);
    array.Add(new CPropertySet);
    array.Add(new CHostPointP(-1, 42));
    array.Add(nullptr);

    auto loaded = LoadObject<CObjectPArrayPtr>(StoreObject(array));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetSize(), array.GetSize());
    for (int i = 0; i < array.GetSize(); ++i) {
        SCOPED_TRACE(i);
        if (!array[i]) {
            EXPECT_EQ((*loaded)[i], nullptr);
            continue;
        }
        ASSERT_NE((*loaded)[i], nullptr);
        EXPECT_EQ((*loaded)[i]->GetRuntimeClass(), array[i]->GetRuntimeClass());
        EXPECT_TRUE(*(*loaded)[i] == *array[i]);
    }
    EXPECT_TRUE(*loaded == array);
}

TEST_F(Containers, NestedContainersThreeLevelsDeepRoundTrip) {
    CPropertySet top;
    auto* level2 = new CObjectPArrayPtr;
    for (int i = 0; i < 3; ++i) {
        auto* level3 = new CObjectPListPtr;
        level3->AddTail(new CHostPointP(i, i));
        level3->AddTail(nullptr);
        auto* inner = new CMapStringToObjectPPtr;
        inner->SetAt("n", Number(static_cast<UINT>(i)));
        inner->SetAt("none", nullptr);
        level3->AddTail(inner);
        level2->Add(level3);
    }
    level2->Add(nullptr);
    top.SetAt("tree", level2);
    top.SetAt("name", "top");

    auto loaded = LoadObject<CPropertySet>(StoreObject(top));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(*loaded == top);
    CObjectPArrayPtr* tree = nullptr;
    ASSERT_TRUE(loaded->Lookup("tree", tree));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->GetSize(), 4);
    auto* list = dynamic_cast<CObjectPListPtr*>((*tree)[2]);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(list->GetHead())->m_x, 2);
    // Changing the loaded tree leaves the source alone.
    list->SetAt(list->GetHeadPosition(), new CHostPointP(7, 7));
    EXPECT_TRUE(*loaded != top);
}

TEST_F(Containers, LoadingDeletesWhatTheContainerHeld) {
    CObjectPArrayPtr source;
    source.Add(Number(1));
    std::string bytes = Store([&](CArchive& ar) { source.Serialize(ar); });
    CObjectPArrayPtr array;
    array.Add(new CHostPointP(1, 1));
    array.Add(new CHostPointP(2, 2));
    LoadBytes(bytes, [&](CArchive& ar) { array.Serialize(ar); });
    EXPECT_EQ(CHostPointP::live, 0);
    ASSERT_EQ(array.GetSize(), 1);
    EXPECT_EQ(ValueOf(array[0]), 1u);

    CMapStringToObjectPPtr map;
    map.SetAt("old", new CHostPointP(3, 3));
    CMapStringToObjectPPtr sourceMap;
    sourceMap.SetAt("new", Number(2));
    LoadBytes(Store([&](CArchive& ar) { sourceMap.Serialize(ar); }),
              [&](CArchive& ar) { map.Serialize(ar); });
    EXPECT_EQ(CHostPointP::live, 0);
    EXPECT_TRUE(map == sourceMap);
}

TEST_F(Containers, ARepeatedKeyInAnArchiveTakesTheLaterValue) {
    std::string bytes = std::string("\x02\x00", 2) + "\x01k" + NewClassTag("CHostPointP", 3) +
                        std::string("\x01\0\0\0\0\0\0\0", 8) + "\x01k" +
                        std::string("\x01\x80", 2) + std::string("\x02\0\0\0\0\0\0\0", 8);
    CMapStringToObjectPPtr map;
    LoadBytes(bytes, [&](CArchive& ar) { map.Serialize(ar); });
    ASSERT_EQ(map.GetCount(), 1);
    CObjectP* value = nullptr;
    ASSERT_TRUE(map.Lookup("k", value));
    EXPECT_EQ(dynamic_cast<CHostPointP*>(value)->m_x, 2);
    EXPECT_EQ(CHostPointP::live, 1);
    map.Clear();
}

}  // namespace
