#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "KstCollections.h"
#include "KstPlatform.h"
#include "KstTest.h"
#include "internal/CodePage.h"
#include "settings/internal/SharedIniFile.h"

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

// The same lines with bare LF (or CR) line ends.
std::string WithLf(std::string text, bool cr = false) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at + cr, 1);
    return text;
}

std::string Scratch(const std::string& name) {
    return ksttest::ScratchDir() + "/" + name;
}

using CodePages = ksttest::CodePageScope;

TEST(IniParse, KeysValuesCommentsBlocksAndLineEnds) {
    const std::pair<const char*, Entries> cases[] = {
        {"[Error]\r\nK5=Bad disk\r\n", {{"Error", "K5", "Bad disk"}}},
        {"[S]\r\n  key = v\r\n \t; note=x\r\nplain line\r\na=b=c\r\n",
         {{"S", "key ", " v"}, {"S", "a", "b=c"}}},
        {"[S]\r\nv=two\\nwords\r\n", {{"S", "v", "two\nwords"}}},
        {"[S]\r\n \t=blank key\r\nk=v\r\n", {{"S", "", "blank key"}, {"S", "k", "v"}}},
        {"[S]\r\n[T]\r\n; only a comment=1\r\n", {{"S", "", ""}, {"T", "", ""}}},
        {"no section\r\nk=v\r\n", {}},
        {"", {}},
        // B is the first commented-out block and is dropped; D's lines go to C.
        {"[A]\r\na=1\r\n;[B]\r\nb=2\r\n[C]\r\nc=3\r\n;[D]\r\nd=4\r\n",
         {{"A", "a", "1"}, {"C", "c", "3"}, {"C", "d", "4"}}},
        // "[]" counts as commented out too.
        {"[A]\r\na=1\r\n[]\r\nx=0\r\n[C]\r\n[]\r\ny=9\r\n",
         {{"A", "a", "1"}, {"C", "", ""}, {"C", "y", "9"}}},
        // A semicolon before the first header drops the first section; after it, nothing.
        {"; messages\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n", {{"B", "b", "2"}}},
        {"[A]\r\n; messages\r\na=1\r\n[B]\r\nb=2\r\n", {{"A", "a", "1"}, {"B", "b", "2"}}},
        // A bracket inside a value starts a new block; without a "]" after it the parse stops.
        {"[A]\r\nk=x[B]\r\nm=n\r\n", {{"A", "k", "x"}, {"B", "m", "n"}}},
        {"[A]\r\nk=x[y\r\nm=n\r\n[C]\r\nc=1\r\n", {{"A", "k", "x"}}},
        // Trailing blanks and semicolons before the next "[" belong to no one.
        {"[A]\r\nk=x ;[B]\r\nm=n\r\n", {{"A", "k", "x"}}},
    };
    for (const auto& [text, entries] : cases) EXPECT_EQ(Parsed(text), entries) << text;

    // LF, CR LF and CR read alike.
    for (const char* text : {"[Error]\r\nK5=Bad disk\r\n",
                             "[A]\r\na=1\r\n;[B]\r\nb=2\r\n[C]\r\nc=3\r\n;[D]\r\nd=4\r\n",
                             "; top\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n",
                             "\r\n[S]\r\n  key = v\r\n ; c=1\r\nx\r\nv=two\\nwords\r\n[T]\r\n",
                             "[A]\r\n\r\n\r\nk=v\r\n[B]\r\n=\r\nx=\r\n", "[A]\r\nk=v"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Parsed(text).empty());
        EXPECT_EQ(Parsed(WithLf(text)), Parsed(text));
        EXPECT_EQ(Parsed(WithLf(text, true)), Parsed(text));
    }
    // Mixed line ends each count: a CR before a CR LF is an empty line.
    EXPECT_EQ(Parsed("[A]\r\r\na=1\nb=2\rc=3"),
              (Entries{{"A", "a", "1"}, {"A", "b", "2"}, {"A", "c", "3"}}));
    // A blank after a header stays part of the line (so the next key starts with an LF,
    // as with CR LF), whichever the line end.
    for (const char* text : {"[A] \r\na=1\r\n", "[A] \na=1\n", "[A] \ra=1\r"})
        EXPECT_EQ(Parsed(text), (Entries{{"A", "\na", "1"}})) << text;
}

// Sorted ignoring case, but each spelling of a section heads its own block; folded to lower
// case ("_" before the letters); values written as they stand.
TEST(IniFile, SaveSortsFoldedToLowerCaseInTheLineEndReadAndWritesValuesAsTheyStand) {
    const std::pair<const char*, const char*> cases[] = {
        {"[b]\r\nk=1\r\n[A]\r\nz=2\r\n[a]\r\ny=3\r\n",
         "[a]\r\ny=3\r\n\r\n[A]\r\nz=2\r\n\r\n[b]\r\nk=1\r\n"},
        {"[Z]\r\nz=1\r\n[a]\r\nB=2\r\n_k=3\r\n[_]\r\nx=4\r\n",
         "[_]\r\nx=4\r\n\r\n[a]\r\n_k=3\r\nB=2\r\n\r\n[Z]\r\nz=1\r\n"},
        {"[S]\r\nv=a\\nb\r\nk=x\r\n[E]\r\n", "[E]\r\n=\r\n\r\n[S]\r\nk=x\r\nv=a\nb\r\n"},
    };
    std::string path = Scratch("order.ini");
    for (const auto& [text, saved] : cases) {
        CIniFile ini(path.c_str());
        ini.SetAutoSave(0);
        ini.Parse(text);
        ASSERT_EQ(ini.Save(), 1);
        EXPECT_EQ(ksttest::ReadFile(path), saved);
    }
    // In the line end the text was read with.
    for (const char* end : {"\n", "\r\n", "\r"}) {
        std::string e = end;
        ksttest::WriteFile(path, "[B]" + e + "k=1" + e + "[A]\r\nz=2");
        CIniFile ini(path.c_str());
        ini.SetAutoSave(0);
        ASSERT_EQ(ini.Read(), 1);
        ASSERT_EQ(ini.Save(), 1);
        EXPECT_EQ(ksttest::ReadFile(path), "[A]" + e + "z=2" + e + e + "[B]" + e + "k=1" + e);
    }
}

TEST(IniFile, DestructionWritesBackAfterSetValueReadAppends) {
    std::string changed = Scratch("changed.ini");
    std::string read = Scratch("read.ini");
    std::string parsed = Scratch("parsed.ini");
    std::string off = Scratch("off.ini");
    for (const auto& path : {changed, read, off}) ksttest::WriteFile(path, "[Z]\nz=1\n[A]\na=1\n");
    {
        CIniFile ini(changed.c_str());
        ASSERT_EQ(ini.Read(), 1);
        ini.SetValue("A", "a", "2");
        ini.SetValue("N", "k", "v");
    }
    // Sorted, in the line end the file was read with.
    EXPECT_EQ(ksttest::ReadFile(changed), "[A]\na=2\n\n[N]\nk=v\n\n[Z]\nz=1\n");
    {
        CIniFile ini(read.c_str());
        ASSERT_EQ(ini.Read(), 1);
        ini.Sort();
        CIniFile text(parsed.c_str());
        text.Parse("[Z]\r\nz=1\r\n");
        CIniFile switchedOff(off.c_str());
        switchedOff.Read();
        switchedOff.SetValue("A", "a", "3");
        switchedOff.SetAutoSave(0);
    }
    EXPECT_EQ(ksttest::ReadFile(read), "[Z]\nz=1\n[A]\na=1\n");
    EXPECT_EQ(ksttest::ReadFile(off), "[Z]\nz=1\n[A]\na=1\n");
    EXPECT_FALSE(std::filesystem::exists(parsed));
    {
        CIniFile fresh(parsed.c_str());
        fresh.SetValue("S", "k", "v");
    }
    EXPECT_EQ(ksttest::ReadFile(parsed), "[S]\r\nk=v\r\n");

    // Read appends and answers whether anything is there; a zero byte ends the text; a file that
    // cannot be created is not saved. The file name takes ".ini" unless it has an extension.
    EXPECT_EQ(CIniFile().GetFileName() + CIniFile(CString("")).GetFileName(),
              "options.inioptions.ini");
    EXPECT_EQ(CIniFile("settings").GetFileName() + CIniFile("my.cfg").GetFileName(),
              "settings.inimy.cfg");
    const std::pair<std::string, int> cases[] = {
        {"", 0},
        {"k=v\r\nno sections here\r\n", 0},
        {std::string("\0[A]\r\na=1\r\n", 11), 0},
        {std::string("[A]\r\na=1\r\n\0[B]\r\nb=2\r\n", 22), 1},
        {"[Error]\r\nK5=Bad disk\r\n", 1},
    };
    std::string path = Scratch("read.ini");
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    for (const auto& [text, read] : cases) {
        ksttest::WriteFile(path, text);
        EXPECT_EQ(ini.Read(), read) << text;
    }
    EXPECT_EQ(ini.Read(), 1);  // appends: the list is not emptied first
    EXPECT_EQ(EntriesOf(ini),
              (Entries{{"A", "a", "1"}, {"Error", "K5", "Bad disk"}, {"Error", "K5", "Bad disk"}}));
    for (const std::string& name : {Scratch("missing.ini"), ksttest::ScratchDir()}) {
        CIniFile other(name.c_str());
        other.SetAutoSave(0);
        EXPECT_EQ(other.Read(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(Scratch("missing.ini")));
    CIniFile unsaved((ksttest::ScratchDir() + "/no/such/folder/x.ini").c_str());
    unsaved.SetAutoSave(0);
    unsaved.Parse("[S]\r\nk=1\r\n");
    EXPECT_EQ(unsaved.Save(), 0);
}

// Entries are reached by index in any order; walking up goes on from the last one asked for,
// so reading 50000 entries in order takes no walk from the head for each.
TEST(IniFile, EntriesByIndexInAnyOrderAndInOrderFast) {
    CIniFile ini("by-index.ini");
    ini.SetAutoSave(0);
    std::string text = "[s]\r\n";
    for (int i = 0; i < 50000; ++i) text += "k" + std::to_string(i) + "=v\r\n";
    ini.Parse(text.c_str());
    ASSERT_EQ(ini.GetCount(), 50000);
    EXPECT_EQ(ini.GetAt(7).m_strKey, "k7");
    EXPECT_EQ(ini.GetAt(3).m_strKey, "k3");  // behind the last one: from the head
    EXPECT_EQ(ini.GetAt(3).m_strKey, "k3");
    EXPECT_EQ(ini.GetAt(50000).m_strKey, "");  // past the end: an empty entry
    EXPECT_EQ(ini.GetAt(-1).m_strKey, "");
    ini.Parse("[t]\r\nlast=1\r\n");  // appended entries are reached from where the walk was
    EXPECT_EQ(ini.GetAt(50000).m_strKey, "last");
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < ini.GetCount(); ++i) ASSERT_FALSE(ini.GetAt(i).m_strSection.IsEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(IniFile, FillMapKeysLaterEntriesWin) {
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse("[Error]\r\nK5=Bad disk\r\nK5=Worse disk\r\n[Message]\r\nErrorInfo=%Error%\r\n");
    CMapStringToString map;
    map.SetAt("Other", "kept");
    ini.FillMap(map);
    std::map<std::string, std::string> got;
    CString key, value;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        got[key.str()] = value.str();
    }
    EXPECT_EQ(
        got, (std::map<std::string, std::string>{
                 {"Error.K5", "Worse disk"}, {"Message.ErrorInfo", "%Error%"}, {"Other", "kept"}}));
}

// Cyrillic sections in the ANSI page of the text: sorted as letters, case folded.
void ExpectCyrillicOrder(unsigned page, bool bareLf) {
    auto in = [page](const char* utf8) { return kst::detail::Convert(utf8, 65001, page); };
    std::string path = Scratch("cyr" + std::to_string(page) + ".ini");
    std::string text =
        in("[Сообщения]\r\nб=2\r\nА=1\r\n[ошибки]\r\nK5=Нет диска\r\n"
           "[Операции]\r\nЯ=9\r\n[Zeta]\r\nz=0\r\n");
    ksttest::WriteFile(path, bareLf ? WithLf(text) : text);
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ASSERT_EQ(ini.Read(), 1);
    EXPECT_EQ(std::get<2>(EntriesOf(ini)[2]), in("Нет диска"));
    ASSERT_EQ(ini.Save(), 1);
    std::string saved =
        in("[Zeta]\r\nz=0\r\n\r\n[Операции]\r\nЯ=9\r\n\r\n"
           "[ошибки]\r\nK5=Нет диска\r\n\r\n[Сообщения]\r\nА=1\r\nб=2\r\n");
    EXPECT_EQ(ksttest::ReadFile(path), bareLf ? WithLf(saved) : saved);
}

TEST(IniFile, SortsCyrillicNamesInUtf8AndCodePage1251) {
    for (unsigned page : {65001u, 1251u}) {
        CodePages pages(page, 866);
        ExpectCyrillicOrder(page, false);
        ExpectCyrillicOrder(page, true);
    }
}

// ---- bad input -----------------------------------------------------------------------------

double SecondsToParse(const std::string& text) {
    auto start = std::chrono::steady_clock::now();
    CIniFile ini;
    ini.SetAutoSave(0);
    ini.Parse(text.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(IniBadInput, BinaryFilesAndMegabyteLinesParseWithoutHarmAndLinearly) {
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

// ---- real files ----------------------------------------------------------------------------

std::string FromHex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The ini-style files of this machine that configparser reads and whose every line the class
// takes as configparser does (no continuation lines, ":" delimiters, "[" or "\n" in values).
// Blanks around keys and values are the one difference left: configparser strips them.
TEST(IniRealFiles, ReadAsConfigparserReadsThemAndStayUnchanged) {
    std::string dump;
    ASSERT_EQ(ksttest::RunCommand("timeout 200 python3 " KST_SOURCE_DIR
                                  "/tests/settings/configparser_dump.py /etc /usr/share",
                                  &dump),
              0);
    std::map<std::string, Entries> expected;
    std::string current;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line.substr(2));
        std::string a, b, c;
        fields >> a >> b >> c;
        if (line[0] == 'F')
            current = FromHex(a);
        else
            expected[current].emplace_back(FromHex(a), FromHex(b), FromHex(c));
    }
    ASSERT_GE(expected.size(), 10u) << "too few ini-style files on this machine";
    int compared = 0;
    for (const auto& [path, entries] : expected) {
        if (path.find('.') == std::string::npos) continue;  // the class would append ".ini"
        SCOPED_TRACE(path);
        std::string before = ksttest::ReadFile(path);
        // A copy first: a class that wrote back would spoil the copy, not the machine's file.
        std::string copy = Scratch("copy.ini");
        ksttest::WriteFile(copy, before);
        { CIniFile(copy.c_str()).Read(); }
        ASSERT_EQ(ksttest::ReadFile(copy), before);
        Entries got;
        {
            CIniFile ini(path.c_str());  // write-back left on: reading must not write
            ASSERT_EQ(ini.Read(), 1);
            for (auto& [section, key, value] : EntriesOf(ini))
                got.emplace_back(section, TrimBlanks(key), TrimBlanks(value));
        }
        EXPECT_EQ(got, entries);
        EXPECT_EQ(ksttest::ReadFile(path), before);
        ++compared;
    }
    std::printf("compared %d files\n", compared);
}

}  // namespace
