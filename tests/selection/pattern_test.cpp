// Patterns and pattern lists: copies, comparison, runtime classes and archive forms to the
// byte, read back by objects that held other content.
#include <gtest/gtest.h>

#include <memory>

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

std::unique_ptr<CPattern> MakePattern(const char* name, int simple, std::vector<Spec> specs) {
    auto pattern = std::make_unique<CPattern>();
    pattern->GetPatternName() = name;
    pattern->SetSimple(simple);
    for (const auto& spec : specs) pattern->AddMask(Make(spec));
    return pattern;
}

TEST(Pattern, ComparisonTakesNameFlagAndMaskSpecsNotTheBaseFolder) {
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
}

TEST(Pattern, AssignmentKeepsTheTargetsBaseFolderCopyTakesTheSources) {
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

}  // namespace
