#include <gtest/gtest.h>

#include <string>

#include "KstFile.h"
#include "KstTest.h"

namespace {

std::string Sample() {
    return std::string(KST_SOURCE_DIR) + "/errors/samples/messages.ini";
}

int Kst(const std::string& args, std::string* out) {
    return ksttest::RunCommand(ksttest::ToolPath() + " " + args + " 2>/dev/null", out);
}

// {arguments after "error" ("@" stands for --messages and the sample), box}
TEST(KstErrorCommand, PrintsTheBoxAHostWouldShowOrRefusesTheArguments) {
    const struct {
        const char* args;
        const char* box;
    } cases[] = {
        {"0x20000005 @ --operation Copy --server --description '%File%=a.txt;'",
         "Ошибка произошла на сервере.\nОшибка при выполнении операции «Копирование файла».\n"
         "Не удалось открыть файл a.txt.\n(код ошибки Kst:5)\n"},
        {"536870917 @ --description '%File%=b;'",
         "Не удалось открыть файл b.\n(код ошибки Kst:5)\n"},
        {"2 @", "The system cannot find the file specified.\n(код ошибки Win32:2)\n"},
        {"0 @", ""},
        // A leading zero keeps the number decimal: 010 is ten, and 09 is nine.
        {"010 @", "Unknown error 0xA\n(код ошибки Win32:10)\n"},
        {"09 @", "Unknown error 0x9\n(код ошибки Win32:9)\n"},
        {"0X20000005 @ --description '%File%=c;'",
         "Не удалось открыть файл c.\n(код ошибки Kst:5)\n"},
        {"0xFFFFFFFF @", "\n(код ошибки Kst:536870911)\n"},  // no text for that number
    };
    for (const auto& c : cases) {
        std::string args = c.args, out;
        if (size_t at = args.find('@'); at != std::string::npos)
            args.replace(at, 1, "--messages " + Sample());
        EXPECT_EQ(Kst("error " + args, &out), 0) << c.args;
        EXPECT_EQ(out, c.box) << c.args;
    }
    for (const char* bad :
         {"", "12x", "0x100000000", "5 --operation", "' 5'", "+5", "0x", "0x-1", "1e3", "0x1g"})
        EXPECT_EQ(Kst(std::string("error ") + bad, nullptr), 2) << bad;
    EXPECT_EQ(Kst("error 5 --messages " + ksttest::ScratchDir() + "/none.ini", nullptr), 1);
}

// Without --messages, the installed texts of the locale's language; English for any other.
TEST(KstErrorCommand, TakesTheInstalledTextsOfTheLocale) {
    struct Case {
        const char* environment;
        const char* box;
    };
    const Case cases[] = {
        {"LC_ALL=C", "Cannot open the file a.txt.\n(error code Kst:5)\n"},
        {"LC_ALL= LANG=de_DE.UTF-8", "Cannot open the file a.txt.\n(error code Kst:5)\n"},
        {"LC_ALL=ru_RU.UTF-8", "Не удалось открыть файл a.txt.\n(код ошибки Kst:5)\n"},
        {"LC_ALL= LC_MESSAGES= LANG=ru_RU.UTF-8",
         "Не удалось открыть файл a.txt.\n(код ошибки Kst:5)\n"},
        {"LC_ALL=en_US.UTF-8 LANG=ru_RU.UTF-8",
         "Cannot open the file a.txt.\n(error code Kst:5)\n"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(
            ksttest::RunCommand(std::string("env ") + c.environment + " " + ksttest::ToolPath() +
                                    " error 0x20000005 --description '%File%=a.txt;'",
                                &out),
            0);
        EXPECT_EQ(out, c.box) << c.environment;
    }
}

// Loading texts shares the file with every other reader: 50 programs start at once while
// this one holds the file open for reading, as a host loading the same texts does.
TEST(KstErrorCommand, FiftyProgramsLoadOneFileAtOnce) {
    std::string dir = ksttest::ScratchDir();
    CFile reader;
    ASSERT_TRUE(reader.Open(Sample().c_str(), CFile::modeRead | CFile::shareDenyWrite, nullptr));
    std::string out;
    ASSERT_EQ(
        ksttest::RunCommand("cd " + dir + " && for i in $(seq 50); do " + ksttest::ToolPath() +
                                " error 0x20000005 --messages " + Sample() +
                                " > out.$i 2>&1 & done; wait; cat out.* | sort | uniq -c",
                            &out),
        0);
    EXPECT_EQ(out, "     50 (код ошибки Kst:5)\n     50 Не удалось открыть файл %File%.\n");
}

}  // namespace
