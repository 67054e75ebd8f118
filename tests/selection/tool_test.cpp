// kst pattern-new and kst select on a folder tree made here, against the selection that a person
// reading the simple choice expects.
#include <gtest/gtest.h>

#include <filesystem>

#include "KstStringArrayP.h"
#include "KstTest.h"
#include "ShellTools.h"
#include "SelectionTestData.h"

using namespace seltest;
using ksttest::Quote;
namespace fs = std::filesystem;

namespace {

int Kst(const std::string& args, std::string* out = nullptr) {
    return ksttest::RunCommand(ksttest::ToolPath() + " " + args + " 2>/dev/null", out);
}

const Strings kFiles{
    "README",          "notes.txt",       "Plan.DOC",      "~notes.txt",
    "image.png",       "docs/guide.TXT",  "docs/README",   "docs/~old.doc",
    "docs/deep/a.txt", "docs/deep/b.bin", "my docs/x.doc", "my docs/y.png",
    "src/main.cpp",    "src/notes.txt",   "src/sub/c.txt", "Docs2/z.txt",
};

std::string MakeTree() {
    std::string base = ksttest::ScratchDir() + "/tree";
    for (const auto& file : kFiles) {
        fs::create_directories(fs::path(base + "/" + file).parent_path());
        ksttest::WriteFile(base + "/" + file, file);
    }
    return base;
}

struct Choice {
    Strings include, exclude;
    bool allSubDirs = false;
    Strings subDirs;
    bool masksInSubDirs = false;
    const char* selected;  // what a person reading the choice expects, sorted
};

std::string Joined(const Strings& strings) {
    std::string text;
    for (const auto& s : strings) text += (text.empty() ? "" : "; ") + s;
    return text;
}

// The pattern file holds what ConvertFromSimple builds from the choice, named and simple.
TEST(KstSelect, PatternsFromTheSimpleChoiceSelectWhatTheChoiceSays) {
    const std::string tree = MakeTree();
    const Strings inc{"*.txt", "*.doc"}, exc{"~*"};
    // The base folder takes the masks; the chosen subfolders (all, or the listed ones with
    // what lies below them) take the masks or every file.
    const Choice cases[] = {
        {inc, exc, false, {}, false, "Plan.DOC notes.txt"},
        {inc,
         exc,
         false,
         {"docs", "my docs"},
         false,
         "Plan.DOC docs/README docs/deep/a.txt docs/deep/b.bin docs/guide.TXT docs/~old.doc "
         "my_docs/x.doc my_docs/y.png notes.txt"},
        {inc,
         exc,
         false,
         {"DOCS", "src"},
         true,
         "Plan.DOC docs/deep/a.txt docs/guide.TXT notes.txt src/notes.txt src/sub/c.txt"},
        {inc,
         exc,
         true,
         {},
         true,
         "Docs2/z.txt Plan.DOC docs/deep/a.txt docs/guide.TXT my_docs/x.doc notes.txt "
         "src/notes.txt src/sub/c.txt"},
        {inc,
         exc,
         true,
         {},
         false,
         "Docs2/z.txt Plan.DOC docs/README docs/deep/a.txt docs/deep/b.bin docs/guide.TXT "
         "docs/~old.doc my_docs/x.doc my_docs/y.png notes.txt src/main.cpp src/notes.txt "
         "src/sub/c.txt"},
        {{"*.*"},
         {"*.png", "readme"},
         true,
         {},
         true,
         "Docs2/z.txt Plan.DOC docs/deep/a.txt docs/deep/b.bin docs/guide.TXT docs/~old.doc "
         "my_docs/x.doc notes.txt src/main.cpp src/notes.txt src/sub/c.txt ~notes.txt"},
        {{"?otes.*"}, {}, false, {"src"}, true, "notes.txt src/notes.txt"},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string file = ksttest::ScratchDir() + "/p" + std::to_string(++n) + ".pat";
        std::string args =
            "pattern-new " + file + " --name Case --include " + Quote(Joined(c.include));
        if (!c.exclude.empty()) args += " --exclude " + Quote(Joined(c.exclude));
        if (c.allSubDirs) args += " --all-subdirs";
        if (!c.subDirs.empty()) args += " --subdirs " + Quote(Joined(c.subDirs));
        if (c.masksInSubDirs) args += " --masks-in-subdirs";
        ASSERT_EQ(Kst(args), 0) << args;
        std::unique_ptr<CObject> object;
        ksttest::LoadFile(file, [&](CArchive& ar) { object.reset(ar.ReadObject(nullptr)); });
        auto* pattern = dynamic_cast<CPattern*>(object.get());
        ASSERT_NE(pattern, nullptr);
        CPattern expected;
        CStringArray include, exclude, subDirs;
        Fill(include, c.include), Fill(exclude, c.exclude), Fill(subDirs, c.subDirs);
        expected.ConvertFromSimple(include, exclude, c.allSubDirs, subDirs, c.masksInSubDirs);
        expected.GetPatternName() = "Case";
        expected.SetSimple(1);
        EXPECT_TRUE(*pattern == expected) << args;
        std::string out;
        ASSERT_EQ(Kst("select " + tree + " " + file, &out), 0) << args;
        for (char& ch : out) ch = ch == '\n' ? ' ' : ch == ' ' ? '_' : ch;
        EXPECT_EQ(out, std::string(c.selected) + " ") << args;
    }
}

TEST(KstSelect, TheFirstPatternOfAListAndRefusedFiles) {
    const std::string tree = MakeTree();
    CPatternArray list;
    auto* first = new CPattern;
    CStringArray include, none;
    Fill(include, {"*.cpp"});
    first->ConvertFromSimple(include, none, 1, none, 1);
    list.Add(first);
    auto* second = new CPattern;
    second->ConvertFromSimple(include, none, 0, none, 0);
    list.Add(second);
    std::string file = ksttest::ScratchDir() + "/list.pat";
    ksttest::StoreFile(file, [&](CArchive& ar) { ar.WriteObject(&list); });
    std::string out, xml;
    ASSERT_EQ(Kst("select " + tree + " " + file, &out), 0);
    EXPECT_EQ(out, "src/main.cpp\n");
    // The same list as an XML document.
    ASSERT_EQ(Kst("props-show --xml " + file, &xml), 0);
    std::string xmlFile = ksttest::ScratchDir() + "/list.xml";
    ksttest::WriteFile(xmlFile, xml);
    ASSERT_EQ(Kst("select " + tree + " " + xmlFile, &out), 0);
    EXPECT_EQ(out, "src/main.cpp\n");

    CStringArrayP strings;
    std::string other = ksttest::ScratchDir() + "/other.bin";
    ksttest::StoreFile(other, [&](CArchive& ar) { ar.WriteObject(&strings); });
    EXPECT_EQ(Kst("select " + tree + " " + other, &out), 1);
    EXPECT_EQ(Kst("select " + tree + " " + ksttest::ScratchDir() + "/none.pat", &out), 1);
    EXPECT_EQ(Kst("select " + tree + "/none " + file, &out), 1);
    EXPECT_EQ(Kst("pattern-new x.pat --name N --include '*' --all-subdirs --subdirs a", &out), 2);
    EXPECT_EQ(Kst("pattern-new x.pat --include '*'", &out), 2);
}

}  // namespace
