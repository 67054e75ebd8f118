// The message-text collection: loading files and the host's resources, exact keys, and the
// replacement of %Name% items.
#include <gtest/gtest.h>

#include <filesystem>

#include "KstLocalization.h"
#include "KstPlatform.h"
#include "KstTest.h"

namespace {

std::string SamplePath() {
    return std::string(KST_SOURCE_DIR) + "/errors/samples/messages.ini";
}

std::string Value(const CLocalizationCollection& texts, const char* section, const char* key) {
    CString value("<none>");
    texts.Lookup(section, key, value);
    return value.str();
}

TEST(LocalizationLoad, FileGivesSectionDotKey) {
    CLocalizationCollection texts;
    ASSERT_EQ(texts.Load(SamplePath().c_str()), 1);
    EXPECT_EQ(Value(texts, "Operation", "Copy"), "Копирование файла");
    EXPECT_EQ(Value(texts, "Message", "ErrorInfo"), "%Error%\n(код ошибки %ErrorCode%)");
    CString byCode;
    for (UINT code : {5u, 0x20000005u, 0xE0000005u}) {
        byCode.Empty();
        EXPECT_EQ(texts.Lookup_KError(code, byCode), 1) << code;
        EXPECT_EQ(byCode, "Не удалось открыть файл %File%.");
    }
    EXPECT_EQ(Value(texts, "Error", "K5"), byCode.str());
    // Left as it was.
    EXPECT_TRUE(texts.Lookup_KError(6, byCode) == 0 && byCode == "Не удалось открыть файл %File%.");
}

TEST(LocalizationLoad, KeysAreExactAndEmptySectionMeansTheKeyAlone) {
    CLocalizationCollection texts;
    texts.SetAt("Plain", "bare");
    texts.SetAt("Error.K5", "x");
    std::vector<std::string> values;
    for (auto [section, key] : {std::pair{"", "Plain"},
                                {"", "plain"},
                                {"error", "K5"},
                                {"Error", "k5"},
                                {"", "Error.K5"}})
        values.push_back(Value(texts, section, key));
    EXPECT_EQ(values, (std::vector<std::string>{"bare", "<none>", "<none>", "<none>", "x"}));
}

TEST(LocalizationLoad, FailureKeepsTheOldTextsAndWritesNothing) {
    std::string dir = ksttest::ScratchDir();
    CLocalizationCollection texts;
    ASSERT_EQ(texts.Load(SamplePath().c_str()), 1);
    int count = texts.GetCount();

    ksttest::WriteFile(dir + "/empty.ini", "");
    ksttest::WriteFile(dir + "/comments.ini", "; nothing but a comment\r\nk=v\r\n");
    for (const char* name : {"/missing.ini", "/empty.ini", "/comments.ini"})
        EXPECT_EQ(texts.Load((dir + name).c_str()), 0) << name;
    EXPECT_FALSE(std::filesystem::exists(dir + "/missing.ini"));
    EXPECT_EQ(texts.GetCount(), count);
    EXPECT_EQ(Value(texts, "Operation", "Span"), "Разбиение архива на тома");

    // Success replaces everything: keys of the old texts are gone.
    std::string other = dir + "/other.ini";
    ksttest::WriteFile(other, "[Operation]\r\nCopy=Copy\r\n");
    ASSERT_EQ(texts.Load(other.c_str()), 1);
    EXPECT_TRUE(texts.GetCount() == 1 && Value(texts, "Operation", "Span") == "<none>");
    EXPECT_EQ(ksttest::ReadFile(other), "[Operation]\r\nCopy=Copy\r\n");  // not written back
}

TEST(LocalizationLoad, FileNameWithoutFullStopGetsIni) {
    std::string dir = ksttest::ScratchDir();
    ksttest::WriteFile(dir + "/texts.ini", "[Operation]\r\nCopy=Copy\r\n");
    // A full stop anywhere in the name, the folder's included, keeps the name as it is.
    CLocalizationCollection texts;
    EXPECT_EQ(texts.Load((dir + "/texts").c_str()), dir.find('.') == std::string::npos ? 1 : 0);
    std::string before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EXPECT_EQ(texts.Load("texts"), 1);
    std::filesystem::current_path(before);
}

TEST(LocalizationResource, LoadsTheHostsLanguageResource) {
    kst::RegisterResource("LANGUAGE", 101, ksttest::ReadFile(SamplePath()));
    static const char kWithZero[] = "[Error]\r\nK7=full\r\n\0[Error]\r\nK8=hidden\r\n";
    kst::RegisterResource("LANGUAGE", 102, std::string(kWithZero, sizeof kWithZero - 1));
    kst::RegisterResource("LANGUAGE", 103, "no entries here");
    kst::RegisterResource("LANGUAGE", 104, "");
    kst::RegisterResource("OTHER", 105, "[Error]\r\nK1=x\r\n");

    CLocalizationCollection texts;
    ASSERT_EQ(texts.LoadFromResource(101), 1);
    EXPECT_EQ(Value(texts, "Operation", "Join"), "Сборка архива из томов");
    int count = texts.GetCount();
    for (UINT id : {103u, 104u, 105u, 999u}) {
        EXPECT_EQ(texts.LoadFromResource(id), 0) << id;
        EXPECT_EQ(texts.GetCount(), count) << id;
    }
    // The text ends at the first zero byte; the id's high word is not part of it.
    ASSERT_EQ(texts.LoadFromResource(0x10000 + 102), 1);
    EXPECT_EQ(Value(texts, "Error", "K7") + "|" + Value(texts, "Error", "K8"), "full|<none>");
    EXPECT_EQ(texts.GetCount(), 1);
    // The global collection starts empty.
    CString value;
    EXPECT_TRUE(theMessage.GetCount() == 0 && theMessage.Lookup_KError(5, value) == 0);
}

// Items fill first occurrences in order, each applied to the text as earlier items left it;
// items that name nothing or are empty change nothing; without delimiters the whole text is
// one item.
TEST(LocalizationReplacement, FillsFirstOccurrencesInOrder) {
    const struct {
        const char *text, *items, *delimiters, *expected;
    } cases[] = {
        {"%Operation%: %Error%", "%Error%=disk full;%Operation%=Copy;", ";|\n", "Copy: disk full"},
        {"%A% and %A%", "%A%=one", ";|\n", "one and %A%"},
        {"%A% and %A%", "%A%=one|%A%=two", ";|\n", "one and two"},
        {"x%A%y", "%A%=a much longer text", ";", "xa much longer texty"},
        {"%A%", "%A%=v=w", ";", "v=w"},
        {"%A%", "%A%=%B%;%B%=b", ";", "b"},
        {"keep %A%", "", ";|\n", "keep %A%"},
        {"keep %A%", "%A%", ";|\n", "keep %A%"},
        {"keep %A%", "=x;;|\n\n", ";|\n", "keep %A%"},
        {"keep %A%", "%B%=x", ";|\n", "keep %A%"},
        {nullptr, nullptr, nullptr, ""},
        {"%A%", "%A%=x;%B%=y", "", "x;%B%=y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLocalizationCollection::Replacement(c.text, c.items, c.delimiters), c.expected)
            << (c.text ? c.text : "null") << " / " << (c.items ? c.items : "null");
}

}  // namespace
