#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "KstCollections.h"
#include "KstPlatform.h"
#include "KstTest.h"
#include "internal/CodePage.h"
#include "internal/IniFile.h"

namespace {

using Entry = std::tuple<std::string, std::string, std::string>;
using Entries = std::vector<Entry>;

Entries EntriesOf(const CIniFile& ini) {
    Entries out;
    for (int i = 0; i < ini.GetCount(); ++i) {
        CSettings s = ini.GetAt(i);
        out.emplace_back(s.m_strSection.str(), s.m_strKey.str(), s.m_strValue.str());
    }
    return out;
}

Entries Parsed(const std::string& text) {
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse(text.c_str());
    return EntriesOf(ini);
}

// The same lines with bare LF line ends.
std::string WithLf(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

std::string Scratch(const std::string& name) {
    return ksttest::ScratchDir() + "/" + name;
}

using CodePages = ksttest::CodePageScope;

TEST(IniParse, KeysValuesAndComments) {
    EXPECT_EQ(Parsed("[Error]\r\nK5=Bad disk\r\n"), (Entries{{"Error", "K5", "Bad disk"}}));
    EXPECT_EQ(Parsed("[S]\r\n  key = v\r\n \t; note=x\r\nplain line\r\na=b=c\r\n"),
              (Entries{{"S", "key ", " v"}, {"S", "a", "b=c"}}));
    EXPECT_EQ(Parsed("[S]\r\nv=two\\nwords\r\n"), (Entries{{"S", "v", "two\nwords"}}));
    EXPECT_EQ(Parsed("[S]\r\n \t=blank key\r\nk=v\r\n"),
              (Entries{{"S", "", "blank key"}, {"S", "k", "v"}}));
    EXPECT_EQ(Parsed("[S]\r\n[T]\r\n; only a comment=1\r\n"),
              (Entries{{"S", "", ""}, {"T", "", ""}}));
    EXPECT_EQ(Parsed("no section\r\nk=v\r\n"), Entries{});
    EXPECT_EQ(Parsed(""), Entries{});
}

TEST(IniParse, CommentedOutSectionsHandTheirLinesOn) {
    // B is the first commented-out block and is dropped; D's lines go to C.
    std::string text = "[A]\r\na=1\r\n;[B]\r\nb=2\r\n[C]\r\nc=3\r\n;[D]\r\nd=4\r\n";
    EXPECT_EQ(Parsed(text), (Entries{{"A", "a", "1"}, {"C", "c", "3"}, {"C", "d", "4"}}));
    // "[]" counts as commented out too.
    EXPECT_EQ(Parsed("[A]\r\na=1\r\n[]\r\nx=0\r\n[C]\r\n[]\r\ny=9\r\n"),
              (Entries{{"A", "a", "1"}, {"C", "", ""}, {"C", "y", "9"}}));
}

TEST(IniParse, SemicolonBeforeTheFirstHeaderDropsTheFirstSection) {
    EXPECT_EQ(Parsed("; messages\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n"), (Entries{{"B", "b", "2"}}));
    // A comment line after a header has no such effect.
    EXPECT_EQ(Parsed("[A]\r\n; messages\r\na=1\r\n[B]\r\nb=2\r\n"),
              (Entries{{"A", "a", "1"}, {"B", "b", "2"}}));
}

TEST(IniParse, BracketInsideAValueStartsANewBlock) {
    EXPECT_EQ(Parsed("[A]\r\nk=x[B]\r\nm=n\r\n"), (Entries{{"A", "k", "x"}, {"B", "m", "n"}}));
    // Without a "]" after it the parse stops there.
    EXPECT_EQ(Parsed("[A]\r\nk=x[y\r\nm=n\r\n[C]\r\nc=1\r\n"), (Entries{{"A", "k", "x"}}));
    // Trailing blanks and semicolons before the next "[" belong to no one.
    EXPECT_EQ(Parsed("[A]\r\nk=x ;[B]\r\nm=n\r\n"), (Entries{{"A", "k", "x"}}));
}

TEST(IniParse, BareLineFeedsCostTheLastCharacterOfEachLine) {
    std::string text = "[Error]\r\nK5=Bad disk\r\n";
    // The character before each LF becomes the CR of the line end: the header loses "]".
    EXPECT_EQ(Parsed(WithLf(text)), Entries{});
    // Lines that carry one spare character read as with CR LF.
    EXPECT_EQ(Parsed("[Error] \nK5=Bad disk.\n"), (Entries{{"Error", "K5", "Bad disk"}}));
    EXPECT_EQ(Parsed("\n[S] \nk=v \n"), (Entries{{"S", "k", "v"}}));
}

TEST(IniParse, LfTextsWithASpareCharacterReadAsCrLfTexts) {
    // Each CR LF becomes a blank and an LF: the blank turns into the CR.
    auto spareLf = [](std::string text) {
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text[at] = ' ';
        return text;
    };
    for (const char* text : {"[A]\r\na=1\r\n;[B]\r\nb=2\r\n[C]\r\nc=3\r\n;[D]\r\nd=4\r\n",
                             "; top\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n",
                             "[S]\r\n  key = v\r\n ; c=1\r\nx\r\nv=two\\nwords\r\n[T]\r\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Parsed(spareLf(text)), Parsed(text));
        EXPECT_FALSE(Parsed(text).empty());
    }
    // A blank after a header is not taken for part of the line end with CR LF: the LF lands
    // in front of the next key.
    EXPECT_EQ(Parsed("[A] \r\na=1\r\n"), (Entries{{"A", "\na", "1"}}));
}

TEST(IniFile, NamesTheFile) {
    CIniFile byDefault;
    byDefault.SetAutoSave(0);
    EXPECT_EQ(byDefault.GetFileName(), "options.ini");
    CIniFile plain("settings");
    plain.SetAutoSave(0);
    EXPECT_EQ(plain.GetFileName(), "settings.ini");
    CIniFile dotted("my.cfg");
    dotted.SetAutoSave(0);
    EXPECT_EQ(dotted.GetFileName(), "my.cfg");
    CIniFile empty(CString(""));
    empty.SetAutoSave(0);
    EXPECT_EQ(empty.GetFileName(), "options.ini");
}

TEST(IniFile, SaveSortsIgnoringCaseButHeadsEachSpelling) {
    std::string path = Scratch("order.ini");
    {
        CIniFile ini(path.c_str());
        ini.Parse("[b]\r\nk=1\r\n[A]\r\nz=2\r\n[a]\r\ny=3\r\n");
        ASSERT_EQ(ini.Save(), 1);
        ini.SetAutoSave(0);
    }
    EXPECT_EQ(ksttest::ReadFile(path), "[a]\r\ny=3\r\n\r\n[A]\r\nz=2\r\n\r\n[b]\r\nk=1\r\n");
}

TEST(IniFile, SortFoldsToLowerCase) {
    // Folded to lower case, "_" lies before the letters; folded to upper case it would follow
    // them.
    std::string path = Scratch("fold.ini");
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ini.Parse("[Z]\r\nz=1\r\n[a]\r\nB=2\r\n_k=3\r\n[_]\r\nx=4\r\n");
    ASSERT_EQ(ini.Save(), 1);
    EXPECT_EQ(ksttest::ReadFile(path),
              "[_]\r\nx=4\r\n\r\n[a]\r\n_k=3\r\nB=2\r\n\r\n[Z]\r\nz=1\r\n");
}

TEST(IniFile, SaveWritesValuesAsTheyStand) {
    std::string path = Scratch("raw.ini");
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ini.Parse("[S]\r\nv=a\\nb\r\nk=x\r\n[E]\r\n");
    ASSERT_EQ(ini.Save(), 1);
    EXPECT_EQ(ksttest::ReadFile(path), "[E]\r\n=\r\n\r\n[S]\r\nk=x\r\nv=a\nb\r\n");
}

TEST(IniFile, SaveFailsWhenTheFileCannotBeCreated) {
    CIniFile ini((ksttest::ScratchDir() + "/no/such/folder/x.ini").c_str());
    ini.SetAutoSave(0);
    ini.Parse("[S]\r\nk=1\r\n");
    EXPECT_EQ(ini.Save(), 0);
}

TEST(IniFile, DestructionWritesBackUnlessSwitchedOff) {
    std::string kept = Scratch("kept.ini");
    std::string untouched = Scratch("untouched.ini");
    ksttest::WriteFile(untouched, "[Z]\r\nz=1\r\n[A]\r\na=1\r\n");
    {
        CIniFile ini(kept.c_str());
        ini.Parse("[Z]\r\nz=1\r\n[A]\r\na=1\r\n");
    }
    EXPECT_EQ(ksttest::ReadFile(kept), "[A]\r\na=1\r\n\r\n[Z]\r\nz=1\r\n");
    {
        CIniFile ini(untouched.c_str());
        ASSERT_EQ(ini.Read(), 1);
        ini.SetAutoSave(0);
    }
    EXPECT_EQ(ksttest::ReadFile(untouched), "[Z]\r\nz=1\r\n[A]\r\na=1\r\n");
}

TEST(IniFile, ReadAppendsAndReportsWhetherAnythingIsThere) {
    std::string path = Scratch("read.ini");
    CIniFile missing(Scratch("missing.ini").c_str());
    missing.SetAutoSave(0);
    EXPECT_EQ(missing.Read(), 0);
    EXPECT_FALSE(ksttest::RunCommand("test -e " + Scratch("missing.ini")) == 0);

    ksttest::WriteFile(path, "");
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    EXPECT_EQ(ini.Read(), 0);
    ksttest::WriteFile(path, "k=v\r\nno sections here\r\n");
    EXPECT_EQ(ini.Read(), 0);
    ksttest::WriteFile(path, "[Error]\r\nK5=Bad disk\r\n");
    EXPECT_EQ(ini.Read(), 1);
    EXPECT_EQ(ini.Read(), 1);  // appends: the list is not emptied first
    EXPECT_EQ(ini.GetCount(), 2);

    CIniFile folder(ksttest::ScratchDir().c_str());
    folder.SetAutoSave(0);
    EXPECT_EQ(folder.Read(), 0);
}

TEST(IniFile, FillMapKeysLaterEntriesWin) {
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse("[Error]\r\nK5=Bad disk\r\nK5=Worse disk\r\n[Message]\r\nErrorInfo=%Error%\r\n");
    CMapStringToString map;
    map.SetAt("Other", "kept");
    ini.FillMap(map);
    CString value;
    EXPECT_TRUE(map.Lookup("Error.K5", value));
    EXPECT_EQ(value, "Worse disk");
    EXPECT_TRUE(map.Lookup("Message.ErrorInfo", value));
    EXPECT_TRUE(map.Lookup("Other", value));
    EXPECT_FALSE(map.Lookup("error.K5", value));
    EXPECT_EQ(map.GetCount(), 3);
}

// Cyrillic sections in the ANSI page of the text: sorted as letters, case folded.
// With bare LF line ends, each line carries a spare character for the CR.
void ExpectCyrillicOrder(unsigned page, bool bareLf) {
    auto in = [page](const char* utf8) { return kst::detail::Convert(utf8, 65001, page); };
    std::string path = Scratch("cyr" + std::to_string(page) + ".ini");
    std::string text =
        in("[Сообщения]\r\nб=2\r\nА=1\r\n[ошибки]\r\nK5=Нет диска\r\n"
           "[Операции]\r\nЯ=9\r\n[Zeta]\r\nz=0\r\n");
    if (bareLf)
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text[at] = '.';
    ksttest::WriteFile(path, text);
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ASSERT_EQ(ini.Read(), 1);
    EXPECT_EQ(std::get<2>(EntriesOf(ini)[2]), in("Нет диска"));
    ASSERT_EQ(ini.Save(), 1);
    EXPECT_EQ(ksttest::ReadFile(path), in("[Zeta]\r\nz=0\r\n\r\n[Операции]\r\nЯ=9\r\n\r\n"
                                          "[ошибки]\r\nK5=Нет диска\r\n\r\n"
                                          "[Сообщения]\r\nА=1\r\nб=2\r\n"));
}

TEST(IniFile, SortsCyrillicNamesInUtf8) {
    CodePages pages(65001, 866);
    ExpectCyrillicOrder(65001, false);
    ExpectCyrillicOrder(65001, true);
}

TEST(IniFile, SortsCyrillicNamesInCodePage1251) {
    CodePages pages(1251, 866);
    ExpectCyrillicOrder(1251, false);
    ExpectCyrillicOrder(1251, true);
}

// ---- bad input -----------------------------------------------------------------------------

double SecondsToParse(const std::string& text) {
    auto start = std::chrono::steady_clock::now();
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse(text.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(IniBadInput, ZeroBytesEndTheText) {
    std::string path = Scratch("nul.ini");
    ksttest::WriteFile(path, std::string("[A]\r\na=1\r\n\0[B]\r\nb=2\r\n", 22));
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ASSERT_EQ(ini.Read(), 1);
    EXPECT_EQ(EntriesOf(ini), (Entries{{"A", "a", "1"}}));

    ksttest::WriteFile(path, std::string("\0[A]\r\na=1\r\n", 11));
    CIniFile leadingZero(path.c_str());
    leadingZero.SetAutoSave(0);
    EXPECT_EQ(leadingZero.Read(), 0);
}

TEST(IniBadInput, BinaryFilesParseWithoutHarm) {
    std::mt19937 random(7);
    std::string path = Scratch("binary.ini");
    for (int round = 0; round < 50; ++round) {
        std::string bytes(4096, '\0');
        for (char& ch : bytes) {
            // Enough of the characters that matter to reach every step of the parse.
            static const char kSpecial[] = "[];=\r\n \t\\";
            unsigned pick = random() % 32;
            ch = pick < 9 ? kSpecial[pick] : static_cast<char>(random() % 255 + 1);
        }
        ksttest::WriteFile(path, bytes);
        CIniFile ini(path.c_str());
        ini.SetAutoSave(0);
        ini.Read();
        for (int i = 0; i < ini.GetCount(); ++i) EXPECT_EQ(ini.GetAt(i).m_strKey.Find("\r\n"), -1);
    }
}

TEST(IniBadInput, MegabyteLinesAndManyBlocksStayLinear) {
    const size_t mb = 1 << 20;
    std::string longValue = "[A]\r\nk=" + std::string(4 * mb, 'v') + "\r\n";
    std::string noEquals = "[A]\r\n" + std::string(4 * mb, 'x') + "\r\nk=v\r\n";
    std::string noClose = "[A]\r\na=1\r\n[" + std::string(4 * mb, 'n');
    std::string brackets(4 * mb, '[');
    std::string semicolons = std::string(2 * mb, ';') + "[A]\r\n";
    std::string manyBlocks;
    while (manyBlocks.size() < 4 * mb) manyBlocks += "[s];;\r\nk=v;\r\n";
    std::string lines;
    while (lines.size() < 4 * mb) lines += "\n\n;x\n";
    for (const std::string* text :
         {&longValue, &noEquals, &noClose, &brackets, &semicolons, &manyBlocks, &lines}) {
        // A quadratic step would take minutes on any of these.
        EXPECT_LT(SecondsToParse(*text), 5.0);
    }
    EXPECT_EQ(std::get<2>(Parsed(longValue)[0]).size(), 4 * mb);
    EXPECT_EQ(Parsed(noEquals), (Entries{{"A", "k", "v"}}));
    EXPECT_EQ(Parsed(noClose), (Entries{{"A", "a", "1"}}));
    EXPECT_EQ(Parsed(brackets), Entries{});
}

}  // namespace
