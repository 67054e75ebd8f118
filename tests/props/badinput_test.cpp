// Damaged archives: unknown classes, wrong schemas, wrong classes, back references, cut ends
// and huge counts raise the framework's archive exception; what was read stays owned by the
// container, nothing leaks (the sanitizer build checks), nothing is reserved up front.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "HostProperty.h"
#include "KstProperties.h"
#include "ArchiveFiles.h"

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

TEST_F(BadInput, UnknownClassKeepsTheElementsReadBefore) {
    CObjectPArrayPtr array;
    int cause = LoadInto(array, CountThenOnePoint(Word(2)) + NewClassTag("CNoSuchP", 1));
    EXPECT_EQ(cause, CArchiveException::badClass);
    ASSERT_GE(array.GetSize(), 1);
    auto* point = dynamic_cast<CHostPointP*>(array[0]);
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->m_y, 2);
    for (int i = 1; i < array.GetSize(); ++i) EXPECT_EQ(array[i], nullptr);
    array.Clear();
}

TEST_F(BadInput, WrongSchemaIsRefused) {
    CObjectPListPtr list;
    int cause = LoadInto(list, Word(1) + NewClassTag("CUIntP", 2) + DWord(7));
    EXPECT_EQ(cause, CArchiveException::badSchema);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(BadInput, AClassThatIsNoPropertyIsRefusedAndNotLeaked) {
    CMapStringToObjectPPtr map;
    int cause = LoadInto(
        map, Word(1) + "\x01k" +
                 NewClassTag("CStringArray", RUNTIME_CLASS(CStringArray)->m_wSchema) + Word(0));
    EXPECT_EQ(cause, CArchiveException::badClass);
    EXPECT_EQ(map.GetCount(), 0);
}

TEST_F(BadInput, WrongRequiredClassIsRefused) {
    CUIntP number(5u);
    std::string bytes = ksttest::Store([&](CArchive& ar) { ar.WriteObject(&number); });
    CStringP* text = nullptr;
    int cause = LoadCause(bytes, [&](CArchive& ar) { ar >> text; });
    EXPECT_EQ(cause, CArchiveException::badClass);
    EXPECT_EQ(text, nullptr);
}

TEST_F(BadInput, BackReferenceCannotBeOwnedTwice) {
    // The second slot refers back to the object of the first (index 2): no double delete.
    CObjectPArrayPtr array;
    int cause = LoadInto(array, CountThenOnePoint(Word(2)) + Word(2));
    EXPECT_EQ(cause, CArchiveException::badIndex);
    ASSERT_GE(array.GetSize(), 2);
    EXPECT_NE(array[0], nullptr);
    EXPECT_EQ(array[1], nullptr);
    array.Clear();
}

TEST_F(BadInput, CutEndInsideAnElementDeletesThatElement) {
    CObjectPListPtr list;
    std::string bytes = CountThenOnePoint(Word(2)) + Word(0x8001) + DWord(9);  // y missing
    EXPECT_EQ(LoadInto(list, bytes), CArchiveException::endOfFile);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(dynamic_cast<CHostPointP*>(list.GetHead())->m_x, 1);
    list.Clear();

    CMapStringToObjectPPtr map;
    std::string cutBlob = Word(1) + "\x01k" + NewClassTag("CBinaryP", 1) + DWord(10) + "abc";
    EXPECT_EQ(LoadInto(map, cutBlob), CArchiveException::endOfFile);
    EXPECT_EQ(map.GetCount(), 0);
}

TEST_F(BadInput, HugeCountsReserveNothingTheDataCannotFill) {
    auto start = std::chrono::steady_clock::now();
    std::string hugeCount = Word(0xFFFF) + DWord(0x7FFFFFF0);

    CObjectPArrayPtr array;
    EXPECT_EQ(LoadInto(array, CountThenOnePoint(hugeCount)), CArchiveException::endOfFile);
    EXPECT_NE(array[0], nullptr);
    EXPECT_LE(array.GetAllocatedSize(), 1024 * 2);
    array.Clear();

    CObjectPListPtr list;
    EXPECT_EQ(LoadInto(list, CountThenOnePoint(hugeCount)), CArchiveException::endOfFile);
    EXPECT_EQ(list.GetCount(), 1);
    list.Clear();

    CMapStringToObjectPPtr map;
    EXPECT_EQ(LoadInto(map, hugeCount + "\x01k" + NewClassTag("CUIntP", 1) + DWord(3)),
              CArchiveException::endOfFile);
    EXPECT_EQ(map.GetCount(), 1);

    CBinaryP blob;
    EXPECT_EQ(LoadInto(blob, DWord(0xFFFFFFF0) + "abc"), CArchiveException::endOfFile);
    EXPECT_EQ(blob.GetSize(), 0u);

    CStringArrayP strings;
    EXPECT_EQ(LoadInto(strings, hugeCount + "\x01x"), CArchiveException::endOfFile);

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
        int cause = LoadInto(loaded, bytes.substr(0, cut));
        EXPECT_EQ(cause, CArchiveException::endOfFile) << "cut at " << cut;
        CObjectP* stale = nullptr;
        EXPECT_FALSE(loaded.Lookup("stale", stale));
    }
    inner.Clear();
    outer.Clear();
}

}  // namespace
