// The owning containers: ownership, deep copies, equality, GetAt with a default and their
// archive forms with class tags, through real files.
#include <gtest/gtest.h>

#include <memory>

#include "ArchiveFiles.h"
#include "HostProperty.h"
#include "TraceCapture.h"

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

void Put(CObjectPArrayPtr& c, CObjectP* p) {
    c.Add(p);
}
void Put(CObjectPListPtr& c, CObjectP* p) {
    c.AddTail(p);
}
template <class C>
C* Of(std::initializer_list<CObjectP*> items, C* c = new C) {
    for (auto* p : items) Put(*c, p);
    return c;
}
CMapStringToObjectPPtr* Map(std::initializer_list<std::pair<const char*, CObjectP*>> items) {
    auto* m = new CMapStringToObjectPPtr;
    for (auto [k, v] : items) m->SetAt(k, v);
    return m;
}

class Containers : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CHostPointP::live, 0) << "host objects leaked"; }
};

TEST_F(Containers, CopiesAreDeepAndIndependent) {
    std::unique_ptr<CObjectPArrayPtr> source(
        Of<CObjectPArrayPtr>({new CHostPointP(1, 2), nullptr, Text("b")}));
    {
        CObjectPArrayPtr copy(*source);
        ASSERT_EQ(copy.GetSize(), 3);
        EXPECT_TRUE(copy[0] != (*source)[0] && copy[1] == nullptr && copy == *source);
        EXPECT_EQ(CHostPointP::live, 2);
    }
    source.reset();
    std::unique_ptr<CObjectPListPtr> list(
        Of<CObjectPListPtr>({new CHostPointP(1, 1), nullptr, Number(3)}));
    CObjectPListPtr copy(*list);
    EXPECT_TRUE(copy == *list);
    copy.SetAt(copy.GetHeadPosition(), new CHostPointP(9, 9));
    EXPECT_EQ(CHostPointP::live, 2);
    EXPECT_TRUE(copy != *list);
    copy.RemoveAt(copy.GetHeadPosition());
    EXPECT_EQ(std::pair(CHostPointP::live, copy.GetCount()), std::pair(1, 2));
    std::unique_ptr<CObjectP> tail(list->RemoveTail());
    EXPECT_EQ(ValueOf(tail.get()), 3u);
}

// The left container's comparison decides, element by element.
TEST_F(Containers, EqualityPairsNullsSizesKeysAndTheLeftElementsComparison) {
    using A = CObjectPArrayPtr;
    using L = CObjectPListPtr;
    const struct {
        const char* name;
        CObjectP *left, *right;
        bool equal;
    } cases[] = {
        {"null and null", Of<A>({nullptr}), Of<A>({nullptr}), true},
        {"null and object", Of<A>({nullptr}), Of<A>({Text("A")}), false},
        {"object and null", Of<A>({Text("A")}), Of<A>({nullptr}), false},
        {"sizes", Of<A>({nullptr}), Of<A>({nullptr, nullptr}), false},
        {"plain left equals anything", Of<A>({new CObjectP}), Of<A>({Text("")}), true},
        {"string left wants a string", Of<A>({Text("")}), Of<A>({new CObjectP}), false},
        {"plain list", Of<L>({new CObjectP}), Of<L>({Text("")}), true},
        {"string list", Of<L>({Text("")}), Of<L>({new CObjectP}), false},
        {"plain map", Map({{"k", new CObjectP}}), Map({{"k", Text("")}}), true},
        {"string map", Map({{"k", Text("")}}), Map({{"k", new CObjectP}}), false},
        {"any order", Map({{"x", Number(1)}, {"y", Text("2")}}),
         Map({{"y", Text("2")}, {"x", Number(1)}}), true},
        {"value", Map({{"x", Number(1)}}), Map({{"x", Number(2)}}), false},
        {"key case", Map({{"x", Number(1)}}), Map({{"x", Number(1)}, {"X", Number(1)}}), false},
        {"null value", Map({{"e", nullptr}}), Map({{"e", nullptr}}), true},
        {"null against zero", Map({{"e", nullptr}}), Map({{"e", Number(0)}}), false},
        {"zero against null", Map({{"e", Number(0)}}), Map({{"e", nullptr}}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(*c.left == *c.right, c.equal);
        EXPECT_EQ(*c.left != *c.right, !c.equal);
        delete c.left;
        delete c.right;
    }
}

TEST_F(Containers, RemovalReplacementAndShrinkingDeleteTheirObjects) {
    CObjectPArrayPtr array;
    for (int i = 0; i < 10; ++i) array.Add(new CHostPointP(i, 0));
    array.RemoveAt(8, 5);
    array.RemoveAt(-1, 2);
    array.RemoveAt(8, 1);
    array.RemoveAt(0, 0);
    ASSERT_EQ(std::pair(array.GetSize(), CHostPointP::live), std::pair(8, 8));
    array.RemoveAt(2, 1);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(array[2])->m_x, 3);
    array.SetAt(0, new CHostPointP(100, 0));
    EXPECT_EQ(CHostPointP::live, 7);
    array.SetSize(3);
    EXPECT_EQ(CHostPointP::live, 3);
    array.SetAtGrow(5, new CHostPointP(5, 5));
    EXPECT_EQ(std::pair(array.GetSize(), array[4]), std::pair(6, (CObjectP*)nullptr));
    int allocated = array.GetAllocatedSize();
    array.Clear();
    EXPECT_EQ(std::pair(array.GetSize(), array.GetAllocatedSize()), std::pair(0, allocated));

    CMapStringToObjectPPtr map;
    map.SetAt("p", new CHostPointP(1, 1));
    map.SetAt("p", new CHostPointP(2, 2));
    EXPECT_EQ(std::pair(map.GetCount(), CHostPointP::live), std::pair(1, 1));
    EXPECT_EQ((std::vector{map.RemoveKey("p"), map.RemoveKey("p")}), (std::vector{1, 0}));
    map.SetAt("q", new CHostPointP(3, 3));
    map.Clear();
    EXPECT_EQ(map.GetCount(), 0);
}

// GetAt inserts a copy of the default once, also in place of a null value. Copies of an
// element that cannot be copied come out null, each with a line in the trace as the library
// has always written it (a text file: CR LF); a null value copies as null.
TEST_F(Containers, GetAtDefaultsAndUncopyableElements) {
    CMapStringToObjectPPtr defaults;
    CStringP defaultX(CString("x")), defaultY(CString("y"));
    CObjectP* inserted = defaults.GetAt("key", defaultX);
    ASSERT_NE(inserted, nullptr);
    EXPECT_NE(inserted, &defaultX);
    EXPECT_EQ(defaults.GetAt("key", defaultY), inserted);
    EXPECT_EQ(CString(*dynamic_cast<CStringP*>(inserted)), "x");
    defaults.SetAt("null", nullptr);
    EXPECT_NE(defaults.GetAt("null", defaultY), nullptr);

    cTraceLogGlobal.EnableOutput(0);
    auto capture = std::make_unique<ksttest::TraceCapture>();
    CObjectPArrayPtr array;
    Of({new CNoCopyP, new CHostPointP(1, 1)}, &array);
    CObjectPListPtr list;
    list.AddTail(new CNoCopyP);
    std::unique_ptr<CMapStringToObjectPPtr> map(Map({{"key", new CNoCopyP}, {"empty", nullptr}}));
    CObjectPArrayPtr arrayCopy(array);
    CObjectPListPtr listCopy(list);
    CMapStringToObjectPPtr mapCopy(*map);
    CNoCopyP uncopyable;
    EXPECT_EQ(map->GetAt("absent", uncopyable), nullptr);
    EXPECT_EQ(map->GetAt("empty", uncopyable), nullptr);
    std::string trace = capture->Text();
    capture.reset();
    EXPECT_EQ(map->GetCount(), 2);
    EXPECT_EQ((std::vector{arrayCopy[0], listCopy.GetHead()}),
              (std::vector<CObjectP*>{nullptr, nullptr}));
    EXPECT_NE(arrayCopy[1], nullptr);
    for (const char* key : {"key", "empty"}) {
        CObjectP* value = &array;
        EXPECT_TRUE(mapCopy.Lookup(key, value));
        EXPECT_EQ(value, nullptr);
    }
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
    CObjectPArrayPtr array;
    array.Add(Number(1));
    array.InsertAt(0, new CHostPointP(7, 8), 3);
    ASSERT_EQ(std::pair(array.GetSize(), CHostPointP::live), std::pair(4, 3));
    EXPECT_TRUE(array[0] != array[1] && array[1] != array[2]);
    EXPECT_TRUE(*array[2] == *array[0]);
    EXPECT_EQ(ValueOf(array[3]), 1u);
    array.InsertAt(6, nullptr, 2);  // past the end: null slots fill the gap
    EXPECT_EQ(std::pair(array.GetSize(), array[5]), std::pair(8, (CObjectP*)nullptr));
    CHostPointP kept(1, 1);
    array.InsertAt(-1, &kept, 2);  // nothing inserted, the caller keeps the object
    array.InsertAt(0, &kept, 0);
    EXPECT_EQ(array.GetSize(), 8);
    static_cast<CArrayP<CObjectP*, CObjectP*>&>(array).Clear();  // the template layer deletes too
    EXPECT_EQ(CHostPointP::live, 1);
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
    a.Add(p), a.GetAt(0), a.ElementAt(0);
};
static_assert(!WritesASlot<ArrayLayer> && !WritesASlot<CObjectPArrayPtr>);
static_assert(!Resizes<ArrayLayer> && Resizes<CObjectPArrayPtr>);
static_assert(!InsertsACount<ArrayLayer> && InsertsACount<CObjectPArrayPtr>);
static_assert(!WritesAKey<MapLayer> && !WritesAKey<CMapStringToObjectPPtr>);
static_assert(ReadsAndAppends<ArrayLayer>);

TEST_F(Containers, ArchiveBytesOfEachContainer) {
    std::unique_ptr<CObjectP> array(Of<CObjectPArrayPtr>({Text("ab")})), empty(new CObjectPListPtr);
    // "a" and "r" hash to bucket 12 of 17, "b" to 13; a later entry goes to its bucket's front.
    std::unique_ptr<CObjectP> map(Map({{"b", Number(2)}, {"a", Number(1)}, {"r", Number(18)}}));
    const std::pair<CObjectP*, std::string> cases[] = {
        {array.get(), std::string("\x01\x00", 2) + NewClassTag("CStringP", 1) +
                          "\x02"
                          "ab"},
        {empty.get(), std::string("\0\0", 2)},
        {map.get(), std::string("\x03\x00", 2) + "\x01r" + NewClassTag("CUIntP", 1) +
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

// Indexes count classes and objects alike: the list's class 1, the list 2, CUIntP 3; the
// second CUIntP refers back to its class.
TEST_F(Containers, AClassSeenBeforeIsWrittenAsABackReference) {
    std::unique_ptr<CObjectP> list(Of<CObjectPListPtr>({Number(1), Number(2), nullptr}));
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { ar.WriteObject(list.get()); })),
              Hex(NewClassTag("CObjectPListPtr", 1) + std::string("\3\0", 2) +
                  NewClassTag("CUIntP", 1) + std::string("\1\0\0\0", 4) +
                  std::string("\3\x80\2\0\0\0", 6) + std::string("\0\0", 2)));
}

// Containers of containers, a host class and nulls come back as their classes; changing the
// loaded tree leaves the source alone.
TEST_F(Containers, NestedContainersRoundTripThroughAFile) {
    auto* strings = new CStringArrayP;
    strings->Add("");
    strings->Add(CString('z', 300));
    CObjectPArrayPtr array;
    Of({new CObjectP, Text("text"), new CTimeP(CTime(1700000000)), strings,
        Of<CObjectPListPtr>(
            {new CHostPointP(2, 2), nullptr, Map({{"n", Number(1)}, {"none", nullptr}})}),
        new CObjectPArrayPtr, new CPropertySet, new CHostPointP(-1, 42), nullptr},
       &array);
    std::unique_ptr<CObjectPArrayPtr> loaded;
    LoadBytes(Store([&](CArchive& ar) { ar.WriteObject(&array); }), [&](CArchive& ar) {
        loaded.reset(dynamic_cast<CObjectPArrayPtr*>(ar.ReadObject(nullptr)));
    });
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetSize(), array.GetSize());
    for (int i = 0; i < array.GetSize(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ((*loaded)[i] == nullptr, array[i] == nullptr);
        if (!array[i]) continue;
        EXPECT_EQ((*loaded)[i]->GetRuntimeClass(), array[i]->GetRuntimeClass());
        EXPECT_TRUE(*(*loaded)[i] == *array[i]);
    }
    auto* back = dynamic_cast<CObjectPListPtr*>((*loaded)[4]);
    back->SetAt(back->GetHeadPosition(), new CHostPointP(7, 7));
    EXPECT_TRUE(*loaded != array);
    loaded.reset();
    array.Clear();
}

TEST_F(Containers, LoadingDeletesWhatTheContainerHeldAndARepeatedKeyTakesTheLaterValue) {
    CObjectPArrayPtr source, array;
    source.Add(Number(1));
    Of({new CHostPointP(1, 1), new CHostPointP(2, 2)}, &array);
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
    CObjectP* value = nullptr;
    ASSERT_TRUE(map.GetCount() == 1 && map.Lookup("k", value));
    EXPECT_EQ(std::pair(dynamic_cast<CHostPointP*>(value)->m_x, CHostPointP::live),
              std::pair(2, 1));
    map.Clear();
}

}  // namespace

// A host array of version 5 that looks at its schema after its elements have been read:
// elements do not take the schema of their container.
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

TEST_F(Containers, ElementsDoNotTakeTheSchemaOfTheirContainer) {
    CHostVersionedArray array;
    Of({new CStringArrayP, Number(1)}, &array);
    std::unique_ptr<CObject> loaded;
    LoadBytes(Store([&](CArchive& ar) { ar.WriteObject(&array); }),
              [&](CArchive& ar) { loaded.reset(ar.ReadObject(nullptr)); });
    auto* host = dynamic_cast<CHostVersionedArray*>(loaded.get());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(std::pair(host->GetSize(), host->m_nSchemaRead), std::pair(2, 5u));
}
