// Every kst command with bad input: missing arguments and files, folders in place of files,
// files it may not read, names with blanks and Cyrillic. Exit 2 for a wrong command line, 1
// with one line "kst: what failed: why" for a failure, 0 for success; never a crash, never a
// file or folder named after an option.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "KstTest.h"

namespace {

namespace fs = std::filesystem;

// The commands of a list "a b; c d; ...".
std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    for (size_t at = 0, end; at < list.size(); at = end + 2)
        items.push_back(list.substr(at, (end = std::min(list.find("; ", at), list.size())) - at));
    return items;
}

struct Case {
    std::string args;  // shell words, run in the scratch folder
    int code;
};

class KstBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ksttest::ScratchDir();
        fs::create_directories(dir + "/folder");
        fs::create_directories(dir + "/а б");
        ASSERT_EQ(ksttest::RunCommand("cd '" + dir + "/а б' && printf 'x%.0s' $(seq 3000) > " +
                                      "'данные 1.txt' && zip -q -0 'архив 1.zip' 'данные 1.txt'"),
                  0);
        fs::copy_file(std::string(KST_SOURCE_DIR) + "/errors/samples/messages.ini",
                      dir + "/а б/тексты 1.ini");
    }

    // Runs the case; checks the exit code, the one-line message and that nothing crashed.
    void Expect(const Case& c) {
        SCOPED_TRACE(c.args);
        std::string out, err = dir + "/../stderr.txt";
        int code = ksttest::RunCommand("cd '" + dir + "' && timeout 20 " + ksttest::ToolPath() +
                                           " " + c.args + " 2>'" + err + "' </dev/null",
                                       &out);
        std::string message = ksttest::ReadFile(err);
        EXPECT_EQ(code, c.code) << message;
        if (c.code != 0) {
            EXPECT_EQ(message.rfind("kst: ", 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        }
        EXPECT_EQ(message.find("Sanitizer"), std::string::npos) << message;
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_NE(entry.path().filename().string()[0], '-') << entry.path();
    }

    std::string dir;
};

TEST_F(KstBadInput, MissingArgumentsFilesAndFolders) {
    Expect({"version", 0});
    // A wrong command line: a missing operand, option value or number.
    for (const auto& args :
         Split("error; unc; mkdir; props-write; props-show; trace; zip-info; zip-span; zip-join; "
               "span; join; zip-span a.zip v --size 0; zip-span a.zip v --size x; zip-join v 2; "
               "zip-join v 0 out.zip; zip-join v two out.zip; props-write f novalue; "
               "error --messages x; unc --server; trace --pipe; trace-listen --pipe a/b --count 1; "
               "trace-listen --count many; trace-listen --count -3; mkdir --yes; mkdir --no x; "
               "zip-info --size 1 a.zip; props-from-xml a.xml; lock f; unlock; who; file-info; "
               "floppy-copy 'A:\\X.TXT'; floppy-verify; pattern-new; select folder"))
        Expect({args, 2});
    // Files and folders that are missing or of the other kind.
    for (const auto& args : Split(
             "zip-info missing.zip; zip-info folder; zip-info -- --help; props-show missing.bin; "
             "props-show folder; props-write folder a=1; props-write no/such/folder/x.bin a=1; "
             "error 5 --messages folder; zip-span missing.zip v --size 100000; "
             "zip-span folder v --size 100000; zip-join missing 2 out.zip; "
             "zip-join folder 2 out.zip; props-show --xml folder; props-from-xml folder out.bin; "
             "props-from-xml missing.xml out.bin; select folder folder; select folder missing.bin; "
             "who folder; floppy-copy --image folder 'A:\\X.TXT' out.bin; "
             "floppy-copy --image missing.img 'A:\\X.TXT' out.bin"))
        Expect({args, 1});
    for (const char* made : {"/v", "/out.zip", "/out.bin"}) EXPECT_FALSE(fs::exists(dir + made));
}

TEST_F(KstBadInput, BlanksAndCyrillicInNames) {
    const Case cases[] = {
        {"zip-info 'а б/архив 1.zip'", 0},
        {"zip-span 'а б/архив 1.zip' 'тома x' --size 2000", 0},
        {"mkdir --yes 'сборка 1'", 0},  // a join writes the volumes' name, in another folder
        {"zip-join 'тома x' 2 'сборка 1/архив 1.zip'", 0},
        {"props-write 'а б/набор 1.bin' 'Имя=Значение'", 0},
        {"props-show 'а б/набор 1.bin'", 0},
        {"mkdir --yes 'а б/новая папка/ещё'", 0},
        {"error 5 --messages 'а б/тексты 1.ini'", 0},
        {"trace -- '--help' 'строка 1'", 0},
    };
    for (const auto& c : cases) Expect(c);
    EXPECT_EQ(ksttest::ReadFile(dir + "/сборка 1/архив 1.zip"),
              ksttest::ReadFile(dir + "/а б/архив 1.zip"));
    EXPECT_TRUE(fs::is_directory(dir + "/а б/новая папка/ещё"));
}

// A file the user may not read: as another user, since root reads every file.
TEST_F(KstBadInput, FilesWithoutPermission) {
    if (geteuid() != 0 || ksttest::RunCommand("command -v runuser >/dev/null") != 0)
        GTEST_SKIP() << "needs root to run kst as the user nobody";
    if (ksttest::RunCommand("runuser -u nobody -- test -x " + ksttest::ToolPath()) != 0)
        GTEST_SKIP() << "the user nobody cannot run " << ksttest::ToolPath();
    fs::permissions(dir, fs::perms::all);
    for (const char* name : {"closed.zip", "closed.bin", "closed.ini"}) {
        ksttest::WriteFile(dir + "/" + name, "[A]\nk=v\n");
        fs::permissions(dir + "/" + name, fs::perms::owner_write);
    }
    for (const char* args :
         {"zip-info closed.zip", "props-show closed.bin", "error 5 --messages closed.ini"}) {
        std::string out;
        int code = ksttest::RunCommand("cd '" + dir + "' && runuser -u nobody -- " +
                                           ksttest::ToolPath() + " " + args + " 2>&1",
                                       &out);
        EXPECT_EQ(code, 1) << args;
        EXPECT_NE(out.find(": Permission denied\n"), std::string::npos) << args << out;
    }
}

}  // namespace
