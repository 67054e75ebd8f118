// The DOM wrappers: the conversions of the typed values, attributes, empty wrappers raising
// E_POINTER, element wrappers of other nodes, AppendChild's failures, the parse error text, and
// a host's own libxml2 document handed in through GetInterface.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <functional>

#include "XmlTestSupport.h"

using xmltest::Document;

namespace {

class Wrappers : public ::testing::Test {
protected:
    CXMLNode& Child(const char* name, const char* text = nullptr) {
        m_nodes.emplace_back(std::make_unique<CXMLNode>());
        CXMLNode& node = *m_nodes.back();
        EXPECT_TRUE(m_doc.Wrapper().CreateElement(name, node));
        EXPECT_TRUE(m_doc.Root().AppendChild(node));
        if (text) {
            EXPECT_TRUE(node.SetText(text));
        }
        return node;
    }
    Document m_doc;
    std::vector<std::unique_ptr<CXMLNode>> m_nodes;
};

TEST_F(Wrappers, IntegersBooleansAndInt64) {
    CXMLNode& node = Child("Item");
    EXPECT_EQ(node.GetName(), "Item");
    ASSERT_TRUE(node.SetValue(-5));
    EXPECT_EQ(node.GetText(), "-5");
    UINT value = 0;
    EXPECT_TRUE(node.GetValue(value));
    EXPECT_EQ(value, 0xFFFFFFFBu);
    ASSERT_TRUE(node.SetValue(true));
    EXPECT_EQ(node.GetText(), "1");
    ASSERT_TRUE(node.SetValue(int64_t{-8589934592}));
    EXPECT_EQ(node.GetText(), "-8589934592");
    struct {
        const char* text;
        bool asBool;
        int asInt;
        int64_t asInt64;
    } const cases[] = {{"0", false, 0, 0},
                       {"7", true, 7, 7},
                       {"abc", false, 0, 0},
                       {"12abc", false, 0, 12},
                       {" 42 ", true, 42, 42},
                       {"4294967295", false, 0, 4294967295},
                       {"-2147483648", true, INT32_MIN, INT32_MIN}};
    for (const auto& c : cases) {
        node.SetText(c.text);
        EXPECT_EQ(node.GetBool(), c.asBool) << c.text;
        EXPECT_EQ(node.GetValue(), c.asInt) << c.text;
        EXPECT_EQ(node.GetInt64(), c.asInt64) << c.text;
    }
    value = 77;
    node.SetText("1.5");
    EXPECT_FALSE(node.GetValue(value));
    EXPECT_EQ(value, 77u);
}

TEST_F(Wrappers, Attributes) {
    CXMLElement element(Child("E"));
    CString value("unchanged");
    EXPECT_FALSE(element.GetAttribute("Absent", value));
    EXPECT_EQ(value, "unchanged");
    EXPECT_EQ(element.GetAttribute("Absent"), "");
    EXPECT_FALSE(element.GetBoolAttribute("Absent"));
    ASSERT_TRUE(element.SetAttribute("T", true));
    ASSERT_TRUE(element.SetAttribute("F", false));
    ASSERT_TRUE(element.SetAttribute("S", "a\"<&>\n"));
    ASSERT_TRUE(element.SetAttribute("N", -12));
    EXPECT_TRUE(element.GetBoolAttribute("T"));
    EXPECT_FALSE(element.GetBoolAttribute("F"));
    EXPECT_TRUE(element.GetAttribute("S", value));
    EXPECT_EQ(value, "a\"<&>\n");
    EXPECT_EQ(element.GetAttribute("N"), "-12");
    for (auto [text, expected] :
         {std::pair{"True", true}, {"false", false}, {"2", true}, {"0.0", false}, {"yes", false}}) {
        element.SetAttribute("B", text);
        EXPECT_EQ(element.GetBoolAttribute("B"), expected) << text;
    }
    EXPECT_FALSE(element.SetAttribute("no name", 1));
    // Written and parsed again, the attributes keep their texts.
    Document again = Document::Parse(m_doc.Text());
    CXMLNodeList list;
    ASSERT_TRUE(again.Root().GetChildNodes(list));
    CXMLNode first;
    ASSERT_TRUE(list.GetItem(0, first));
    EXPECT_EQ(CXMLElement(first).GetAttribute("S"), "a\"<&>\n");
}

// Every operation on an empty wrapper raises _com_error with E_POINTER.
TEST(EmptyWrappers, RaiseEPointer) {
    CXMLNode node, other;
    CXMLNodeList list;
    CXMLElement element;
    CXMLDocument document;
    CString text;
    UINT number;
    CTime time;
    const std::function<void()> operations[] = {
        [&] { node.GetName(); },
        [&] { node.GetText(text); },
        [&] { node.SetText("x"); },
        [&] { node.SetValue(1); },
        [&] { node.GetValue(number); },
        [&] { node.GetBool(); },
        [&] { node.GetInt64(); },
        [&] { node.SetValue(CTime(0)); },
        [&] { node.GetValue(time); },
        [&] { node.GetChildNodes(list); },
        [&] { node.AppendChild(other); },
        [&] { node.GetOwnerDocument(document); },
        [&] { list.GetLength(); },
        [&] { list.GetItem(0, node); },
        [&] { element.SetAttribute("a", 1); },
        [&] { element.GetAttribute("a"); },
        [&] { element.GetBoolAttribute("a"); },
        [&] { element.GetName(); },
        [&] { document.CreateElement("a", node); },
    };
    int i = 0;
    for (const auto& operation : operations) {
        try {
            operation();
            ADD_FAILURE() << "operation " << i << " did not raise";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), E_POINTER) << i;
        }
        ++i;
    }
    CXMLElement fromEmpty(node);  // no exception: the element stays empty
    EXPECT_EQ(*fromEmpty.GetInterface(), nullptr);
}

// A text node: its element wrapper is empty, it holds no children.
TEST_F(Wrappers, TextNodesAppendChildFailuresAndUnattachedElements) {
    CXMLNode& item = Child("Item", "text");
    CXMLNodeList list;
    ASSERT_TRUE(item.GetChildNodes(list));
    CXMLNode text;
    ASSERT_TRUE(list.GetItem(0, text));
    EXPECT_EQ(text.GetName(), "#text");
    CXMLElement element(text);
    EXPECT_EQ(*element.GetInterface(), nullptr);
    EXPECT_THROW(element.GetAttribute("a"), _com_error);
    CXMLNode none;
    EXPECT_FALSE(list.GetItem(1, none));
    EXPECT_EQ(*none.GetInterface(), nullptr);

    CXMLNode orphan;
    ASSERT_TRUE(m_doc.Wrapper().CreateElement("Orphan", orphan));
    EXPECT_FALSE(text.AppendChild(orphan));        // a text holds no children
    EXPECT_FALSE(orphan.AppendChild(orphan));      // nor a node itself
    EXPECT_FALSE(item.AppendChild(m_doc.Root()));  // nor its ancestor
    CXMLNode empty;
    EXPECT_FALSE(item.AppendChild(empty));
    EXPECT_EQ(list.GetLength(), 1);
    // The list is live: it sees what is appended later.
    ASSERT_TRUE(item.AppendChild(orphan));
    EXPECT_EQ(list.GetLength(), 2);
    CXMLNode second;
    ASSERT_TRUE(list.GetItem(1, second));
    EXPECT_EQ(second.GetName(), "Orphan");

    // A created element that is never attached is freed with its wrappers (the sanitizer build
    // reports a leak otherwise), also when an element wrapper shares it.
    CXMLNode node;
    ASSERT_TRUE(m_doc.Wrapper().CreateElement("Lost", node));
    node.SetText("content");
    {
        CXMLElement element(node);
        element.SetAttribute("a", 1);
        CXMLDocument owner;
        ASSERT_TRUE(element.GetOwnerDocument(owner));
        EXPECT_EQ(*owner.GetInterface(), m_doc.Doc());
    }
    EXPECT_EQ(node.GetText(), "content");
    ASSERT_TRUE(m_doc.Wrapper().CreateElement("Replaced", node));
    EXPECT_FALSE(m_doc.Wrapper().CreateElement("bad name", node));
    EXPECT_EQ(*node.GetInterface(), nullptr);
}

TEST(Document, FormatsTheParseError) {
    DomParseError error;
    xmlDoc* doc = nullptr;
    EXPECT_NE(DomLoadXml("<a>\n<b></a>", &doc, &error), S_OK);
    EXPECT_EQ(doc, nullptr);
    EXPECT_EQ(error.line, 2);
    EXPECT_EQ(error.srcText, "<b></a>");
    CXMLDocument wrapper;
    EXPECT_EQ(wrapper.m_strRootName, "Root");
    CXMLParseError record;
    record.m_lErrorCode = 0x76;
    record.m_lLine = 3;
    record.m_lLinePos = 7;
    record.m_lFilePos = 41;
    record.m_strReason = "why";
    record.m_strSrcText = "<a>";
    record.m_strURL = "file.xml";
    EXPECT_EQ(wrapper.FormatParseError(record),
              "Error 0x00000076 on line 3, position 7,absolute file position 41\n"
              "reason for the error = why.\n"
              "full text of the line containing the error = <a>.\n"
              "Contains the URL of the XML document = file.xml.");
}

// A host parses with libxml2 itself and hands its root in; the library builds inside it.
TEST(Host, HandsInItsOwnDocument) {
    const char xml[] = "<Host><CUIntP>9</CUIntP></Host>";
    xmlDoc* doc = xmlReadMemory(xml, sizeof xml - 1, nullptr, nullptr, 0);
    ASSERT_NE(doc, nullptr);
    {
        CXMLNode root;
        *root.GetInterface() = xmlDocGetRootElement(doc);
        CObjectPListPtr list;
        list.SerializeXML(root, false);
        ASSERT_EQ(list.GetCount(), 1);
        list.AddTail(new CStringP(CString("added")));
        CXMLNode target;
        CXMLDocument owner;
        ASSERT_TRUE(root.GetOwnerDocument(owner));
        ASSERT_TRUE(owner.CreateElement("Copy", target));
        ASSERT_TRUE(root.AppendChild(target));
        list.SerializeXML(target, true);
    }
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc, &out, &size);
    EXPECT_NE(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(size))
                  .find("<Copy Count=\"2\"><CUIntP>9</CUIntP><CStringP>added</CStringP></Copy>"),
              std::string::npos);
    xmlFree(out);
    xmlFreeDoc(doc);
}

}  // namespace
