// Scalar property objects: classes, copies, comparison and their archive forms to the byte.
#include <gtest/gtest.h>

#include <memory>

#include "KstModule.h"
#include "KstProperties.h"
#include "ArchiveFiles.h"

using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::Store;

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

CBinaryP Bytes(std::initializer_list<BYTE> bytes) {
    CBinaryP blob;
    if (bytes.size() > 0) blob.Allocate(static_cast<UINT>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), blob.GetData());
    return blob;
}

template <class T, class... A>
std::unique_ptr<CObjectP> Make(A&&... args) {
    return std::make_unique<T>(std::forward<A>(args)...);
}

template <class T, class V>
std::unique_ptr<CObjectP> MakeSet(V value) {
    auto object = std::make_unique<T>();
    object->SetValue(value);
    return object;
}

// Every scalar's bare archive form to the byte, and the object it loads back into.
TEST(Scalars, StoreTheirExactBytesAndLoadBackEqual) {
    CStringArray strings;
    strings.Add("a");
    strings.Add("bc");
    struct Case {
        std::unique_ptr<CObjectP> object;
        const char* bytes;
    };
    Case cases[] = {
        {Make<CStringP>(CString("abc")), "03 61 62 63"},
        {Make<CUIntP>(7u), "07 00 00 00"},
        {Make<CUIntP>(0xFFFFFFFEu), "fe ff ff ff"},
        {MakeSet<CBoolP>(true), "01"},
        {Make<CTimeP>(CTime(256)), "00 00 00 00 00 01 00 00"},  // high word first
        {Make<CTimeP>(CTime(-86400)), "ff ff ff ff 80 ae fe ff"},
        {MakeSet<CInt64P>(-2LL), "ff ff ff ff fe ff ff ff"},
        {MakeSet<CInt64P>(0x123456789ALL), "12 00 00 00 9a 78 56 34"},
        {Make<CBinaryP>(Bytes({0xAA, 0xBB, 0xCC})), "03 00 00 00 aa bb cc"},
        {Make<CBinaryP>(), "00 00 00 00"},
        {Make<CStringArrayP>(strings), "02 00 01 61 02 62 63"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::string bytes = StoreBare(*c.object);
        EXPECT_EQ(Hex(bytes), c.bytes) << c.object->GetRuntimeClass()->m_lpszClassName;
        std::unique_ptr<CObject> made(c.object->GetRuntimeClass()->CreateObject());
        auto* back = static_cast<CObjectP*>(made.get());
        LoadBytes(bytes, [&](CArchive& ar) { back->Serialize(ar); });
        EXPECT_TRUE(*back == *c.object);
    }
}

TEST(StringP, ComparesCaseSensitively) {
    CStringP lower(CString("abc")), upper(CString("ABC")), same(CString("abc"));
    EXPECT_TRUE(lower != upper);
    EXPECT_TRUE(lower == same);
    EXPECT_EQ(lower.GetLength(), 3);  // a CString in every respect
    EXPECT_TRUE(CUIntP(1u) != CUIntP(2u));
}

TEST(BoolP, ComparesBytes) {
    CBoolP yes;
    yes.SetValue(true);
    // Two different non-zero bytes are both true but not equal.
    auto two = LoadBare<CBoolP>("\x02");
    EXPECT_TRUE(two->GetValue());
    EXPECT_TRUE(*two != yes);
    EXPECT_FALSE(CBoolP().GetValue());
    EXPECT_EQ(CTimeP().GetTime(), 0);
}

TEST(Int64P, ComparesBothWords) {
    CInt64P large, sameLow;
    large.SetValue(0x123456789ALL);
    sameLow.SetValue(0x9A78563400LL + 0x12);  // differs only in the high word from large
    EXPECT_TRUE(large != sameLow);
}

std::string Content(const CBinaryP& blob, UINT count) {
    return std::string(reinterpret_cast<const char*>(blob.GetData()), count);
}

TEST(BinaryP, LoadingReplacesTheOldContent) {
    auto loaded = LoadBare<CBinaryP>(std::string("\x02\x00\x00\x00\x10\x20", 6));
    EXPECT_EQ(loaded->GetSize(), 2u);
    EXPECT_EQ(Hex(Content(*loaded, 2)), "10 20");
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

TEST(StringArrayP, AppendsToAList) {
    CStringArrayP array;
    array.Add("a");
    array.Add("bc");
    CStringArray appended;
    appended.Add("x");
    array.AppendTo(appended);
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
