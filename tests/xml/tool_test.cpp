// kst props-show --xml and props-from-xml: an archive's object as a document and back to the
// very same archive bytes; documents that cannot be parsed or name no class fail in one line.
#include <gtest/gtest.h>

#include <string>

#include "KstTest.h"

namespace {

int Kst(const std::string& dir, const std::string& args, std::string* out = nullptr) {
    return ksttest::RunCommand(
        "cd '" + dir + "' && timeout 20 " + ksttest::ToolPath() + " " + args + " 2>stderr.txt",
        out);
}

TEST(XmlTool, ArchiveToXmlAndBackGivesTheSameBytes) {
    std::string dir = ksttest::ScratchDir();
    ASSERT_EQ(Kst(dir, "props-write params.bin Error.Code=5 Error.Operation=Copy 'Host=b<&>'"), 0);
    std::string xml;
    ASSERT_EQ(Kst(dir, "props-show --xml params.bin", &xml), 0);
    EXPECT_EQ(
        xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CPropertySet Count=\"3\">", 0), 0u)
        << xml;
    EXPECT_NE(xml.find("<CUIntP Key=\"Error.Code\">5</CUIntP>"), std::string::npos);
    EXPECT_NE(xml.find("<CStringP Key=\"Host\">b&lt;&amp;&gt;</CStringP>"), std::string::npos);
    ksttest::WriteFile(dir + "/params.xml", xml);
    ASSERT_EQ(Kst(dir, "props-from-xml params.xml back.bin"), 0);
    EXPECT_EQ(ksttest::ReadFile(dir + "/back.bin"), ksttest::ReadFile(dir + "/params.bin"));
    std::string tree;
    ASSERT_EQ(Kst(dir, "props-show params.bin", &tree), 0);
    EXPECT_EQ(tree.find("<"), tree.find("b<&>") + 1);  // the tree, not XML
}

TEST(XmlTool, BadDocumentsFailInOneLine) {
    std::string dir = ksttest::ScratchDir();
    struct {
        const char* xml;
        const char* message;
    } const cases[] = {
        {"<CPropertySet>\n<CUIntP Key='a'>1</CStringP>\n</CPropertySet>\n",
         "kst: cannot parse bad.xml: Error 0x0000004C on line 2,"},
        {"<CNoSuchP/>", "kst: the root element <CNoSuchP> of bad.xml names no property class\n"},
        {"<CStringArray/>",
         "kst: the root element <CStringArray> of bad.xml names no property class\n"},
    };
    for (const auto& c : cases) {
        ksttest::WriteFile(dir + "/bad.xml", c.xml);
        EXPECT_EQ(Kst(dir, "props-from-xml bad.xml out.bin"), 1) << c.xml;
        std::string err = ksttest::ReadFile(dir + "/stderr.txt");
        EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
    EXPECT_EQ(Kst(dir, "props-show --xml missing.bin"), 1);
}

}  // namespace
