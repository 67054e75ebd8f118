// The DOM stand-in: VARIANT conversions by the platform's rules, BSTRs, _com_error, typed
// dates in the data-type namespace, texts in the ANSI code page, live child lists, and
// floating nodes freed with their last reference.
#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <functional>
#include <tuple>

#include "KstPlatform.h"
#include "KstTime.h"
#include "KstXmlDom.h"

namespace {

struct Var : VARIANT {
    Var() { VariantInit(this); }
    explicit Var(const char16_t* text) : Var() {
        vt = VT_BSTR;
        bstrVal = SysAllocString(text);
    }
    ~Var() { VariantClear(this); }
};

Var Int(VARTYPE type, long long value) {
    Var v;
    v.vt = type;
    v.llVal = value;
    return v;
}

Var R8(double value) {
    Var v;
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

TEST(Variants, ChangesFollowThePlatformsRules) {
    const struct {
        std::function<Var()> source;
        VARTYPE type;
        HRESULT hr;
        long long expected;  // integers and booleans
    } cases[] = {
        {[] { return Var(u" -17 "); }, VT_INT, S_OK, -17},
        {[] { return Var(u"1.5"); }, VT_INT, DISP_E_TYPEMISMATCH, 0},
        {[] { return Var(u"12abc"); }, VT_I4, DISP_E_TYPEMISMATCH, 0},
        {[] { return Var(u""); }, VT_INT, DISP_E_TYPEMISMATCH, 0},
        {[] { return Var(u"2147483648"); }, VT_INT, DISP_E_OVERFLOW, 0},
        {[] { return Var(u"99999999999999999999"); }, VT_I8, DISP_E_OVERFLOW, 0},
        {[] { return Var(u"4294967295"); }, VT_UI4, S_OK, -1},
        {[] { return R8(2.5); }, VT_I4, S_OK, 2},  // half to even
        {[] { return R8(3.5); }, VT_I4, S_OK, 4},
        {[] { return Int(VT_BOOL, -1); }, VT_I4, S_OK, -1},
        {[] { return Var(); }, VT_I4, S_OK, 0},  // empty is zero, null is nothing
        {[] { return Int(VT_NULL, 0); }, VT_I4, DISP_E_TYPEMISMATCH, 0},
        {[] { return Var(u" TRUE "); }, VT_BOOL, S_OK, VARIANT_TRUE},
        {[] { return Var(u"False"); }, VT_BOOL, S_OK, VARIANT_FALSE},
        {[] { return Var(u"7"); }, VT_BOOL, S_OK, VARIANT_TRUE},
        {[] { return Var(u"0.0"); }, VT_BOOL, S_OK, VARIANT_FALSE},
        {[] { return Var(u"yes"); }, VT_BOOL, DISP_E_TYPEMISMATCH, 0},
        {[] { return Int(VT_I4, 2); }, VT_BOOL, S_OK, VARIANT_TRUE},
        {[] { return Var(u"\u0031\u0434"); }, VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row++);
        Var source = c.source(), target = Int(VT_I4, 99);
        EXPECT_EQ(VariantChangeType(&target, &source, 0, c.type), c.hr);
        // A failed change leaves the target as it was.
        long long value = c.type == VT_BOOL ? target.boolVal
                          : c.type == VT_I8 ? target.llVal
                                            : target.lVal;
        EXPECT_EQ(std::pair(target.vt, value),
                  c.hr == S_OK ? std::pair(c.type, c.expected) : std::pair(VARTYPE(VT_I4), 99LL));
    }
}

TEST(Variants, TextsOfValues) {
    struct {
        Var source;
        const char16_t* text;
    } cases[] = {{Int(VT_I4, -5), u"-5"}, {Int(VT_BOOL, -1), u"-1"}, {R8(0.25), u"0.25"}};
    for (auto& c : cases) {
        Var text;
        ASSERT_EQ(VariantChangeType(&text, &c.source, 0, VT_BSTR), S_OK);
        EXPECT_EQ(std::u16string(text.bstrVal), c.text);
    }
    Var date;
    date.vt = VT_DATE;
    date.date = COleDateTime(2024, 2, 29, 23, 59, 58).m_dt;
    Var text;
    ASSERT_EQ(VariantChangeType(&text, &date, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(text.bstrVal), u"2024-02-29T23:59:58");
    ASSERT_EQ(VariantChangeType(&text, &text, 0, VT_DATE), S_OK);
    EXPECT_EQ(text.date, date.date);
    Var bad(u"2024-02-30T00:00:00");
    EXPECT_EQ(VariantChangeType(&bad, &bad, 0, VT_DATE), DISP_E_TYPEMISMATCH);
}

TEST(Variants, BstrsAndComErrors) {
    BSTR text = SysAllocStringLen(u"ab\0c", 4);
    EXPECT_TRUE(SysStringLen(text) == 4u && text[4] == 0 && SysStringLen(nullptr) == 0u);
    SysFreeString(text);
    EXPECT_EQ(std::string(_com_error(E_POINTER).ErrorMessage()) + "|" +
                  _com_error(0x80041234).ErrorMessage(),
              "Invalid pointer|Unknown error 0x80041234");
    HRESULT thrown = S_OK;
    try {
        _com_issue_error(E_NOINTERFACE);
    } catch (const _com_error& e) {
        thrown = e.Error();
    }
    EXPECT_EQ(thrown, E_NOINTERFACE);
}

class Dom : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DomCreateDocument(&m_doc), S_OK);
        ASSERT_EQ(DomCreateNode(m_doc, NODE_ELEMENT, "Root", &m_root), S_OK);
        ASSERT_EQ(DomPutDocumentElement(m_doc, m_root), S_OK);
    }
    void TearDown() override {
        kst::SetCodePages(CP_UTF8, 866);
        DomFreeDocument(m_doc);
    }
    xmlNode* Append(const char* name) {
        xmlNode *node = nullptr, *result = nullptr;
        EXPECT_EQ(DomCreateNode(m_doc, NODE_ELEMENT, name, &node), S_OK);
        EXPECT_EQ(DomAppendChild(m_root, node, &result), S_OK);
        EXPECT_EQ(result, node);
        return node;
    }
    std::string Saved() {
        std::string xml;
        EXPECT_EQ(DomSaveXml(m_doc, xml), S_OK);
        return xml.substr(xml.find("<Root"));
    }
    xmlDoc* m_doc = nullptr;
    xmlNode* m_root = nullptr;
};

TEST_F(Dom, DatesAreTypedInTheDataTypeNamespace) {
    xmlNode* when = Append("When");
    ASSERT_EQ(DomPutDataType(when, "dateTime"), S_OK);
    Var date;
    date.vt = VT_R8;
    date.dblVal = COleDateTime(1999, 12, 31, 23, 0, 5).m_dt;
    ASSERT_EQ(DomPutTypedValue(when, date), S_OK);
    EXPECT_EQ(Saved(),
              "<Root><When xmlns:dt=\"urn:schemas-microsoft-com:datatypes\" "
              "dt:dt=\"dateTime\">1999-12-31T23:00:05</When></Root>\n");
    Var typed;
    ASSERT_EQ(DomGetTypedValue(when, &typed), S_OK);
    EXPECT_EQ(std::pair(typed.vt, typed.date), std::pair(VARTYPE(VT_DATE), date.dblVal));
    ASSERT_EQ(DomPutText(when, "not a date"), S_OK);
    EXPECT_EQ((std::vector{DomGetTypedValue(when, &typed), DomPutDataType(when, "i9")}),
              (std::vector{E_FAIL, E_FAIL}));
    // An untyped node's value is its text.
    xmlNode* plain = Append("Plain");
    DomPutText(plain, "12");
    ASSERT_EQ(DomGetTypedValue(plain, &typed), S_OK);
    EXPECT_EQ(std::pair(typed.vt, std::u16string(typed.bstrVal)),
              std::pair(VARTYPE(VT_BSTR), std::u16string(u"12")));
}

TEST_F(Dom, TextsCrossTheAnsiPage) {
    kst::SetCodePages(1251, 866);
    xmlNode* node = Append("T");
    ASSERT_EQ(DomPutText(node, "\xC0\xE1"), S_OK);  // Аб in 1251
    EXPECT_EQ(Saved(), "<Root><T>\xD0\x90\xD0\xB1</T></Root>\n");
    std::string text;
    ASSERT_EQ(DomGetText(node, text), S_OK);
    EXPECT_EQ(text, "\xC0\xE1");
    kst::SetCodePages(CP_UTF8, 866);
    ASSERT_EQ(DomPutText(node, "a\xFF"), S_OK);  // no UTF-8: the byte is replaced
    EXPECT_EQ(Saved(), "<Root><T>a\xEF\xBF\xBD</T></Root>\n");
}

TEST_F(Dom, ListsAreLive) {
    xmlNode* list = nullptr;
    ASSERT_EQ(DomGetChildNodes(m_root, &list), S_OK);
    DomListCursor cursor;
    auto length = [&] {
        long n = -1;
        DomListGetLength(list, cursor, &n);
        return n;
    };
    EXPECT_EQ(length(), 0);
    xmlNode* a = Append("A");
    xmlNode* b = Append("B");
    EXPECT_EQ(length(), 2);
    // Each index's answer and node: the list follows the children.
    std::vector<std::pair<HRESULT, xmlNode*>> items;
    for (long i : {1, 0, 2}) {
        xmlNode* item = a;
        items.push_back({DomListGetItem(list, cursor, i, &item), item});
    }
    EXPECT_EQ(items, (std::vector<std::pair<HRESULT, xmlNode*>>{
                         {S_OK, b}, {S_OK, a}, {S_FALSE, nullptr}}));
    xmlNode* item = nullptr;
    ASSERT_EQ(DomPutText(m_root, "gone"), S_OK);  // the children are replaced
    EXPECT_EQ(length(), 1);
    std::string name;
    ASSERT_EQ(DomListGetItem(list, cursor, 0, &item), S_OK);
    DomGetNodeName(item, name);
    EXPECT_EQ(name, "#text");
}

// Floating nodes: each reference counts, the last release frees (a leak shows under ASan).
TEST_F(Dom, FloatingNodesAreFreedWithTheirLastReference) {
    xmlNode* node = nullptr;
    ASSERT_EQ(DomCreateNode(m_doc, NODE_ELEMENT, "F", &node), S_OK);
    xmlNode* element = nullptr;
    ASSERT_EQ(DomQueryElement(node, &element), S_OK);
    DomPutText(node, "text");
    Var value(u"v");
    DomSetAttribute(node, "a", value);
    xmlDoc* owner = nullptr;
    EXPECT_TRUE(DomGetOwnerDocument(node, &owner) == S_OK && owner == m_doc);
    DomReleaseNode(element);
    std::string text;
    EXPECT_EQ(DomGetText(node, text), S_OK);  // still there
    DomReleaseNode(node);
    // Attached nodes belong to the document: releasing them does nothing.
    xmlNode* kept = Append("K");
    DomReleaseNode(kept);
    EXPECT_EQ(Saved(), "<Root><K/></Root>\n");
    for (const char* bad : {"", "1x"})
        EXPECT_EQ(DomCreateNode(m_doc, NODE_ELEMENT, bad, &node), E_INVALIDARG) << bad;
}

TEST_F(Dom, AttributesAbsentAndTyped) {
    xmlNode* e = Append("E");
    Var value;
    EXPECT_TRUE(DomGetAttribute(e, "Key", &value) == S_FALSE && value.vt == VT_NULL);
    Var error;
    error.vt = VT_ERROR;
    error.scode = E_OUTOFMEMORY;
    EXPECT_EQ(DomSetAttribute(e, "Key", error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(DomSetAttribute(e, "Key", Int(VT_BOOL, -1)), S_OK);
    ASSERT_EQ(DomGetAttribute(e, "Key", &value), S_OK);
    EXPECT_EQ(std::u16string(value.bstrVal), u"-1");
    xmlNode* text = nullptr;
    ASSERT_EQ(DomCreateNode(m_doc, NODE_TEXT, "", &text), S_OK);
    xmlNode* element = reinterpret_cast<xmlNode*>(1);
    EXPECT_TRUE(DomQueryElement(text, &element) == E_NOINTERFACE && element == nullptr);
    DomReleaseNode(text);
}

}  // namespace
