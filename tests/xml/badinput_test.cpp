// Hostile documents: nesting 10,000 levels deep, a Count of 2^31-1, 10 MB of binary text that
// is no hexadecimal, element names of 64 KB. Each loads or is refused without a crash or a
// deep stack, and takes memory in proportion to the document.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include "XmlTestSupport.h"

namespace {

// A document parsed as a host might, without libxml2's size and depth limits.
class HugeDocument {
public:
    explicit HugeDocument(const std::string& xml)
        : m_doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                              XML_PARSE_HUGE)) {
        EXPECT_NE(m_doc, nullptr);
        if (m_doc) *m_root.GetInterface() = xmlDocGetRootElement(m_doc);
    }
    ~HugeDocument() { xmlFreeDoc(m_doc); }
    CXMLNode& Root() { return m_root; }

private:
    xmlDoc* m_doc;
    CXMLNode m_root;
};

std::string Repeat(const std::string& text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

int Depth(CPropertySet& set) {
    int depth = 0;
    for (CPropertySet* p = &set; p;) {
        CObjectP* inner = nullptr;
        if (!p->Lookup("k", inner)) break;
        p = dynamic_cast<CPropertySet*>(inner);
        depth += p != nullptr;
    }
    return depth;
}

TEST(BadInput, TenThousandLevelsLoadDownToTheNestingLimit) {
    const int levels = 10000;
    std::string xml = "<Root>" + Repeat("<CPropertySet Key=\"k\">", levels) +
                      Repeat("</CPropertySet>", levels) + "</Root>";
    xmlDoc* limited = nullptr;
    EXPECT_EQ(DomLoadXml(xml, &limited), E_FAIL);  // beyond libxml2's default depth
    HugeDocument doc(xml);
    CPropertySet set;
    set.SerializeXML(doc.Root(), false);
    EXPECT_EQ(Depth(set), CXMLSupportInObject::kMaxNesting);
    // Stored again, the object writes as deep as it is, within the limit.
    xmltest::Document out;
    set.SerializeXML(out.Root(), true);
    std::string text = out.Text();
    size_t opened = 0;
    for (size_t at = 0; (at = text.find("<CPropertySet", at)) != std::string::npos; ++at) ++opened;
    EXPECT_EQ(opened, static_cast<size_t>(CXMLSupportInObject::kMaxNesting));
}

TEST(BadInput, CountIsNotTrustedTenMegabytesOfNoHex) {
    const std::string xml =
        "<Root Count=\"2147483647\"><CUIntP Key=\"a\">1</CUIntP><Item>x</Item></Root>";
    CObjectPArrayPtr array;
    xmltest::Load(xml, array);
    EXPECT_EQ(array.GetSize(), 2);
    EXPECT_LE(array.GetAllocatedSize(), 8);
    CObjectPListPtr list;
    xmltest::Load(xml, list);
    EXPECT_EQ(list.GetCount(), 1);
    CMapStringToObjectPPtr map;
    xmltest::Load(xml, map);
    EXPECT_EQ(map.GetCount(), 1);
    CStringArrayP strings;
    xmltest::Load(xml, strings);
    EXPECT_EQ(strings.GetSize(), 2);
    array.Clear();
    list.Clear();

    const size_t length = 10u << 20;
    HugeDocument doc("<Root>" + std::string(length, 'Z') + "</Root>");
    CBinaryP binary;
    binary.SerializeXML(doc.Root(), false);
    ASSERT_EQ(binary.GetSize(), length / 2);
    for (size_t i = 0; i < length / 2; i += 4096) ASSERT_EQ(binary.GetData()[i], 0);
}

TEST(BadInput, SixtyFourKilobyteNames) {
    const std::string name(64u << 10, 'N');
    const std::string xml =
        "<Root><" + name + " Key=\"k\">1</" + name + "><CUIntP Key=\"u\">2</CUIntP></Root>";
    xmlDoc* limited = nullptr;
    EXPECT_EQ(DomLoadXml(xml, &limited), E_FAIL);  // beyond libxml2's default name length
    HugeDocument doc(xml);
    CObjectPArrayPtr array;
    array.SerializeXML(doc.Root(), false);
    ASSERT_EQ(array.GetSize(), 2);
    EXPECT_EQ(array[0], nullptr);
    CMapStringToObjectPPtr map;
    map.SerializeXML(doc.Root(), false);
    EXPECT_EQ(map.GetCount(), 1);
    // The wrappers take such a name as any other.
    xmltest::Document built;
    CXMLNode node;
    ASSERT_TRUE(built.Wrapper().CreateElement(name.c_str(), node));
    EXPECT_EQ(node.GetName().GetLength(), static_cast<int>(name.size()));
    EXPECT_EQ(CXMLSupportInObject::CreateObjectFromXMLNode(node), nullptr);
    array.Clear();
}

}  // namespace
