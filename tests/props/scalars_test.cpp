// Scalar property objects: classes, copies, comparison and their archive forms to the byte.
#include <gtest/gtest.h>

#include <memory>

#include "KstModule.h"
#include "KstProperties.h"
#include "PropsTestFiles.h"

using ksttest::Hex;
using propstest::LoadBytes;
using propstest::Store;

namespace {

std::string StoreBare(CObjectP& object) {
    return Store([&](CArchive& ar) { object.Serialize(ar); });
}

template <class T>
std::unique_ptr<T> LoadBare(const std::string& bytes) {
    auto object = std::make_unique<T>();
    LoadBytes(bytes, [&](CArchive& ar) { object->Serialize(ar); });
    return object;
}

TEST(RuntimeClasses, NamesSchemasAndBasesAreRegistered) {
    struct Expected {
        const char* name;
        UINT schema;
        const char* base;
    };
    const Expected classes[] = {
        {"CObjectP", 1, "CObject"},
        {"CStringP", 1, "CObjectP"},
        {"CUIntP", 1, "CObjectP"},
        {"CTimeP", 1, "CObjectP"},
        {"CBoolP", 1, "CObjectP"},
        {"CInt64P", 1, "CObjectP"},
        {"CBinaryP", 1, "CObjectP"},
        {"CStringArrayP", 0, "CObjectP"},
        {"CObjectPListPtr", 1, "CObjectP"},
        {"CObjectPArrayPtr", 1, "CObjectP"},
        {"CMapStringToObjectPPtr", 1, "CObjectP"},
        {"CPropertySet", 1, "CMapStringToObjectPPtr"},
    };
    for (const auto& expected : classes) {
        SCOPED_TRACE(expected.name);
        CRuntimeClass* pClass = CRuntimeClass::FromName(expected.name);
        ASSERT_NE(pClass, nullptr);
        EXPECT_EQ(pClass->m_wSchema, expected.schema);
        EXPECT_STREQ(pClass->m_pBaseClass->m_lpszClassName, expected.base);
        EXPECT_EQ(AfxCountClassesNamed(expected.name), 1) << "registered once";
        std::unique_ptr<CObject> created(pClass->CreateObject());
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->GetRuntimeClass(), pClass);
    }
}

TEST(ObjectP, EqualsEverythingOfItsClassAndCopiesNothing) {
    CObjectP a, b;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    std::unique_ptr<CObjectP> copy(a.CreateCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetRuntimeClass(), RUNTIME_CLASS(CObjectP));
    EXPECT_EQ(StoreBare(a), "");
}

TEST(ObjectP, IsClassIsExactAndDoesNotWalkBases) {
    CPropertySet set;
    EXPECT_TRUE(set.IsClass(RUNTIME_CLASS(CPropertySet)));
    EXPECT_FALSE(set.IsClass(RUNTIME_CLASS(CMapStringToObjectPPtr)));
    EXPECT_TRUE(set.IsKindOf(RUNTIME_CLASS(CMapStringToObjectPPtr)));
}

TEST(ObjectP, AcrossClassesAssignmentDoesNothingAndObjectsDiffer) {
    CStringP text(CString("abc"));
    CUIntP number(7u);
    CObjectP& asBase = text;
    asBase = static_cast<const CObjectP&>(number);
    EXPECT_EQ(CString(text), "abc");
    EXPECT_FALSE(asBase == number);
    EXPECT_TRUE(asBase != number);
    CObjectP plain;
    EXPECT_FALSE(plain == text);  // the string's comparison: another class
    // A plain CObjectP's own comparison finds every object equal.
    const CObjectP& plainAsBase = plain;
    EXPECT_TRUE(plainAsBase.operator==(asBase));
    EXPECT_FALSE(plainAsBase.operator!=(asBase));
}

TEST(StringP, ComparesCaseSensitivelyAndStoresTheStringForm) {
    CStringP lower(CString("abc")), upper(CString("ABC")), same(CString("abc"));
    EXPECT_TRUE(lower != upper);
    EXPECT_TRUE(lower == same);
    EXPECT_EQ(lower.GetLength(), 3);  // a CString in every respect
    EXPECT_EQ(Hex(StoreBare(lower)), "03 61 62 63");
    EXPECT_EQ(CString(*LoadBare<CStringP>(StoreBare(lower))), "abc");
}

TEST(UIntP, StoresFourLittleEndianBytes) {
    CUIntP seven(7u);
    EXPECT_EQ(static_cast<UINT>(seven), 7u);
    EXPECT_EQ(Hex(StoreBare(seven)), "07 00 00 00");
    CUIntP big(0xFFFFFFFEu);
    EXPECT_EQ(static_cast<UINT>(*LoadBare<CUIntP>(StoreBare(big))), 0xFFFFFFFEu);
    EXPECT_TRUE(CUIntP(1u) != CUIntP(2u));
}

TEST(BoolP, StoresTheByteAndComparesBytes) {
    CBoolP yes;
    yes.SetValue(true);
    EXPECT_EQ(Hex(StoreBare(yes)), "01");
    EXPECT_TRUE(LoadBare<CBoolP>("\x01")->GetValue());
    // Two different non-zero bytes are both true but not equal.
    auto two = LoadBare<CBoolP>("\x02");
    EXPECT_TRUE(two->GetValue());
    EXPECT_TRUE(*two != yes);
    EXPECT_FALSE(CBoolP().GetValue());
}

TEST(TimeP, StoresEightBytesHighWordFirst) {
    CTimeP time(CTime(256));
    EXPECT_EQ(Hex(StoreBare(time)), "00 00 00 00 00 01 00 00");
    EXPECT_EQ(CTimeP().GetTime(), 0);
    CTimeP before1970(CTime(-86400));
    EXPECT_EQ(Hex(StoreBare(before1970)), "ff ff ff ff 80 ae fe ff");
    EXPECT_EQ(LoadBare<CTimeP>(StoreBare(before1970))->GetTime(), -86400);
    EXPECT_TRUE(*LoadBare<CTimeP>(StoreBare(time)) == time);
}

TEST(Int64P, StoresHighWordThenLowWord) {
    CInt64P minusTwo;
    minusTwo.SetValue(-2);
    EXPECT_EQ(Hex(StoreBare(minusTwo)), "ff ff ff ff fe ff ff ff");
    EXPECT_EQ(LoadBare<CInt64P>(StoreBare(minusTwo))->GetValue(), -2);
    CInt64P large;
    large.SetValue(0x123456789ALL);
    EXPECT_EQ(Hex(StoreBare(large)), "12 00 00 00 9a 78 56 34");
    EXPECT_EQ(LoadBare<CInt64P>(StoreBare(large))->GetValue(), 0x123456789ALL);
    CInt64P sameLow;
    sameLow.SetValue(0x9A78563400LL + 0x12);  // differs only in the high word from large
    EXPECT_TRUE(large != sameLow);
}

CBinaryP Bytes(std::initializer_list<BYTE> bytes) {
    CBinaryP blob;
    if (bytes.size() > 0) blob.Allocate(static_cast<UINT>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), blob.GetData());
    return blob;
}

std::string Content(const CBinaryP& blob, UINT count) {
    return std::string(reinterpret_cast<const char*>(blob.GetData()), count);
}

TEST(BinaryP, StoresSizeThenRawBytes) {
    EXPECT_EQ(Hex(StoreBare(*std::make_unique<CBinaryP>(Bytes({0xAA, 0xBB, 0xCC})))),
              "03 00 00 00 aa bb cc");
    CBinaryP empty;
    EXPECT_EQ(Hex(StoreBare(empty)), "00 00 00 00");
    auto loaded = LoadBare<CBinaryP>(std::string("\x02\x00\x00\x00\x10\x20", 6));
    EXPECT_EQ(loaded->GetSize(), 2u);
    EXPECT_EQ(Hex(Content(*loaded, 2)), "10 20");
}

TEST(BinaryP, LoadingReplacesTheOldContent) {
    CBinaryP blob = Bytes({1, 2, 3, 4});
    LoadBytes(std::string("\x00\x00\x00\x00", 4), [&](CArchive& ar) { blob.Serialize(ar); });
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_EQ(blob.GetData(), nullptr);
}

TEST(BinaryP, AllocateAndResizeFollowTheirRules) {
    CBinaryP blob;
    EXPECT_EQ(blob.Allocate(0), 0);
    EXPECT_EQ(blob.GetData(), nullptr);
    blob = Bytes({1, 2, 3, 4});
    blob.Resize(2);
    EXPECT_EQ(blob.GetSize(), 2u);
    EXPECT_EQ(Hex(Content(blob, 2)), "01 02");
    blob.Resize(4);
    EXPECT_EQ(blob.GetSize(), 4u);
    EXPECT_EQ(Hex(Content(blob, 2)), "01 02");
    const BYTE* before = blob.GetData();
    blob.Resize(4);
    EXPECT_EQ(blob.GetData(), before);
    blob.Resize(0);
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_EQ(blob.GetData(), nullptr);
}

TEST(BinaryP, CopiesAreDeepAndEmptySourcesEmptyTheTarget) {
    CBinaryP source = Bytes({9, 8, 7});
    std::unique_ptr<CObjectP> copy(source.CreateCopy());
    auto& blob = static_cast<CBinaryP&>(*copy);
    EXPECT_NE(blob.GetData(), source.GetData());
    EXPECT_TRUE(blob == source);
    source.GetData()[0] = 0;
    EXPECT_TRUE(blob != source);
    blob = CBinaryP();
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_TRUE(blob == CBinaryP());
}

TEST(StringArrayP, StoresCountThenStrings) {
    CStringArray strings;
    strings.Add("a");
    strings.Add("bc");
    CStringArrayP array(strings);
    EXPECT_EQ(Hex(StoreBare(array)), "02 00 01 61 02 62 63");
    auto loaded = LoadBare<CStringArrayP>(StoreBare(array));
    EXPECT_TRUE(*loaded == array);
    CStringArray appended;
    appended.Add("x");
    loaded->AppendTo(appended);
    ASSERT_EQ(appended.GetSize(), 3);
    EXPECT_EQ(appended[2], "bc");
}

TEST(StringArrayP, LoadingReplacesTheOldContent) {
    CStringArrayP array;
    array.Add("old");
    array.Add("older");
    LoadBytes(std::string("\x01\x00\x03new", 6), [&](CArchive& ar) { array.Serialize(ar); });
    ASSERT_EQ(array.GetSize(), 1);
    EXPECT_EQ(array.GetAt(0), "new");
}

TEST(StringArrayP, GrowsByAnEighthKeptWithinFourAndAThousand) {
    CStringArrayP forty;
    forty.SetSize(40);
    ASSERT_EQ(forty.GetAllocatedSize(), 40);
    forty.Add("x");
    EXPECT_EQ(forty.GetAllocatedSize(), 45);
    CStringArrayP four;
    four.SetSize(4);
    four.Add("x");
    EXPECT_EQ(four.GetAllocatedSize(), 8);
    four.Clear();
    EXPECT_EQ(four.GetSize(), 0);
    EXPECT_EQ(four.GetAllocatedSize(), 0);
}

TEST(StringArrayP, ComparesSizesAndEveryStringCaseSensitively) {
    CStringArrayP left, right;
    left.Add("a");
    right.Add("A");
    EXPECT_TRUE(left != right);
    right.SetAt(0, "a");
    EXPECT_TRUE(left == right);
    right.Add("b");
    EXPECT_TRUE(left != right);
}

}  // namespace
