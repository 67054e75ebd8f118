// The XML forms of mask specs, patterns and pattern lists: the document they write,
// and documents written by hand with their children in another order or with strangers.
#include <gtest/gtest.h>

#include <memory>

#include "../xml/XmlTestSupport.h"
#include "SelectionTestData.h"

using namespace seltest;

namespace {

const Spec kTxt{{".\\"}, {"*.txt"}, {}, 1, 0};
const Spec kSub{{"a\\", "b c\\"}, {"*.*", "*.doc"}, {"~*"}, 0, 1};

CPattern* NewPattern(const char* name, int simple, std::initializer_list<Spec> specs) {
    auto* pattern = new CPattern;
    pattern->GetPatternName() = name;
    pattern->SetSimple(simple);
    for (const auto& spec : specs) pattern->AddMask(Make(spec));
    return pattern;
}

TEST(SelectionXml, APatternListWritesItsDocumentAndReadsBackAsItsClasses) {
    CPatternArray list;
    list.Add(NewPattern("Documents", 1, {kTxt}));
    EXPECT_EQ(xmltest::Store(list, "CPatternArray"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<CPatternArray Count=\"1\">"
              "<CPattern Count=\"1\" PatternName=\"Documents\" Simple=\"1\">"
              "<CMaskSpec InclSubDirs=\"1\" SetFilesStatus=\"0\">"
              "<CStringArrayP ThisIs=\"RelativeDir\" Count=\"1\"><Item>.\\</Item></CStringArrayP>"
              "<CStringArrayP ThisIs=\"Include\" Count=\"1\"><Item>*.txt</Item></CStringArrayP>"
              "<CStringArrayP ThisIs=\"Exclude\" Count=\"0\"/>"
              "</CMaskSpec></CPattern></CPatternArray>\n");

    list.Add(NewPattern("Sources", 0, {kSub, kTxt}));
    list.GetPatternAt(1)->SetBaseDir("/not/stored/");
    CPatternArray loaded;
    loaded.Add(NewPattern("Stale", 1, {kSub, kSub, kSub}));
    xmltest::Load(xmltest::Store(list), loaded);
    ASSERT_TRUE(loaded == list);
    for (int i = 0; i < loaded.GetSize(); ++i) {
        CPattern* pattern = loaded.GetPatternAt(i);
        ASSERT_NE(pattern, nullptr);
        EXPECT_EQ(pattern->GetBaseDir(), "");
        for (int j = 0; j < pattern->GetSize(); ++j)
            EXPECT_EQ(pattern->GetAt(j)->GetRuntimeClass(), RUNTIME_CLASS(CMaskSpec));
    }
    EXPECT_EQ(Members(*loaded.GetPatternAt(1)->GetMaskAt(0)), kSub);
}

TEST(SelectionXml, AMaskSpecTakesItsFirstThreeChildrenByTheirThisIs) {
    auto part = [](const char* element, const char* thisIs, const char* item) {
        return std::string("<") + element + " ThisIs=\"" + thisIs + "\" Count=\"1\"><Item>" + item +
               "</Item></" + element + ">";
    };
    const std::string dirs = part("CStringArrayP", "RelativeDir", "new\\");
    const std::string include = part("CStringArrayP", "Include", "*.new");
    const std::string exclude = part("CStringArrayP", "Exclude", "*.tmp");
    const Spec old{{"old\\"}, {"*.old"}, {"*.bak"}, 1, 1};
    struct Case {
        const char* what;
        std::string attributes, children;
        Spec expected;
    } cases[] = {
        {"in another order",
         "InclSubDirs=\"1\"",
         exclude + dirs + include,
         {{"new\\"}, {"*.new"}, {"*.tmp"}, 1, 0}},
        {"a fourth child is not read",
         "SetFilesStatus=\"1\"",
         dirs + exclude + part("CStringArrayP", "Other", "x") + include,
         {{"new\\"}, {"*.old"}, {"*.tmp"}, 0, 1}},
        {"ThisIs in another case",
         "",
         part("CStringArrayP", "include", "*.new") + dirs,
         {{"new\\"}, {"*.old"}, {"*.bak"}, 0, 0}},
        {"an element of another class",
         "",
         part("CStringP", "Include", "*.new"),
         {{"old\\"}, {"*.old"}, {"*.bak"}, 0, 0}},
        {"text among the children", "", "text" + include, {{"old\\"}, {"*.new"}, {"*.bak"}, 0, 0}},
        {"an empty array",
         "",
         "<CStringArrayP ThisIs=\"Exclude\" Count=\"0\"/>",
         {{"old\\"}, {"*.old"}, {}, 0, 0}},
    };
    for (const auto& c : cases) {
        CMaskSpec spec = Make(old);
        xmltest::Load("<CMaskSpec " + c.attributes + ">" + c.children + "</CMaskSpec>", spec);
        EXPECT_EQ(Members(spec), c.expected) << c.what;
    }
}

TEST(SelectionXml, APatternWithoutItsAttributesHasNoNameAndIsNotSimple) {
    std::unique_ptr<CPattern> pattern(NewPattern("Stale", 1, {kTxt}));
    xmltest::Load("<CPattern Count=\"1\"><CMaskSpec/></CPattern>", *pattern);
    EXPECT_EQ(pattern->GetPatternName(), "");
    EXPECT_EQ(pattern->IsSimple(), 0);
    ASSERT_EQ(pattern->GetSize(), 1);
    EXPECT_EQ(Members(*pattern->GetMaskAt(0)), (Spec{{}, {}, {}, 0, 0}));
}

}  // namespace
