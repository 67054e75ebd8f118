// The XML form of every property class: exact texts of the scalars, the hexadecimal quirks,
// containers with null slots, nesting three levels deep, texts that need escaping and
// Cyrillic in code pages 1251 and UTF-8, and documents written by hand as another program
// would write them; times across zones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "../props/HostProperty.h"
#include "KstPlatform.h"
#include "KstTest.h"
#include "ProcessState.h"
#include "XmlTestSupport.h"

using xmltest::Document;
using xmltest::Load;
using xmltest::Store;

namespace {

std::unique_ptr<CObjectP> Make(CObjectP* object) {
    return std::unique_ptr<CObjectP>(object);
}

CBinaryP* Binary(std::initializer_list<BYTE> bytes) {
    auto* binary = new CBinaryP;
    binary->Allocate(static_cast<UINT>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), binary->GetData());
    return binary;
}

template <class T, class V>
T* With(V value) {
    auto* object = new T;
    object->SetValue(value);
    return object;
}
CBoolP* Bool(bool value) {
    return With<CBoolP>(value);
}
CInt64P* Int64(int64_t value) {
    return With<CInt64P>(value);
}

CStringArrayP* Strings(std::initializer_list<const char*> items) {
    auto* strings = new CStringArrayP;
    for (const char* s : items) strings->Add(s);
    return strings;
}

std::string Body(const std::string& xml, const char* root = "<Root") {
    size_t start = xml.find(root);
    return xml.substr(start, xml.rfind('>') + 1 - start);
}

TEST(ScalarForms, WriteExactlyAndReadBackEqual) {
    const std::pair<CObjectP*, const char*> cases[] = {
        {new CStringP(CString("a<b & \"c\" 'd'\r\nx")),
         "<Root>a&lt;b &amp; \"c\" 'd'&#13;\nx</Root>"},
        {new CStringP, "<Root/>"},
        {new CUIntP(7u), "<Root>7</Root>"},
        {new CUIntP(0xFFFFFFFFu), "<Root>-1</Root>"},
        {Bool(true), "<Root>1</Root>"},
        {Bool(false), "<Root>0</Root>"},
        {Int64(-(int64_t{1} << 33)), "<Root>-8589934592</Root>"},
        {Binary({0x00, 0x1F, 0xA0}), "<Root>001FA0</Root>"},
        {new CBinaryP, "<Root/>"},
        {Strings({"a", "", "c&"}),
         "<Root Count=\"3\"><Item>a</Item><Item/><Item>c&amp;</Item></Root>"},
        {new CStringArrayP, "<Root Count=\"0\"/>"},
        {new CObjectP, "<Root/>"},
    };
    for (auto [made, body] : cases) {
        SCOPED_TRACE(body);
        auto object = Make(made);
        EXPECT_EQ(Body(Store(*object)), body);
        auto copy = Make(object->CreateCopy());
        copy->Clear();
        Load(Store(*object), *copy);
        EXPECT_TRUE(*copy == *object);
    }
}

// The value of a scalar as text, for the quirks below.
std::string Describe(CObjectP& o) {
    if (auto* b = dynamic_cast<CBinaryP*>(&o))
        return ksttest::Hex(std::string(reinterpret_cast<char*>(b->GetData()), b->GetSize()));
    if (auto* f = dynamic_cast<CBoolP*>(&o)) return f->GetValue() ? "true" : "false";
    if (auto* u = dynamic_cast<CUIntP*>(&o)) return std::to_string(UINT(*u));
    if (auto* i = dynamic_cast<CInt64P*>(&o)) return std::to_string(i->GetValue());
    std::string items;
    auto& strings = dynamic_cast<CStringArrayP&>(o);
    for (int i = 0; i < strings.GetSize(); ++i) items += strings.GetAt(i).str() + ";";
    return items;
}

// Texts another program may write: each is read as the form says.
TEST(LoadQuirks, ReadAsTheFormSays) {
    const struct {
        CObjectP* before;
        const char* xml;
        const char* value;
    } cases[] = {
        {new CBinaryP, "<Root>1fa0</Root>", "10 00"},
        {new CBinaryP, "<Root>ABC</Root>", "ab"},
        {Binary({1, 2, 3, 4, 5}), "<Root>zz-Z</Root>", "00 00"},
        {new CBoolP, "<Root>2</Root>", "true"},
        {Bool(true), "<Root>abc</Root>", "false"},
        {new CUIntP(9u), "<Root>1.5</Root>", "9"},
        {new CUIntP, "<Root> -5 </Root>", "4294967291"},
        {new CInt64P, "<Root>12abc</Root>", "12"},
        {Int64(5), "<Root>abc</Root>", "0"},
        {Strings({"old"}), "<Root Count=\"7\"><Item>x</Item><!--c--><Other>y</Other>z</Root>",
         "x;c;y;z;"},
    };
    for (const auto& c : cases) {
        auto object = Make(c.before);
        Load(c.xml, *object);
        EXPECT_EQ(Describe(*object), c.value) << c.xml;
    }
}

// Null slots and values are counted, not written; an array comes back without them. A set
// writes its entries in traversal order.
TEST(ContainerForms, NullsAreCountedNotWrittenAndSetsKeepTraversalOrder) {
    CObjectPArrayPtr array;
    array.Add(new CUIntP(1u));
    array.Add(nullptr);
    array.Add(new CStringP(CString("b")));
    std::string xml = Store(array);
    EXPECT_EQ(Body(xml), "<Root Count=\"3\"><CUIntP>1</CUIntP><CStringP>b</CStringP></Root>");
    CObjectPArrayPtr copy;
    Load(xml, copy);
    ASSERT_EQ(copy.GetSize(), 2);
    EXPECT_EQ(UINT(*dynamic_cast<CUIntP*>(copy[0])), 1u);
    EXPECT_EQ(*dynamic_cast<CStringP*>(copy[1]), "b");

    CMapStringToObjectPPtr map;
    map.SetAt("a", nullptr);
    map.SetAt("b", nullptr);
    map.SetAt("c", new CUIntP(3u));
    EXPECT_EQ(Body(Store(map)), "<Root Count=\"3\"><CUIntP Key=\"c\">3</CUIntP></Root>");

    CPropertySet set;
    set.SetAt("Error.Code", 5u);
    set.SetAt("Error.Operation", "Copy");
    std::string expected = "<Params Count=\"2\">";
    CString key;
    for (POSITION pos = set.GetStartPosition(); pos;) {
        set.GetNextKey(pos, key);
        expected += key == "Error.Code" ? "<CUIntP Key=\"Error.Code\">5</CUIntP>"
                                        : "<CStringP Key=\"Error.Operation\">Copy</CStringP>";
    }
    EXPECT_EQ(Body(Store(set, "Params"), "<Params"), expected + "</Params>");
}

// Sets in arrays in maps in lists, every class at the bottom.
TEST(ContainerForms, ThreeLevelsOfEveryClassComeBackEqual) {
    auto makeSet = [] {
        auto* set = new CPropertySet;
        set->SetAt("s", "x<y>&\"'\n");
        set->SetAt("u", 42u);
        CTimeP time(CTime(2024, 5, 1, 10, 20, 30));
        set->CMapStringToObjectPPtr::SetAt("t", time.CreateCopy());
        set->CMapStringToObjectPPtr::SetAt("b", Bool(true));
        set->CMapStringToObjectPPtr::SetAt("i", Int64(-3));
        set->CMapStringToObjectPPtr::SetAt("x", Binary({0xDE, 0xAD}));
        set->CMapStringToObjectPPtr::SetAt("l", Strings({"p", "q"}));
        set->CMapStringToObjectPPtr::SetAt("o", new CObjectP);
        return set;
    };
    CObjectPListPtr list;
    for (int i = 0; i < 2; ++i) {
        auto* map = new CMapStringToObjectPPtr;
        auto* array = new CObjectPArrayPtr;
        array->Add(makeSet());
        array->Add(nullptr);
        array->Add(makeSet());
        map->SetAt("array", array);
        list.AddTail(map);
    }
    list.AddTail(nullptr);
    CObjectPListPtr copy;
    Load(Store(list), copy);
    // The null list element and the null array slots do not come back.
    ASSERT_EQ(copy.GetCount(), 2);
    auto* map = dynamic_cast<CMapStringToObjectPPtr*>(copy.GetHead());
    ASSERT_NE(map, nullptr);
    CObjectP* array = nullptr;
    ASSERT_TRUE(map->Lookup("array", array));
    ASSERT_EQ(dynamic_cast<CObjectPArrayPtr*>(array)->GetSize(), 2);
    auto expected = Make(makeSet());
    EXPECT_TRUE(*dynamic_cast<CObjectPArrayPtr*>(array)->GetAt(1) == *expected);
}

class CodePages : public ::testing::TestWithParam<unsigned> {
protected:
    void TearDown() override { kst::SetCodePages(CP_UTF8, 866); }
};

// The same Cyrillic text is written as the same UTF-8 document in either page.
TEST_P(CodePages, CyrillicCrossesThroughTheAnsiPage) {
    kst::SetCodePages(GetParam(), 866);
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
    const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    CString ansi(GetParam() == 1251 ? cp1251 : utf8);
    CPropertySet set;
    set.SetAt(ansi, ansi);
    std::string xml = Store(set);
    EXPECT_NE(xml.find("Key=\"" + utf8 + "\">" + utf8 + "<"), std::string::npos) << xml;
    CPropertySet copy;
    Load(xml, copy);
    CStringP* value = nullptr;
    ASSERT_TRUE(copy.Lookup(ansi, value));
    EXPECT_EQ(*value, ansi);
}

INSTANTIATE_TEST_SUITE_P(All, CodePages, ::testing::Values(1251u, CP_UTF8));

// Hand-written documents: unusual order, unknown classes, text and comments between elements,
// children without "Key", a Count that does not match.
TEST(HandWritten, MapSkipsWhatItCannotPlaceArrayKeepsPositionsListOrder) {
    CPropertySet set;
    set.SetAt("old", 1u);
    Load(
        "<Root Count='99'>text<!-- note --><CStringP Key='b'>B</CStringP>"
        "<CNoSuchP Key='x'>?</CNoSuchP><CUIntP>7</CUIntP><?CUIntP 5?>"
        "<CUIntP Key='a'>1</CUIntP><CUIntP Key='a'>2</CUIntP></Root>",
        set);
    EXPECT_EQ(set.GetCount(), 2);
    CUIntP* a = nullptr;
    ASSERT_TRUE(set.Lookup("a", a));
    EXPECT_EQ(UINT(*a), 2u);  // a repeated key keeps the later one
    CStringP* b = nullptr;
    ASSERT_TRUE(set.Lookup("b", b));
    EXPECT_EQ(*b, "B");

    const char* xml =
        "<Root Count='1'><CStringArray/><CStringP>a</CStringP>x<CNoSuchP/>"
        "<CHostPointP/><!--c--><CUIntP>2</CUIntP></Root>";
    CObjectPArrayPtr array;
    Load(xml, array);
    ASSERT_EQ(array.GetSize(), 7);
    for (int i : {0, 2, 3, 5}) EXPECT_EQ(array[i], nullptr) << i;
    EXPECT_NE(dynamic_cast<CStringP*>(array[1]), nullptr);
    EXPECT_NE(dynamic_cast<CHostPointP*>(array[4]), nullptr);
    EXPECT_NE(dynamic_cast<CUIntP*>(array[6]), nullptr);
    CObjectPListPtr list;
    Load(xml, list);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_NE(dynamic_cast<CStringP*>(list.GetHead()), nullptr);
    EXPECT_NE(dynamic_cast<CUIntP*>(list.GetTail()), nullptr);
    array.Clear();
    list.Clear();
}

// The mix-in's node helpers take the class of the whole object.
TEST(Support, NodesAreNamedByTheObjectsClass) {
    Document doc;
    CHostPointP point;
    CXMLNode node;
    ASSERT_TRUE(point.CreateXMLNode(doc.Wrapper(), node));
    EXPECT_EQ(node.GetName(), "CHostPointP");
    EXPECT_TRUE(point.IsXMLNodeOf(node));
    EXPECT_FALSE(CUIntP().IsXMLNodeOf(node));
    std::unique_ptr<CXMLNode> created(CStringArrayP().CreateXMLNode(doc.Wrapper()));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetName(), "CStringArrayP");
    std::unique_ptr<CObject> object(CXMLSupportInObject::CreateObjectFromXMLNode(node));
    EXPECT_NE(dynamic_cast<CHostPointP*>(object.get()), nullptr);
    EXPECT_EQ(CXMLSupportInObject::FindRuntimeClass("CPropertySet"), RUNTIME_CLASS(CPropertySet));
    EXPECT_EQ(CXMLSupportInObject::FindRuntimeClass("cpropertyset"), nullptr);
    EXPECT_EQ(CXMLSupportInObject::CreateObjectByClassName("CNoSuchP"), nullptr);
}

// ---- Times: the written local time comes back to the second wherever it exists, also in the
// hour that repeats when daylight saving time ends; a local time in the skipped hour, written
// by hand, still reads as a nearby time.

using Zone = ksttest::TimeZoneScope;

std::string LocalText(time_t t) {
    struct tm fields;
    localtime_r(&t, &fields);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields);
    return text;
}

struct TimeCase {
    const char* name;
    const char* tz;
    time_t utc;
    bool sameInstant;  // false in the repeated hour: only the local time is sure
};

class Times : public ::testing::TestWithParam<TimeCase> {};

TEST_P(Times, LocalTimeComesBackToTheSecond) {
    Zone zone(GetParam().tz);
    CTimeP time{CTime(GetParam().utc)};
    std::string xml = xmltest::Store(time);
    EXPECT_NE(xml.find(">" + LocalText(GetParam().utc) + "<"), std::string::npos) << xml;
    EXPECT_NE(xml.find("dt:dt=\"dateTime\""), std::string::npos);
    CTimeP copy{CTime(12345)};
    xmltest::Load(xml, copy);
    EXPECT_EQ(LocalText(copy.GetTime()), LocalText(GetParam().utc));
    if (GetParam().sameInstant)
        EXPECT_EQ(copy.GetTime(), GetParam().utc);
    else
        EXPECT_EQ(std::llabs(copy.GetTime() - GetParam().utc) % 3600, 0);
}

constexpr const char* kCentral = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kEastern = "EST5EDT,M3.2.0,M11.1.0";

INSTANTIATE_TEST_SUITE_P(All, Times,
                         ::testing::Values(TimeCase{"Utc", "UTC0", 1714558830, true},
                                           TimeCase{"India", "<+0530>-5:30", 1714558830, true},
                                           TimeCase{"CentralWinter", kCentral, 1704067199, true},
                                           TimeCase{"CentralSummer", kCentral, 1719792000, true},
                                           // 2024-03-31: 01:59:59 CET, then 03:00:00 CEST.
                                           TimeCase{"BeforeTheSkip", kCentral, 1711846799, true},
                                           TimeCase{"AfterTheSkip", kCentral, 1711846800, true},
                                           // 2024-10-27 02:30 local happens twice, CEST and CET.
                                           TimeCase{"RepeatedFirst", kCentral, 1729989000, false},
                                           TimeCase{"RepeatedSecond", kCentral, 1729992600, false},
                                           TimeCase{"EasternRepeated", kEastern, 1730615400, false},
                                           TimeCase{"Epoch", "UTC0", 0, true}),
                         [](const auto& info) { return info.param.name; });

// 02:30 on 2024-03-31 does not exist in the central zone: it reads as 01:30 CET or 03:30 CEST.
TEST(Times, SkippedHourReadsNearby) {
    Zone zone(kCentral);
    CTimeP time{CTime(777)};
    xmltest::Load(
        "<Root xmlns:dt='urn:schemas-microsoft-com:datatypes' dt:dt='dateTime'>"
        "2024-03-31T02:30:00</Root>",
        time);
    EXPECT_TRUE(time.GetTime() == 1711848600 || time.GetTime() == 1711845000) << time.GetTime();
}

// Without the data type a date's text still converts; a broken date leaves the time as it was.
TEST(Times, UntypedConvertsBrokenLeavesTheTime) {
    Zone zone("UTC0");
    CTimeP untyped{CTime(777)};
    xmltest::Load("<Root>2024-01-01T00:00:00</Root>", untyped);
    EXPECT_EQ(untyped.GetTime(), 1704067200);
    for (const char* xml : {"<Root>yesterday</Root>",
                            "<Root xmlns:dt='urn:schemas-microsoft-com:datatypes' "
                            "dt:dt='dateTime'>2024-13-01T00:00:00</Root>"}) {
        CTimeP time{CTime(777)};
        xmltest::Load(xml, time);
        EXPECT_EQ(time.GetTime(), 777) << xml;
    }
}

}  // namespace
