// Mask lists: the base folder, AddMask, and the simple form in both directions over every
// case the conversion distinguishes, with the lists that the simple form cannot show.
#include <gtest/gtest.h>

#include "SelectionTestData.h"

using namespace seltest;

namespace {

struct Simple {
    Strings include, exclude;
    int allSubDirs = 0;
    Strings subDirs;
    int masksInSubDirs = 0;
    int answer = 1;
};

// The simple form as text: each list's items end in ";".
std::string Show(const Simple& s) {
    auto list = [](const Strings& strings) {
        std::string text;
        for (const auto& x : strings) text += x + ";";
        return text;
    };
    return list(s.include) + " | " + list(s.exclude) + " | all " + std::to_string(s.allSubDirs) +
           " | " + list(s.subDirs) + " | masks " + std::to_string(s.masksInSubDirs) + " | answer " +
           std::to_string(s.answer);
}

void FromSimple(CMaskSpecArray& list, const Simple& s) {
    CStringArray include, exclude, subDirs;
    Fill(include, s.include);
    Fill(exclude, s.exclude);
    Fill(subDirs, s.subDirs);
    EXPECT_EQ(list.ConvertFromSimple(include, exclude, s.allSubDirs, subDirs, s.masksInSubDirs), 1);
}

Simple ToSimple(const CMaskSpecArray& list) {
    CStringArray include, exclude, subDirs;
    Fill(include, {"stale"});
    Fill(exclude, {"stale"});
    Simple s{{}, {}, 7, {}, 7, 0};
    s.answer = list.ConvertToSimple(include, exclude, s.allSubDirs, subDirs, s.masksInSubDirs);
    s.include = Read(include);
    s.exclude = Read(exclude);
    s.subDirs = Read(subDirs);
    return s;
}

const Strings kInc{"*.txt", "*.doc"}, kExc{"~*"};

// Folders as the list holds them, and the mask of all files.
const Strings kDot{".\\"}, kA{"a\\"}, kAB{"a\\", "b\\"}, kEvery{"*\\"}, kAll{"*.*"};

TEST(SimpleForm, EveryCaseOfTheTableBothWays) {
    const Strings spaced{"my docs\\", "old files\\", ""};
    struct Case {
        const char* name;
        Simple in;
        std::vector<Spec> specs;
        Simple back;
    } cases[] = {
        {"no subfolders",
         {kInc, kExc, 0, {}, 0},
         {{kDot, kInc, kExc, 0, 0}},
         {kInc, kExc, 0, {}, 1}},
        {"no subfolders, masks",
         {kInc, kExc, 0, {}, 1},
         {{kDot, kInc, kExc, 0, 0}},
         {kInc, kExc, 0, {}, 1}},
        {"listed, all files",
         {kInc, kExc, 0, {"a", " b "}, 0},
         {{kDot, kInc, kExc, 0, 0}, {kAB, kAll, {}, 1, 0}},
         {kInc, kExc, 0, kAB, 0}},
        {"listed with blanks inside",
         {kInc, {}, 0, {" my docs ", "old files\\", ""}, 0},
         {{kDot, kInc, {}, 0, 0}, {spaced, kAll, {}, 1, 0}},
         {kInc, {}, 0, spaced, 0}},
        {"listed, same masks",
         {kInc, kExc, 0, {"a", "b\\"}, 1},
         {{kDot, kInc, kExc, 0, 0}, {kAB, kInc, kExc, 1, 0}},
         {kInc, kExc, 0, kAB, 1}},
        {"all, same masks",
         {kInc, kExc, 1, {"ignored"}, 1},
         {{kDot, kInc, kExc, 1, 0}},
         {kInc, kExc, 1, {}, 1}},
        {"all, same masks, empty list",
         {kInc, {}, 1, {}, 1},
         {{kDot, kInc, {}, 1, 0}},
         {kInc, {}, 1, {}, 1}},
        {"all, all files",
         {kInc, kExc, 1, {"ignored"}, 0},
         {{kDot, kInc, kExc, 0, 0}, {kEvery, kAll, {}, 1, 0}},
         {kInc, kExc, 1, kEvery, 0}},
        {"all, all files, empty list",
         {{"*"}, {}, 1, {}, 0},
         {{kDot, {"*"}, {}, 0, 0}, {kEvery, kAll, {}, 1, 0}},
         {{"*"}, {}, 1, kEvery, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMaskSpecArray list;
        FromSimple(list, c.in);
        EXPECT_EQ(Specs(list), c.specs);
        EXPECT_EQ(Show(ToSimple(list)), Show(c.back));
    }
}

// Lists the simple form cannot show answer 0 with what they hold.
TEST(SimpleForm, ListsTheSimpleFormCannotShow) {
    const Spec base{kDot, kInc, kExc, 0, 0}, aAll{kA, kAll, {}, 1, 0};
    const Spec global{{"%GlobalExclusion%"}, {}, {"*.tmp"}, 1, 0};
    const Simple aNone{kInc, kExc, 0, kA, 0, 0}, aMasks{kInc, kExc, 0, kA, 1, 0};
    struct Case {
        const char* name;
        std::vector<Spec> specs;
        Simple expected;
    } cases[] = {
        {"three mask specs", {base, aAll, {{"b\\"}, kAll, {}, 1, 0}}, aNone},
        {"a global exclusion besides the two parts", {global, base, aAll}, aNone},
        {"a global exclusion alone is skipped",
         {{{"%GlobalExclusion%", ".\\"}, {"*"}, {"*.tmp"}, 1, 0}, base},
         {kInc, kExc, 0, {}, 1, 1}},
        {"excludes in the subfolder part", {base, {kA, kAll, {"*.bak"}, 1, 0}}, aNone},
        {"a second include after all files", {base, {kA, {"*.*", "*.txt"}, {}, 1, 0}}, aNone},
        {"includes in another order", {base, {kA, {"*.doc", "*.txt"}, kExc, 1, 0}}, aMasks},
        {"includes in another case", {base, {kA, {"*.TXT", "*.doc"}, kExc, 1, 0}}, aMasks},
        {"other excludes", {base, {kA, kInc, {}, 1, 0}}, aMasks},
        {"every subfolder and another folder",
         {base, {{"*\\", "a\\"}, kAll, {}, 1, 0}},
         {kInc, kExc, 1, {"*\\", "a\\"}, 0, 0}},
        {"untrimmed includes against the trimmed base",
         {{kDot, {" *.txt", "*.doc"}, {}, 0, 0}, {kA, {" *.txt", "*.doc"}, {}, 1, 0}},
         {kInc, {}, 0, kA, 1, 0}},
        // The walk takes parts in its own way: a first folder left empty counts as the base
        // before any base was seen; the base after the subfolder part sets the flags again;
        // a mask spec without folders is skipped.
        {"an empty first folder is the base",
         {{{""}, {" *.c "}, {}, 1, 0}},
         {{"*.c"}, {}, 1, {}, 1, 1}},
        {"the base after the subfolder part",
         {aAll, {kDot, {"*.c"}, {}, 1, 0}},
         {{"*.c"}, {}, 1, kA, 1, 1}},
        {"a mask spec without folders is skipped",
         {{{}, {"*.x"}, {}, 1, 0}, {kDot, {"*.c"}, {}, 0, 0}},
         {{"*.c"}, {}, 0, {}, 1, 1}},
        {"an empty list", {}, {{}, {}, 0, {}, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMaskSpecArray list;
        for (const auto& spec : c.specs) list.Add(Raw(spec));
        EXPECT_EQ(Show(ToSimple(list)), Show(c.expected));
    }
    // An empty slot is skipped but counted.
    CMaskSpecArray list;
    list.Add(nullptr);
    list.AddMask(Make({{".\\"}, {"*.c"}, {}, 0, 0}));
    list.AddMask(Make({{"a\\"}, {"*.*"}, {}, 1, 0}));
    EXPECT_EQ(Show(ToSimple(list)), Show({{"*.c"}, {}, 0, {"a\\"}, 0, 0}));
}

TEST(SimpleForm, FoldersAreAppendedAndListsExtended) {
    CMaskSpecArray list;
    FromSimple(list, {{"*.a"}, {}, 0, {"x"}, 0});
    FromSimple(list, {{"*.b"}, {}, 1, {}, 1});
    ASSERT_EQ(list.GetSize(), 3);
    EXPECT_EQ(Members(*list.GetMaskAt(2)), (Spec{{".\\"}, {"*.b"}, {}, 1, 0}));

    CMaskSpecArray two;
    FromSimple(two, {{"*.a"}, {}, 0, {"x"}, 0});
    CStringArray include, exclude, subDirs;
    Fill(subDirs, {"kept\\"});
    int all = 0, masks = 0;
    EXPECT_EQ(two.ConvertToSimple(include, exclude, all, subDirs, masks), 1);
    EXPECT_EQ(Read(subDirs), (Strings{"kept\\", "x\\"}));
}

TEST(MaskSpecArray, BaseFolderAddMaskCopiesAndEquality) {
    struct Case {
        const char* given;
        const char* held;
    } cases[] = {{"c:\\data", "c:\\data\\"},
                 {"c:\\data\\", "c:\\data\\"},
                 {"", ""},
                 {"/srv/files", "/srv/files/"}};
    for (const auto& c : cases) EXPECT_EQ(CMaskSpecArray(c.given).GetBaseDir(), c.held);
    CMaskSpecArray list("c:\\data");
    list.SetBaseDir("c:\\data");
    EXPECT_EQ(list.GetBaseDir(), "c:\\data");
    EXPECT_EQ(list.GetRuntimeClass(), RUNTIME_CLASS(CObjectPArrayPtr));

    // The added mask spec is a new one whose folders end in a separator.
    CMaskSpec loose;
    CStringArray dirs;
    Fill(dirs, {"a", "b\\"});
    CMaskSpecArray holder;
    holder.AddMask(dirs, *loose.GetIncludeWildcards(), *loose.GetExcludeWildcards(), 0, 1);
    list.AddMask(*holder.GetMaskAt(0));
    ASSERT_EQ(list.GetSize(), 1);
    EXPECT_NE(list.GetMaskAt(0), holder.GetMaskAt(0));
    EXPECT_EQ(Members(*list.GetMaskAt(0)), (Spec{{"a\\", "b\\"}, {}, {}, 0, 1}));

    CMaskSpecArray source("/one");
    FromSimple(source, {{"*.a"}, {}, 0, {"x"}, 0});
    CMaskSpecArray copy(source);
    EXPECT_EQ(copy.GetBaseDir(), "/one/");
    EXPECT_EQ(Specs(copy), Specs(source));
    EXPECT_NE(copy.GetMaskAt(0), source.GetMaskAt(0));

    CMaskSpecArray assigned("/two");
    FromSimple(assigned, {{"*.z"}, {}, 1, {}, 1});
    assigned = source;
    EXPECT_EQ(assigned.GetBaseDir(), "/one/");
    EXPECT_EQ(Specs(assigned), Specs(source));

    CMaskSpecArray other("/three");
    FromSimple(other, {{"*.A"}, {}, 0, {"X"}, 0});
    EXPECT_TRUE(other == source);  // case-blind mask specs, base folder left out
    other.GetMaskAt(1)->SetFilesStatus(1);
    EXPECT_TRUE(other != source);
}

}  // namespace
