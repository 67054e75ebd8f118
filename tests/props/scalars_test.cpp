// Scalar property objects: classes, copies, comparison and their archive forms to the byte.
#include <gtest/gtest.h>

#include <memory>

#include "ArchiveFiles.h"
#include "KstModule.h"
#include "KstProperties.h"

using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::NewClassTag;
using ksttest::Store;

namespace {

std::string StoreBare(CObjectP& object) {
    return Store([&](CArchive& ar) { object.Serialize(ar); });
}

template <class T>
std::unique_ptr<T> LoadBare(const std::string& bytes, std::unique_ptr<T> object = nullptr) {
    if (!object) object = std::make_unique<T>();
    LoadBytes(bytes, [&](CArchive& ar) { object->Serialize(ar); });
    return object;
}

// Name, schema, base class; registered once, created as its class.
TEST(RuntimeClasses, NamesSchemasAndBasesAreRegistered) {
    std::string got;
    for (const char* name : {"CObjectP", "CStringP", "CUIntP", "CTimeP", "CBoolP", "CInt64P",
                             "CBinaryP", "CStringArrayP", "CObjectPListPtr", "CObjectPArrayPtr",
                             "CMapStringToObjectPPtr", "CPropertySet"}) {
        CRuntimeClass* c = CRuntimeClass::FromName(name);
        ASSERT_NE(c, nullptr) << name;
        std::unique_ptr<CObject> created(c->CreateObject());
        got += std::string(name) + " " + std::to_string(c->m_wSchema) + " " +
               c->m_pBaseClass->m_lpszClassName +
               (AfxCountClassesNamed(name) == 1 && created->GetRuntimeClass() == c ? "" : " ?") +
               "\n";
    }
    EXPECT_EQ(got,
              "CObjectP 1 CObject\nCStringP 1 CObjectP\nCUIntP 1 CObjectP\nCTimeP 1 CObjectP\n"
              "CBoolP 1 CObjectP\nCInt64P 1 CObjectP\nCBinaryP 1 CObjectP\n"
              "CStringArrayP 0 CObjectP\nCObjectPListPtr 1 CObjectP\nCObjectPArrayPtr 1 CObjectP\n"
              "CMapStringToObjectPPtr 1 CObjectP\nCPropertySet 1 CMapStringToObjectPPtr\n");
    CPropertySet set;  // IsClass is exact and does not walk the bases
    EXPECT_TRUE(set.IsClass(RUNTIME_CLASS(CPropertySet)));
    EXPECT_FALSE(set.IsClass(RUNTIME_CLASS(CMapStringToObjectPPtr)));
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
    } cases[] = {
        {Make<CObjectP>(), ""},
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
        CRuntimeClass* cls = c.object->GetRuntimeClass();
        EXPECT_EQ(Hex(bytes), c.bytes) << cls->m_lpszClassName;
        // As an element: the class tag with its schema, then the same bytes.
        EXPECT_EQ(Store([&](CArchive& ar) { ar.WriteObject(c.object.get()); }),
                  NewClassTag(cls->m_lpszClassName, cls->m_wSchema) + bytes);
        std::unique_ptr<CObjectP> copy(c.object->CreateCopy());
        std::unique_ptr<CObject> made(cls->CreateObject());
        auto* back = static_cast<CObjectP*>(made.get());
        LoadBytes(bytes, [&](CArchive& ar) { back->Serialize(ar); });
        EXPECT_TRUE(*back == *c.object);
        ASSERT_EQ(copy->GetRuntimeClass(), cls);
        EXPECT_TRUE(*copy == *c.object);
    }
}

// Pairs that must differ: the left object's comparison decides.
TEST(Scalars, ComparisonsTellThesePairsApart) {
    CInt64P large, sameLow;
    large.SetValue(0x123456789ALL);
    sameLow.SetValue(0x9A78563400LL + 0x12);  // differs only in the high word
    CBoolP yes;
    yes.SetValue(true);
    auto two = LoadBare<CBoolP>("\x02");  // true as well, but another byte
    EXPECT_TRUE(two->GetValue());
    CStringArrayP a, aA, ab;
    a.Add("a"), aA.Add("A"), ab.Add("a"), ab.Add("b");
    CStringP text(CString("abc")), upper(CString("ABC"));
    CUIntP seven(7u);
    const std::pair<const CObjectP*, const CObjectP*> differ[] = {
        {&large, &sameLow}, {two.get(), &yes}, {&a, &aA},
        {&a, &ab},          {&text, &upper},   {&text, &seven}};
    for (auto [left, right] : differ) {
        EXPECT_FALSE(*left == *right) << left->GetRuntimeClass()->m_lpszClassName;
        EXPECT_TRUE(*left != *right);
    }
    EXPECT_EQ(text.GetLength(), 3);  // a CString in every respect
    // Across classes assignment does nothing; a plain CObjectP equals anything.
    CObjectP& asBase = text;
    asBase = static_cast<const CObjectP&>(seven);
    EXPECT_EQ(CString(text), "abc");
    CObjectP plain;
    const CObjectP& plainAsBase = plain;
    EXPECT_TRUE(!(text == plain) && plainAsBase.operator==(text) && !plainAsBase.operator!=(text));
    EXPECT_TRUE(!CBoolP().GetValue() && CTimeP().GetTime() == 0);
}

std::string Content(const CBinaryP& blob) {
    return Hex(std::string(reinterpret_cast<const char*>(blob.GetData()), blob.GetSize()));
}

TEST(BinaryP, LoadingResizingAndCopyingReplaceTheContent) {
    auto loaded = LoadBare<CBinaryP>(std::string("\x02\x00\x00\x00\x10\x20", 6),
                                     std::make_unique<CBinaryP>(Bytes({1, 2, 3, 4})));
    EXPECT_EQ(Content(*loaded), "10 20");
    loaded = LoadBare<CBinaryP>(std::string(4, '\0'), std::move(loaded));
    EXPECT_EQ(std::pair(loaded->GetSize(), loaded->GetData()), std::pair(0u, (BYTE*)nullptr));

    CBinaryP blob;
    EXPECT_EQ((std::pair{blob.Allocate(0), blob.GetData()}), std::pair(0, (BYTE*)nullptr));
    blob = Bytes({1, 2, 3, 4});
    blob.Resize(2);
    EXPECT_EQ(Content(blob), "01 02");
    blob.Resize(4);
    EXPECT_EQ(Content(blob).substr(0, 5), "01 02");
    const BYTE* before = blob.GetData();
    blob.Resize(4);
    EXPECT_EQ(blob.GetData(), before);

    std::unique_ptr<CObjectP> copy(blob.CreateCopy());
    auto& deep = static_cast<CBinaryP&>(*copy);
    blob.GetData()[0] = 9;
    EXPECT_TRUE(deep.GetData() != blob.GetData() && deep != blob);
    blob.Resize(0);
    EXPECT_EQ(blob.GetData(), nullptr);
    deep = CBinaryP();  // an empty source empties the target
    EXPECT_TRUE(deep.GetSize() == 0u && deep == CBinaryP());
}

TEST(StringArrayP, LoadingReplacesAppendsToAListAndClearFrees) {
    auto array = std::make_unique<CStringArrayP>();
    array->Add("old");
    array->Add("older");
    array = LoadBare<CStringArrayP>(std::string("\x02\x00\x03new\x02"
                                                "bc",
                                                9),
                                    std::move(array));
    CStringArray appended;
    appended.Add("x");
    array->AppendTo(appended);
    ASSERT_EQ(appended.GetSize(), 3);
    EXPECT_EQ(appended[0] + appended[1] + appended[2], "xnewbc");
    array->Clear();
    EXPECT_EQ(std::pair(array->GetSize(), array->GetAllocatedSize()), std::pair(0, 0));
}

}  // namespace
