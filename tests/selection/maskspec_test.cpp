// Mask specs: construction, comparison (case-blind, order-bound), normalization,
// copies through the runtime class and the archive form to the byte.
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

TEST(MaskSpec, FiveArgumentsEndFoldersInASeparatorNormalizeTrims) {
    struct Case {
        Strings dirs, expected;
    } cases[] = {
        {{"docs", "", "docs\\", " docs"}, {"docs\\", "", "docs\\", " docs\\"}},
        {{"a\\b", "c/", "/tmp/x"}, {"a\\b\\", "c/", "/tmp/x/"}},
        {{".\\", "*\\", "my docs"}, {".\\", "*\\", "my docs\\"}},
    };
    for (const auto& c : cases) {
        CMaskSpec spec = Make({c.dirs, {" *.txt "}, {"*.bak"}, 0, 1});
        EXPECT_EQ(Members(spec), (Spec{c.expected, {" *.txt "}, {"*.bak"}, 0, 1}));
    }

    CMaskSpec spec = Make({{}, {" *.txt ", "\t*.doc"}, {" *.bak "}});
    CStringArray dirs;
    Fill(dirs, {" docs ", "  ", "a\\ "});
    CMaskSpecArray holder;  // the folders are reached through the list
    holder.AddMask(dirs, *spec.GetIncludeWildcards(), *spec.GetExcludeWildcards(), 1, 0);
    CMaskSpec& held = *holder.GetMaskAt(0);
    EXPECT_EQ(Read(held.GetRelativeDirs()), (Strings{" docs \\", "  \\", "a\\ \\"}));
    held.Normalize();
    EXPECT_EQ(Members(held), (Spec{{"docs \\", "\\", "a\\ \\"}, {"*.txt", "*.doc"}, {"*.bak"}}));
    // Trimming comes before the separator: a folder written with blanks loses them.
    CMaskSpec loaded;
    LoadBytes(SpecBytes({{" docs ", ""}, {" *.txt "}, {}}),
              [&](CArchive& ar) { loaded.Serialize(ar); });
    loaded.Normalize();
    EXPECT_EQ(Members(loaded), (Spec{{"docs\\", ""}, {"*.txt"}, {}}));
}

TEST(MaskSpec, EqualityIgnoresCaseButNotOrder) {
    const Spec base{{"Docs\\"}, {"*.TXT", "*.doc"}, {"~*"}, 1, 0};
    struct Case {
        Spec other;
        bool equal;
    } cases[] = {
        {base, true},
        {{{"docs\\"}, {"*.txt", "*.DOC"}, {"~*"}, 1, 0}, true},
        {{{"Docs\\"}, {"*.doc", "*.TXT"}, {"~*"}, 1, 0}, false},
        {{{"Docs\\"}, {"*.TXT", "*.doc"}, {"~*"}, 0, 0}, false},
        {{{"Docs\\"}, {"*.TXT", "*.doc"}, {"~*"}, 1, 1}, false},
        {{{"Docs\\"}, {"*.TXT", "*.doc"}, {}, 1, 0}, false},
        {{{"Docs\\", "x\\"}, {"*.TXT", "*.doc"}, {"~*"}, 1, 0}, false},
        {{{"Doc\\"}, {"*.TXT", "*.doc"}, {"~*"}, 1, 0}, false},
    };
    CMaskSpec left = Make(base);
    for (const auto& c : cases) {
        CMaskSpec right = Make(c.other);
        EXPECT_EQ(left == right, c.equal);
        EXPECT_EQ(left != right, !c.equal);
        EXPECT_EQ(left == static_cast<const CObjectP&>(right), c.equal);
        EXPECT_EQ(static_cast<const CObjectP&>(left) != right, !c.equal);
    }
    CStringP text(CString("x"));
    EXPECT_FALSE(left == static_cast<const CObjectP&>(text));
}

TEST(MaskSpec, ANewOneReachesIntoSubfoldersAssignmentCopiesAndTheArchiveForm) {
    CMaskSpec blank;
    blank.SetRelativeDir("docs");  // no folder of its own
    EXPECT_EQ(Members(blank), (Spec{{}, {}, {}, 1, 0}));
    EXPECT_EQ(blank.GetRelativeDir(), "");
    EXPECT_EQ(blank.GetRuntimeClass()->m_pBaseClass, RUNTIME_CLASS(CObjectP));
    CMaskSpec source = Make({{"a"}, {"*.c"}, {"*.o"}, 0, 1});
    CMaskSpec target = Make({{"x", "y"}, {"*"}, {}, 1, 0});
    target = source;
    EXPECT_EQ(Members(target), Members(source));
    target = target;
    EXPECT_EQ(Members(target), (Spec{{"a\\"}, {"*.c"}, {"*.o"}, 0, 1}));

    std::unique_ptr<CObjectP> copy(source.CreateCopy());
    ASSERT_NE(dynamic_cast<CMaskSpec*>(copy.get()), nullptr);
    EXPECT_EQ(Members(*dynamic_cast<CMaskSpec*>(copy.get())), Members(source));

    CStringP text(CString("x"));
    static_cast<CObjectP&>(target) = text;  // another class: nothing changes
    EXPECT_EQ(Members(target), Members(source));

    target.AddWildcard("*.h", 1);
    target.AddWildcard("*.a", 0);
    target.SetSubDirs(1);
    target.SetFilesStatus(0);
    EXPECT_EQ(Members(target), (Spec{{"a\\"}, {"*.c", "*.h"}, {"*.o", "*.a"}, 1, 0}));

    CMaskSpec spec = Make({{".\\"}, {"*.txt"}, {}, 1, 0});
    std::string bytes = Store([&](CArchive& ar) { spec.Serialize(ar); });
    EXPECT_EQ(Hex(bytes), "01 00 00 00 00 00 00 00 01 00 02 2e 5c 01 00 05 2a 2e 74 78 74 00 00");

    CMaskSpec other = Make({{"a", "b"}, {"*.c"}, {"*.o"}, 3, 7});
    std::string tagged = Store([&](CArchive& ar) { ar.WriteObject(&other); });
    EXPECT_EQ(tagged,
              NewClassTag("CMaskSpec", 1) + SpecBytes({{"a\\", "b\\"}, {"*.c"}, {"*.o"}, 3, 7}));

    // A mask spec that held other content takes exactly the stored one.
    CMaskSpec loaded = Make({{"old1", "old2", "old3"}, {"*.1", "*.2"}, {"*.3"}, 0, 1});
    LoadBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); });
    EXPECT_EQ(Members(loaded), Members(spec));
    std::unique_ptr<CObject> fresh;
    LoadBytes(tagged, [&](CArchive& ar) { fresh.reset(ar.ReadObject(RUNTIME_CLASS(CMaskSpec))); });
    ASSERT_NE(dynamic_cast<CMaskSpec*>(fresh.get()), nullptr);
    EXPECT_EQ(Members(*dynamic_cast<CMaskSpec*>(fresh.get())), Members(other));
}

}  // namespace
