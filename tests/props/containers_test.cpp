// The owning containers: ownership, deep copies, equality, GetAt with a default and their
// archive forms with class tags, through real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "ArchiveFiles.h"
#include "HostProperty.h"
#include "KstProperties.h"
#include "KstTraceLog.h"

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

class Containers : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CHostPointP::live, 0) << "host objects leaked"; }
};

TEST_F(Containers, CopiesAreDeepAndIndependent) {
    CObjectPArrayPtr source;
    source.Add(new CHostPointP(1, 2));
    source.Add(nullptr);
    source.Add(Text("b"));
    {
        CObjectPArrayPtr copy(source);
        ASSERT_EQ(copy.GetSize(), 3);
        EXPECT_NE(copy[0], source[0]);
        EXPECT_EQ(copy[1], nullptr);
        EXPECT_TRUE(copy == source);
        EXPECT_EQ(CHostPointP::live, 2);
    }
    EXPECT_EQ(CHostPointP::live, 1);

    CObjectPListPtr list;
    list.AddTail(new CHostPointP(1, 1));
    list.AddTail(nullptr);
    list.AddTail(Number(3));
    CObjectPListPtr copy(list);
    EXPECT_TRUE(copy == list);
    copy.SetAt(copy.GetHeadPosition(), new CHostPointP(9, 9));
    EXPECT_EQ(CHostPointP::live, 3);
    EXPECT_TRUE(copy != list);
    copy.RemoveAt(copy.GetHeadPosition());
    EXPECT_EQ(CHostPointP::live, 2);
    EXPECT_EQ(copy.GetCount(), 2);
    std::unique_ptr<CObjectP> tail(list.RemoveTail());
    EXPECT_EQ(ValueOf(tail.get()), 3u);
    list.Clear();
    source.Clear();
}

// The left container's comparison decides, element by element.
TEST_F(Containers, EqualityPairsNullsSizesKeysAndTheLeftElementsComparison) {
    auto array = [](std::initializer_list<CObjectP*> items) {
        auto* a = new CObjectPArrayPtr;
        for (auto* p : items) a->Add(p);
        return a;
    };
    auto list = [](CObjectP* item) {
        auto* l = new CObjectPListPtr;
        l->AddTail(item);
        return l;
    };
    auto map = [](std::initializer_list<std::pair<const char*, CObjectP*>> items) {
        auto* m = new CMapStringToObjectPPtr;
        for (auto [k, v] : items) m->SetAt(k, v);
        return m;
    };
    const struct {
        const char* name;
        CObjectP *left, *right;
        bool equal;
    } cases[] = {
        {"null and null", array({nullptr}), array({nullptr}), true},
        {"null and object", array({nullptr}), array({Text("A")}), false},
        {"object and null", array({Text("A")}), array({nullptr}), false},
        {"sizes", array({nullptr}), array({nullptr, nullptr}), false},
        {"plain left equals anything", array({new CObjectP}), array({Text("")}), true},
        {"string left wants a string", array({Text("")}), array({new CObjectP}), false},
        {"plain list", list(new CObjectP), list(Text("")), true},
        {"string list", list(Text("")), list(new CObjectP), false},
        {"plain map", map({{"k", new CObjectP}}), map({{"k", Text("")}}), true},
        {"string map", map({{"k", Text("")}}), map({{"k", new CObjectP}}), false},
        {"any order", map({{"x", Number(1)}, {"y", Text("2")}}),
         map({{"y", Text("2")}, {"x", Number(1)}}), true},
        {"value", map({{"x", Number(1)}}), map({{"x", Number(2)}}), false},
        {"key case", map({{"x", Number(1)}}), map({{"x", Number(1)}, {"X", Number(1)}}), false},
        {"null value", map({{"e", nullptr}}), map({{"e", nullptr}}), true},
        {"null against zero", map({{"e", nullptr}}), map({{"e", Number(0)}}), false},
        {"zero against null", map({{"e", Number(0)}}), map({{"e", nullptr}}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(*c.left == *c.right, c.equal);
        EXPECT_EQ(*c.left != *c.right, !c.equal);
        delete c.left;
        delete c.right;
    }
    // A map's null value copies as null.
    CMapStringToObjectPPtr nulls;
    nulls.SetAt("empty", nullptr);
    CMapStringToObjectPPtr copy(nulls);
    CObjectP* value = &nulls;
    ASSERT_TRUE(copy.Lookup("empty", value));
    EXPECT_EQ(value, nullptr);
}

TEST_F(Containers, RemovalReplacementAndShrinkingDeleteTheirObjects) {
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

    CMapStringToObjectPPtr map;
    map.SetAt("p", new CHostPointP(1, 1));
    map.SetAt("p", new CHostPointP(2, 2));
    EXPECT_EQ(map.GetCount(), 1);
    EXPECT_EQ(CHostPointP::live, 1);
    EXPECT_EQ(map.RemoveKey("p"), 1);
    EXPECT_EQ(map.RemoveKey("p"), 0);
    map.SetAt("q", new CHostPointP(3, 3));
    map.Clear();
    EXPECT_EQ(map.GetCount(), 0);
}

std::string TraceFilePath() {
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    return (exe.parent_path() / ("(" + exe.filename().string() + ").Trace")).string();
}

TEST_F(Containers, MapGetAtInsertsACopyOfTheDefaultOnce) {
    CMapStringToObjectPPtr map;
    CStringP defaultX(CString("x")), defaultY(CString("y"));
    CObjectP* inserted = map.GetAt("key", defaultX);
    ASSERT_NE(inserted, nullptr);
    EXPECT_NE(inserted, &defaultX);
    EXPECT_EQ(map.GetAt("key", defaultY), inserted);
    EXPECT_EQ(CString(*dynamic_cast<CStringP*>(inserted)), "x");
    map.SetAt("null", nullptr);
    EXPECT_NE(map.GetAt("null", defaultY), nullptr);
    EXPECT_EQ(map.GetCount(), 2);
}

// Copies of an element that cannot be copied come out null, each with a line in the trace
// as the library has always written it (a text file: CR LF).
TEST_F(Containers, UncopyableElementsAndDefaultsAreTraced) {
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
    map.SetAt("null", nullptr);
    CNoCopyP uncopyable;
    EXPECT_EQ(map.GetAt("absent", uncopyable), nullptr);
    EXPECT_EQ(map.GetAt("null", uncopyable), nullptr);
    cTraceLogGlobal.EnableFile(0);
    EXPECT_EQ(map.GetCount(), 2);
    EXPECT_EQ(arrayCopy[0], nullptr);
    EXPECT_NE(arrayCopy[1], nullptr);
    EXPECT_EQ(listCopy.GetHead(), nullptr);
    CObjectP* value = &array;
    EXPECT_TRUE(mapCopy.Lookup("key", value));
    EXPECT_EQ(value, nullptr);
    std::string trace = ksttest::ReadFile(TraceFilePath());
    EXPECT_NE(trace.find("; ERROR: ...GetAt(); rDefault.CreateCopy() == NULL\r\n"),
              std::string::npos);
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
}

TEST_F(Containers, ArchiveBytesOfEachContainer) {
    CObjectPArrayPtr array;
    array.Add(Text("ab"));
    CObjectPListPtr empty;
    // "a" and "r" hash to bucket 12 of 17, "b" to 13; a later entry goes to its bucket's front.
    CMapStringToObjectPPtr map;
    map.SetAt("b", Number(2));
    map.SetAt("a", Number(1));
    map.SetAt("r", Number(18));
    const std::pair<CObjectP*, std::string> cases[] = {
        {&array, std::string("\x01\x00", 2) + NewClassTag("CStringP", 1) +
                     "\x02"
                     "ab"},
        {&empty, std::string("\0\0", 2)},
        {&map, std::string("\x03\x00", 2) + "\x01r" + NewClassTag("CUIntP", 1) +
                   std::string("\x12\0\0\0", 4) +
                   "\x01"
                   "a" +
                   std::string("\x01\x80\x01\0\0\0", 6) +
                   "\x01"
                   "b" +
                   std::string("\x01\x80\x02\0\0\0", 6)},
    };
    for (auto& [object, expected] : cases)
        EXPECT_EQ(Hex(Store([&](CArchive& ar) { object->Serialize(ar); })), Hex(expected));
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
    auto* list = new CObjectPListPtr;
    list->AddTail(new CHostPointP(2, 2));
    list->AddTail(nullptr);
    auto* inner = new CMapStringToObjectPPtr;
    inner->SetAt("n", Number(1));
    inner->SetAt("none", nullptr);
    list->AddTail(inner);
    array.Add(list);
    array.Add(new CObjectPArrayPtr);
    array.Add(new CPropertySet);
    array.Add(new CHostPointP(-1, 42));
    array.Add(nullptr);

    std::unique_ptr<CObjectPArrayPtr> loaded;
    LoadBytes(Store([&](CArchive& ar) { ar.WriteObject(&array); }), [&](CArchive& ar) {
        loaded.reset(dynamic_cast<CObjectPArrayPtr*>(ar.ReadObject(nullptr)));
    });
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
    // Changing the loaded tree leaves the source alone.
    auto* back = dynamic_cast<CObjectPListPtr*>((*loaded)[8]);
    back->SetAt(back->GetHeadPosition(), new CHostPointP(7, 7));
    EXPECT_TRUE(*loaded != array);
}

TEST_F(Containers, LoadingDeletesWhatTheContainerHeldAndARepeatedKeyTakesTheLaterValue) {
    CObjectPArrayPtr source;
    source.Add(Number(1));
    CObjectPArrayPtr array;
    array.Add(new CHostPointP(1, 1));
    array.Add(new CHostPointP(2, 2));
    LoadBytes(Store([&](CArchive& ar) { source.Serialize(ar); }),
              [&](CArchive& ar) { array.Serialize(ar); });
    EXPECT_EQ(CHostPointP::live, 0);
    ASSERT_EQ(array.GetSize(), 1);
    EXPECT_EQ(ValueOf(array[0]), 1u);

    CMapStringToObjectPPtr map;
    map.SetAt("old", new CHostPointP(3, 3));
    std::string bytes = std::string("\x02\x00", 2) + "\x01k" + NewClassTag("CHostPointP", 3) +
                        std::string("\x01\0\0\0\0\0\0\0", 8) + "\x01k" +
                        std::string("\x01\x80", 2) + std::string("\x02\0\0\0\0\0\0\0", 8);
    LoadBytes(bytes, [&](CArchive& ar) { map.Serialize(ar); });
    ASSERT_EQ(map.GetCount(), 1);
    CObjectP* value = nullptr;
    ASSERT_TRUE(map.Lookup("k", value));
    EXPECT_EQ(dynamic_cast<CHostPointP*>(value)->m_x, 2);
    EXPECT_EQ(CHostPointP::live, 1);
    map.Clear();
}

}  // namespace
