// Patterns and pattern lists: copies, comparison, runtime classes and archive forms to the
// byte, read back by objects that held other content; their XML forms.
#include <gtest/gtest.h>

#include <memory>

#include "../xml/XmlTestSupport.h"
#include "KstScalarP.h"
#include "SelectionTestData.h"

using namespace seltest;
using ksttest::Hex;
using ksttest::LoadBytes;
using ksttest::NewClassTag;
using ksttest::Store;

namespace {

const Spec kTxt{{".\\"}, {"*.txt"}, {}, 1, 0};
const Spec kSub{{"a\\", "b\\"}, {"*.*"}, {"~*"}, 1, 1};
const Spec kSpaced{{"a\\", "b c\\"}, {"*.*", "*.doc"}, {"~*"}, 0, 1};

std::unique_ptr<CPattern> MakePattern(const char* name, int simple, std::vector<Spec> specs) {
    auto pattern = std::make_unique<CPattern>();
    pattern->GetPatternName() = name;
    pattern->SetSimple(simple);
    for (const auto& spec : specs) pattern->AddMask(Make(spec));
    return pattern;
}

TEST(Pattern, ComparisonTakesNameFlagAndSpecsAssignmentKeepsTheBaseFolder) {
    auto left = MakePattern("Docs", 1, {kTxt, kSub});
    left->SetBaseDir("/a/");
    struct Case {
        const char* name;
        int simple;
        std::vector<Spec> specs;
        bool equal;
    } cases[] = {
        {"Docs", 1, {kTxt, kSub}, true},  {"docs", 1, {kTxt, kSub}, false},
        {"Docs", 0, {kTxt, kSub}, false}, {"Docs", 1, {kSub, kTxt}, false},
        {"Docs", 1, {kTxt}, false},       {"Docs", 1, {{{".\\"}, {"*.TXT"}, {}, 1, 0}, kSub}, true},
    };
    for (const auto& c : cases) {
        auto right = MakePattern(c.name, c.simple, c.specs);
        right->SetBaseDir("/b/");
        EXPECT_EQ(*left == *right, c.equal) << c.name;
        EXPECT_EQ(*left != *right, !c.equal) << c.name;
        EXPECT_EQ(*left == static_cast<const CObjectP&>(*right), c.equal) << c.name;
    }
    CMaskSpecArray plain;
    EXPECT_FALSE(*left == static_cast<const CObjectP&>(plain));

    CPattern fresh;
    EXPECT_EQ(fresh.GetPatternName() + fresh.GetBaseDir(), "");
    EXPECT_EQ(fresh.IsSimple() + fresh.GetSize(), 0);
    auto source = MakePattern("Src", 1, {kTxt});
    source->SetBaseDir("/src/");
    CPattern copy(*source);
    EXPECT_EQ(copy.GetBaseDir(), "/src/");
    EXPECT_TRUE(copy == *source);
    EXPECT_NE(copy.GetAt(0), source->GetAt(0));

    auto target = MakePattern("Old", 0, {kSub, kSub});
    target->SetBaseDir("/dst/");
    *target = *source;
    EXPECT_EQ(target->GetBaseDir(), "/dst/");
    EXPECT_EQ(target->GetPatternName(), "Src");
    EXPECT_EQ(target->IsSimple(), 1);
    EXPECT_EQ(Specs(*target), Specs(*source));

    std::unique_ptr<CObjectP> made(source->CreateCopy());
    auto* pattern = dynamic_cast<CPattern*>(made.get());
    ASSERT_NE(pattern, nullptr);
    EXPECT_TRUE(*pattern == *source);
    EXPECT_EQ(pattern->GetBaseDir(), "");
}

std::string PatternBody(const std::string& name, int simple, const std::string& elements,
                        unsigned count) {
    return Word(count) + elements + Str(name) + DWord(static_cast<unsigned>(simple));
}

TEST(Pattern, ArchiveFormToTheByte) {
    auto pattern = MakePattern("Documents", 1, {kTxt, kSub});
    pattern->SetBaseDir("/not/stored/");
    std::string bytes = Store([&](CArchive& ar) { pattern->Serialize(ar); });
    // The second mask spec refers to the class written first (index 1).
    std::string elements =
        NewClassTag("CMaskSpec", 1) + SpecBytes(kTxt) + Word(0x8001) + SpecBytes(kSub);
    EXPECT_EQ(bytes, PatternBody("Documents", 1, elements, 2));
    EXPECT_EQ(Hex(bytes.substr(bytes.size() - 14)), "09 44 6f 63 75 6d 65 6e 74 73 01 00 00 00");

    auto loaded = MakePattern("Stale", 0, {kSub, kSub, kSub});
    loaded->SetBaseDir("/kept/");
    LoadBytes(bytes, [&](CArchive& ar) { loaded->Serialize(ar); });
    EXPECT_TRUE(*loaded == *pattern);
    EXPECT_EQ(Specs(*loaded), Specs(*pattern));
    EXPECT_EQ(loaded->GetBaseDir(), "/kept/");

    CPattern empty;
    EXPECT_EQ(Hex(Store([&](CArchive& ar) { empty.Serialize(ar); })), "00 00 00 00 00 00 00");
}

// The list's bytes after its own tag; first is the archive index the CPattern class gets.
std::string ListBody(unsigned first) {
    // Indexes: CPattern class, first pattern, CMaskSpec class, its object, second pattern.
    std::string spec = Word(0x8000 | (first + 2));
    return Word(3) + NewClassTag("CPattern", 1) +
           PatternBody("Documents", 1, NewClassTag("CMaskSpec", 1) + SpecBytes(kTxt), 1) + Word(0) +
           Word(0x8000 | first) +
           PatternBody("Sources", 0, spec + SpecBytes(kSub) + spec + SpecBytes(kTxt), 2);
}

TEST(PatternArray, ArchiveFormToTheByteAndBackAsTheirClasses) {
    CPatternArray list;
    list.Add(MakePattern("Documents", 1, {kTxt}).release());
    list.Add(nullptr);
    list.Add(MakePattern("Sources", 0, {kSub, kTxt}).release());
    std::string body = Store([&](CArchive& ar) { list.Serialize(ar); });
    EXPECT_EQ(Hex(body), Hex(ListBody(1)));
    std::string tagged = Store([&](CArchive& ar) { ar.WriteObject(&list); });
    EXPECT_EQ(Hex(tagged), Hex(NewClassTag("CPatternArray", 1) + ListBody(3)));

    CPatternArray loaded;
    loaded.Add(MakePattern("Stale", 0, {kSub}).release());
    loaded.Add(MakePattern("Stale2", 0, {}).release());
    LoadBytes(body, [&](CArchive& ar) { loaded.Serialize(ar); });
    EXPECT_TRUE(loaded == list);

    std::unique_ptr<CObject> fresh;
    LoadBytes(tagged,
              [&](CArchive& ar) { fresh.reset(ar.ReadObject(RUNTIME_CLASS(CPatternArray))); });
    auto* read = dynamic_cast<CPatternArray*>(fresh.get());
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(*read == list);
    ASSERT_EQ(read->GetSize(), 3);
    EXPECT_EQ(read->GetAt(1), nullptr);
    for (int i : {0, 2}) {
        CPattern* pattern = read->GetPatternAt(i);
        ASSERT_NE(pattern, nullptr);
        for (int j = 0; j < pattern->GetSize(); ++j)
            EXPECT_EQ(pattern->GetAt(j)->GetRuntimeClass(), RUNTIME_CLASS(CMaskSpec));
    }
    EXPECT_EQ(read->GetPatternAt(2)->GetPatternName(), "Sources");

    std::unique_ptr<CObjectP> copy(list.CreateCopy());
    ASSERT_NE(dynamic_cast<CPatternArray*>(copy.get()), nullptr);
    EXPECT_TRUE(*copy == list);
}

// ---- The XML forms: the document a list writes, and documents written by hand with their
// children in another order or with strangers.

TEST(SelectionXml, APatternListWritesItsDocumentAndReadsBackAsItsClasses) {
    CPatternArray list;
    list.Add(MakePattern("Documents", 1, {kTxt}).release());
    EXPECT_EQ(xmltest::Store(list, "CPatternArray"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<CPatternArray Count=\"1\">"
              "<CPattern Count=\"1\" PatternName=\"Documents\" Simple=\"1\">"
              "<CMaskSpec InclSubDirs=\"1\" SetFilesStatus=\"0\">"
              "<CStringArrayP ThisIs=\"RelativeDir\" Count=\"1\"><Item>.\\</Item></CStringArrayP>"
              "<CStringArrayP ThisIs=\"Include\" Count=\"1\"><Item>*.txt</Item></CStringArrayP>"
              "<CStringArrayP ThisIs=\"Exclude\" Count=\"0\"/>"
              "</CMaskSpec></CPattern></CPatternArray>\n");

    list.Add(MakePattern("Sources", 0, {kSpaced, kTxt}).release());
    list.GetPatternAt(1)->SetBaseDir("/not/stored/");
    CPatternArray loaded;
    loaded.Add(MakePattern("Stale", 1, {kSub, kSub, kSub}).release());
    xmltest::Load(xmltest::Store(list), loaded);
    ASSERT_TRUE(loaded == list);
    for (int i = 0; i < loaded.GetSize(); ++i) {
        CPattern* pattern = loaded.GetPatternAt(i);
        ASSERT_NE(pattern, nullptr);
        EXPECT_EQ(pattern->GetBaseDir(), "");
        for (int j = 0; j < pattern->GetSize(); ++j)
            EXPECT_EQ(pattern->GetAt(j)->GetRuntimeClass(), RUNTIME_CLASS(CMaskSpec));
    }
    EXPECT_EQ(Members(*loaded.GetPatternAt(1)->GetMaskAt(0)), kSpaced);
}

TEST(SelectionXml, AMaskSpecTakesItsChildrenByThisIsAPatternItsAttributes) {
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

    auto pattern = MakePattern("Stale", 1, {kTxt});
    xmltest::Load("<CPattern Count=\"1\"><CMaskSpec/></CPattern>", *pattern);
    EXPECT_EQ(pattern->GetPatternName(), "");
    EXPECT_EQ(pattern->IsSimple(), 0);
    ASSERT_EQ(pattern->GetSize(), 1);
    EXPECT_EQ(Members(*pattern->GetMaskAt(0)), (Spec{{}, {}, {}, 0, 0}));
}

}  // namespace
