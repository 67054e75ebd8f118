// Damaged archives: unknown classes, wrong schemas, wrong classes, back references, cut ends
// and huge counts raise the framework's archive exception; what was read stays owned by the
// container, nothing leaks (the sanitizer build checks), nothing is reserved up front.
#include <gtest/gtest.h>

#include <chrono>

#include "ArchiveFiles.h"
#include "HostProperty.h"

using ksttest::LoadCause;
using ksttest::NewClassTag;

namespace {

std::string Word(unsigned value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string DWord(unsigned value) {
    return Word(value & 0xFFFF) + Word(value >> 16);
}

// A container's count, then a CHostPointP holding (1, 2).
std::string CountThenOnePoint(const std::string& count) {
    return count + NewClassTag("CHostPointP", 3) + DWord(1) + DWord(2);
}

template <class Container>
int LoadInto(Container& container, const std::string& bytes) {
    return LoadCause(bytes, [&](CArchive& ar) { container.Serialize(ar); });
}

class BadInput : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CHostPointP::live, 0) << "host objects leaked"; }
};

// An unknown class keeps the elements read before; a wrong schema, a class that is no
// property (not leaked) and a wrong required class are refused; a back reference to the
// object of the first slot (index 2) cannot be owned twice; a cut end inside an element
// deletes that element.
TEST_F(BadInput, RefusedClassesBackReferencesAndCutEnds) {
    CObjectPArrayPtr array, twice;
    CObjectPListPtr list, cut;
    CMapStringToObjectPPtr map, cutBlob;
    CStringP* text = nullptr;
    CUIntP number(5u);
    std::string tagged = ksttest::Store([&](CArchive& ar) { ar.WriteObject(&number); });
    EXPECT_EQ(LoadInto(array, CountThenOnePoint(Word(2)) + NewClassTag("CNoSuchP", 1)),
              CArchiveException::badClass);
    EXPECT_EQ(LoadInto(list, Word(1) + NewClassTag("CUIntP", 2) + DWord(7)),
              CArchiveException::badSchema);
    EXPECT_EQ(
        LoadInto(map, Word(1) + "\x01k" +
                          NewClassTag("CStringArray", RUNTIME_CLASS(CStringArray)->m_wSchema) +
                          Word(0)),
        CArchiveException::badClass);
    EXPECT_EQ(LoadCause(tagged, [&](CArchive& ar) { ar >> text; }), CArchiveException::badClass);
    EXPECT_EQ(LoadInto(twice, CountThenOnePoint(Word(2)) + Word(2)), CArchiveException::badIndex);
    EXPECT_EQ(LoadInto(cut, CountThenOnePoint(Word(2)) + Word(0x8001) + DWord(9)),  // y missing
              CArchiveException::endOfFile);
    EXPECT_EQ(LoadInto(cutBlob, Word(1) + "\x01k" + NewClassTag("CBinaryP", 1) + DWord(10) + "abc"),
              CArchiveException::endOfFile);
    ASSERT_TRUE(array.GetSize() >= 1 && twice.GetSize() >= 2 && cut.GetCount() == 1);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(array[0])->m_y, 2);
    for (int i = 1; i < array.GetSize(); ++i) EXPECT_EQ(array[i], nullptr);
    EXPECT_EQ(list.GetCount() + map.GetCount() + cutBlob.GetCount(), 0);
    EXPECT_TRUE(text == nullptr && twice[0] != nullptr && twice[1] == nullptr);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(cut.GetHead())->m_x, 1);
    array.Clear(), twice.Clear(), cut.Clear();
}

TEST_F(BadInput, HugeCountsReserveNothingTheDataCannotFill) {
    auto start = std::chrono::steady_clock::now();
    std::string hugeCount = Word(0xFFFF) + DWord(0x7FFFFFF0);

    CObjectPArrayPtr array;
    CObjectPListPtr list;
    CMapStringToObjectPPtr map;
    CBinaryP blob;
    CStringArrayP strings;
    EXPECT_EQ((std::vector{LoadInto(array, CountThenOnePoint(hugeCount)),
                           LoadInto(list, CountThenOnePoint(hugeCount)),
                           LoadInto(map, hugeCount + "\x01k" + NewClassTag("CUIntP", 1) + DWord(3)),
                           LoadInto(blob, DWord(0xFFFFFFF0) + "abc"),
                           LoadInto(strings, hugeCount + "\x01x")}),
              std::vector<int>(5, CArchiveException::endOfFile));
    EXPECT_NE(array[0], nullptr);
    EXPECT_LE(array.GetAllocatedSize(), 1024 * 2);
    EXPECT_EQ((std::vector{list.GetCount(), map.GetCount(), int(blob.GetSize())}),
              (std::vector{1, 1, 0}));
    array.Clear();
    list.Clear();
    CObjectPArrayPtr beyondInt;
    EXPECT_NE(LoadInto(beyondInt, Word(0xFFFF) + DWord(0xFFFFFFFF)), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(BadInput, DamageInsideANestedContainerLeavesTheOuterOneConsistent) {
    CObjectPArrayPtr inner;
    inner.Add(new CHostPointP(4, 4));
    inner.Add(new CHostPointP(5, 5));
    CPropertySet outer;
    outer.SetAt("inner", inner.CreateCopy());
    outer.SetAt("n", 1u);
    std::string bytes = ksttest::Store([&](CArchive& ar) { outer.Serialize(ar); });
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        CPropertySet loaded;
        loaded.SetAt("stale", new CHostPointP(0, 0));
        EXPECT_EQ(LoadInto(loaded, bytes.substr(0, cut)), CArchiveException::endOfFile) << cut;
        CObjectP* stale = nullptr;
        EXPECT_FALSE(loaded.Lookup("stale", stale));
    }
    inner.Clear();
    outer.Clear();
}

}  // namespace
