// Every kst command with bad input: missing arguments and files, folders in place of files,
// files it may not read, names with blanks and Cyrillic. Exit 2 for a wrong command line, 1
// with one line "kst: what failed: why" for a failure, 0 for success; never a crash, never a
// file or folder named after an option.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "KstTest.h"

namespace {

namespace fs = std::filesystem;

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

TEST_F(KstBadInput, NoArgumentsAndMissingArguments) {
    const Case cases[] = {
        {"error", 2},
        {"unc", 2},
        {"mkdir", 2},
        {"props-write", 2},
        {"props-show", 2},
        {"trace", 2},
        {"zip-info", 2},
        {"zip-span", 2},
        {"zip-join", 2},
        {"version", 0},
        {"span", 2},
        {"join", 2},
        {"zip-span a.zip", 2},
        {"zip-span a.zip v", 2},
        {"zip-span a.zip v --size", 2},
        {"zip-span a.zip v --size 0", 2},
        {"zip-span a.zip v --size x", 2},
        {"zip-join v", 2},
        {"zip-join v 2", 2},
        {"zip-join v 0 out.zip", 2},
        {"zip-join v two out.zip", 2},
        {"props-write f", 2},
        {"props-write f novalue", 2},
        {"error --messages x", 2},
        {"error 5 --messages", 2},
        {"error 5 --operation", 2},
        {"unc --server", 2},
        {"trace --pipe", 2},
        {"trace-listen --count", 2},
        {"trace-listen --pipe", 2},
        {"trace-listen --pipe a/b --count 1", 2},
        {"mkdir --yes", 2},
        {"mkdir --no x", 2},
        {"zip-info --size 1 a.zip", 2},
        {"props-from-xml", 2},
        {"props-from-xml a.xml", 2},
        {"lock", 2},
        {"lock f", 2},
        {"unlock", 2},
        {"who", 2},
        {"file-info", 2},
        {"floppy-copy", 2},
        {"floppy-copy 'A:\\X.TXT'", 2},
        {"floppy-verify", 2},
        {"pattern-new", 2},
        {"select", 2},
        {"select folder", 2},
    };
    for (const auto& c : cases) Expect(c);
}

TEST_F(KstBadInput, MissingFilesAndFolders) {
    const Case cases[] = {
        {"zip-info missing.zip", 1},
        {"zip-info folder", 1},
        {"zip-info -- --help", 1},
        {"props-show missing.bin", 1},
        {"props-show folder", 1},
        {"props-write folder a=1", 1},
        {"props-write no/such/folder/x.bin a=1", 1},
        {"error 5 --messages missing.ini", 1},
        {"error 5 --messages folder", 1},
        {"zip-span missing.zip v --size 100000", 1},
        {"zip-span folder v --size 100000", 1},
        {"zip-join missing 2 out.zip", 1},
        {"zip-join folder 2 out.zip", 1},
        {"props-show --xml folder", 1},
        {"props-from-xml folder out.bin", 1},
        {"props-from-xml missing.xml out.bin", 1},
        {"select folder folder", 1},
        {"select folder missing.bin", 1},
        {"who folder", 1},
        {"floppy-copy --image folder 'A:\\X.TXT' out.bin", 1},
        {"floppy-copy --image missing.img 'A:\\X.TXT' out.bin", 1},
    };
    for (const auto& c : cases) Expect(c);
    EXPECT_FALSE(fs::exists(dir + "/v"));
    EXPECT_FALSE(fs::exists(dir + "/out.zip"));
    EXPECT_FALSE(fs::exists(dir + "/out.bin"));
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
