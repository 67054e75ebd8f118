// CString's framework semantics, case folding in the ANSI pages, and the code-page
// conversions with the pages a process starts with.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "KstPlatform.h"
#include "KstString.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "ProcessState.h"
#include "internal/CodePage.h"

namespace {

using CodePages = ksttest::CodePageScope;

std::string InPage(const char* utf8, unsigned page) {
    return kst::detail::Convert(utf8, 65001, page);
}

using Texts = std::vector<CString>;

TEST(CString, ExtractionClampsLikeTheFramework) {
    CString s("abcdef");
    EXPECT_EQ((Texts{s.Mid(2), s.Mid(2, 2), s.Mid(-3, 2), s.Mid(4, 100), s.Mid(10), s.Mid(1, -1),
                     s.Left(-1), s.Left(99), s.Right(2), s.Right(99), s.SpanIncluding("abx"),
                     s.SpanExcluding("dx")}),
              (Texts{"cdef", "cd", "ab", "ef", "", "", "", "abcdef", "ef", "abcdef", "ab", "abc"}));
}

TEST(CString, SearchAndEdit) {
    CString s("a\\b\\c.txt");
    EXPECT_EQ(
        (std::vector<int>{s.Find('\\'), s.Find('\\', 2), s.Find('\\', 50), s.Find("c.t"),
                          s.Find(""), s.ReverseFind('\\'), s.FindOneOf(".\\"), s.FindOneOf("qw")}),
        (std::vector<int>{1, 3, -1, 4, 0, 3, 1, -1}));

    CString r("aaa-aaa");
    EXPECT_EQ(r.Replace("aa", "b"), 2);
    EXPECT_EQ(r, "ba-ba");
    EXPECT_EQ(r.Replace("", "x"), 0);
    EXPECT_EQ(r.Replace('a', 'c'), 2);
    EXPECT_EQ(r, "bc-bc");
    EXPECT_EQ(r.Remove('b'), 2);
    EXPECT_EQ(r, "c-c");
    EXPECT_EQ(r.Insert(1, "xy"), 5);
    EXPECT_EQ(r.Insert(99, '!'), 6);
    EXPECT_EQ(r, "cxy-c!");
    EXPECT_EQ(r.Delete(1, 2), 4);
    EXPECT_EQ(r.Delete(3, 10), 3);
    EXPECT_EQ(r.Delete(10, 1), 3);
    EXPECT_EQ(r, "c-c");
}

TEST(CString, Trimming) {
    CString s(" \t value \r\n"), p("\\\\path\\\\"), all("xxx");
    CString high("\xE0\xE0 ");  // bytes above 0x7F are never white space
    s.TrimLeft();
    EXPECT_EQ(s, "value \r\n");
    s.TrimRight();
    p.TrimRight('\\');
    EXPECT_EQ(p, "\\\\path");
    p.TrimLeft("\\");
    all.TrimRight('x');
    high.TrimLeft();
    high.TrimRight();
    EXPECT_EQ((Texts{s, p, all, high}), (Texts{"value", "path", "", "\xE0\xE0"}));
}

TEST(CString, FormatHandlesLongAndEmptyResults) {
    CString s, big, empty("x");
    s.Format("%s=%u", "key", 42u);
    big.Format("[%s]", std::string(5000, 'z').c_str());
    empty.Format("%s", "");
    EXPECT_EQ((Texts{s, big, empty}), (Texts{"key=42", "[" + CString('z', 5000) + "]", ""}));
}

TEST(CString, FormatFromTheStringTable) {
    CodePages pages(65001, 866);
    CString s, missing("keep"), loaded;
    s.Format(1u, "A", "B", "C");
    missing.Format(999u);
    EXPECT_TRUE(loaded.LoadString(3));
    EXPECT_EQ((Texts{s, missing, loaded}),
              (Texts{"Ошибка: AB\nC.", "", "Повторить (Да/Yes) или Игнорировать (Нет/No)?"}));
    EXPECT_FALSE(s.LoadString(4));
}

TEST(CString, BufferAccess) {
    CString s("ab");
    char* p = s.GetBuffer(10);
    strcpy(p, "hello");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hello");
    EXPECT_EQ(s.GetLength(), 5);
    s.GetBuffer(0);
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, "he");
    memcpy(s.GetBufferSetLength(4), "wxyz", 4);
    EXPECT_EQ(s, "wxyz");
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(CString, ComparisonsAreBytewiseUnlessNoCase) {
    CodePages pages(1252, 437);
    EXPECT_NE(CString("abc"), CString("ABC"));
    // Unsigned bytes; Latin-1 letters fold.
    EXPECT_EQ((std::vector<int>{
                  Sign(CString("abc").CompareNoCase("ABC")), Sign(CString("abc").Compare("abd")),
                  Sign(CString("\xE9").Compare("a")), Sign(CString("ab").Compare("abc")),
                  Sign(CString("\xC9T\xC9").CompareNoCase("\xE9t\xE9")),
                  Sign(CString("a").CompareNoCase("B"))}),
              (std::vector<int>{0, -1, 1, -1, 0, -1}));
    EXPECT_EQ(_mbsicmp(reinterpret_cast<const unsigned char*>("Zz"),
                       reinterpret_cast<const unsigned char*>("zZ")),
              0);
}

class CyrillicFolding : public ::testing::TestWithParam<unsigned> {};

TEST_P(CyrillicFolding, LettersOfTheAnsiPageFold) {
    unsigned page = GetParam();
    CodePages pages(page, 866);
    CString upper(InPage("ПРИВЕТ, ЁЖИК! ÄÖ", page).c_str());
    CString lower(InPage("привет, ёжик! äö", page).c_str());
    if (page == 1251) {  // 1251 has no Ä/Ö
        upper = InPage("ПРИВЕТ, ЁЖИК!", page).c_str();
        lower = InPage("привет, ёжик!", page).c_str();
    }
    EXPECT_EQ(upper.CompareNoCase(lower), 0);
    EXPECT_NE(upper.Compare(lower), 0);
    CString made(upper);
    made.MakeLower();
    EXPECT_EQ(made, lower);
    made.MakeUpper();
    EXPECT_EQ(made, upper);
    // Cyrillic sorts after Latin and in alphabet order without regard to case.
    CString a(InPage("абв", page).c_str()), b(InPage("БВГ", page).c_str());
    EXPECT_LT(a.CompareNoCase(b), 0);
    EXPECT_LT(CString("zzz").CompareNoCase(a), 0);
}

INSTANTIATE_TEST_SUITE_P(Pages, CyrillicFolding, ::testing::Values(1251u, 65001u, 866u));

TEST(CString, ReverseKeepsUtf8CharactersWhole) {
    CodePages pages(65001, 866);
    CString s("aЖb");
    s.MakeReverse();
    EXPECT_EQ(s, "bЖa");
}

TEST(CodePages, RoundTripsThroughUtf16) {
    const char* text = "Съешь же ещё этих мягких французских булок";
    for (unsigned page : {866u, 1251u, 65001u, 20866u}) {
        std::string narrow = InPage(text, page);
        int wideLength = MultiByteToWideChar(page, 0, narrow.c_str(), -1, nullptr, 0);
        ASSERT_GT(wideLength, 0) << page;
        std::u16string wide(static_cast<size_t>(wideLength), u'\0');
        ASSERT_EQ(MultiByteToWideChar(page, 0, narrow.c_str(), -1, wide.data(), wideLength),
                  wideLength);
        EXPECT_EQ(wide.back(), u'\0');
        EXPECT_EQ(wide[0], u'С');
        int narrowLength =
            WideCharToMultiByte(page, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string back(static_cast<size_t>(narrowLength), '\0');
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(page, 0, wide.c_str(), -1, back.data(), narrowLength, nullptr,
                                      &usedDefault),
                  narrowLength);
        EXPECT_FALSE(usedDefault);
        back.pop_back();
        EXPECT_EQ(back, narrow) << page;
    }
}

TEST(CodePages, UnrepresentableAndInvalidCharacters) {
    std::u16string chinese = u"a\u4E2Db";
    BOOL usedDefault = FALSE;
    char out[8] = {};
    int n =
        WideCharToMultiByte(1251, 0, chinese.c_str(), 3, out, sizeof out, nullptr, &usedDefault);
    EXPECT_EQ(n, 3);
    EXPECT_STREQ(out, "a?b");
    EXPECT_TRUE(usedDefault);
    // A cut UTF-8 sequence becomes the replacement character, not a failure.
    WCHAR wide[8] = {};
    n = MultiByteToWideChar(65001, 0, "x\xD0", 2, wide, 8);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(wide[1], 0xFFFD);
    // Too small a buffer fails with the platform's error.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(65001, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePages, OemConversionAndWideConstruction) {
    CodePages pages(1251, 866);
    std::string ansi = InPage("Диск", 1251), oem = InPage("Диск", 866);
    char toOem[16] = {}, back[16] = {};
    ASSERT_TRUE(CharToOemA(ansi.c_str(), toOem) && OemToCharA(toOem, back));
    CString s(ansi.c_str()), fromWide(u"Диск");
    s.AnsiToOem();
    std::string sOem = s.str();
    s.OemToAnsi();
    EXPECT_EQ((std::vector<std::string>{toOem, back, sOem, s.str(), fromWide.str()}),
              (std::vector{oem, ansi, oem, ansi, ansi}));
}

TEST(CodePages, UtfEightLibraryTextsFollowTheAnsiPage) {
    for (unsigned page : {1251u, 65001u}) {
        CodePages pages(page, 866);
        EXPECT_EQ(kst::detail::FromUtf8ToAnsi("Ошибка"), InPage("Ошибка", page));
    }
}

// Tells the pages this process started with, as its locale gave them.
KST_CHILD_ROLE(report_code_pages) {
    ksttest::WriteFile(argv[1], std::to_string(GetACP()) + " " + std::to_string(GetOEMCP()));
    return 0;
}

std::string PagesUnderLocale(const char* locale) {
    std::string out = ksttest::ScratchDir() + "/pages";
    pid_t child;
    {
        ksttest::EnvScope scope("LC_ALL", locale);
        child = ksttest::StartChild("report_code_pages", {out});
    }
    EXPECT_EQ(ksttest::WaitChild(child), 0) << locale;
    return ksttest::ReadFile(out);
}

// The same answers whether the named locale is installed on this machine or not.
TEST(CodePages, DefaultsFollowTheLocaleOfTheEnvironment) {
    for (auto [locale, pages] : {std::pair{"ru_RU.UTF-8", "65001 866"},
                                 {"ru_RU.CP1251", "1251 866"},
                                 {"de_DE.UTF-8", "65001 437"},
                                 {"C", "65001 437"}})
        EXPECT_EQ(PagesUnderLocale(locale), pages);
}

}  // namespace
