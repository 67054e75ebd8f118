// kst lock, unlock, who and file-info.
#include <gtest/gtest.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "KstTest.h"

namespace {

int Kst(const std::string& args, std::string* out, bool withErrors = false) {
    return ksttest::RunCommand(
        "TZ=UTC " + ksttest::ToolPath() + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null"),
        out);
}

TEST(KstLockCommands, TwoUsersLockWhoAndUnlock) {
    std::string dir = ksttest::ScratchDir(), file = dir + "/plan.ods", marker = dir + "/plan.~ods";
    std::string out;
    ASSERT_EQ(Kst("lock " + file + " --user ann --client pc1 --time 1700000000", &out), 0);
    EXPECT_EQ(out, marker + "\ntime 1700000000\n");
    ASSERT_EQ(Kst("lock " + file + " --user bob --mode Exclusive --server srv --time 86400", &out),
              0);
    EXPECT_EQ(ksttest::ReadFile(marker),
              "Mode=Write\r\nUser=ann\r\nServer=\r\nClient=pc1\r\nTime=1700000000\r\n\r\n"
              "Mode=Exclusive\r\nUser=bob\r\nServer=srv\r\nClient=\r\nTime=86400\r\n\r\n");
    ASSERT_EQ(Kst("who " + file, &out), 0);
    EXPECT_EQ(out,
              "MODE       USER  SERVER  CLIENT  TIME\n"
              "Write      ann           pc1     2023-11-14 22:13:20\n"
              "Exclusive  bob   srv             1970-01-02 00:00:00\n");
    // Another time or client is another block: nothing goes.
    ASSERT_EQ(Kst("unlock " + file + " --user ann --client pc1 --time 1700000001", &out), 0);
    ASSERT_EQ(Kst("unlock " + file + " --user ann --time 1700000000", &out), 0);
    EXPECT_EQ(ksttest::ReadFile(marker).substr(0, 16), "Mode=Write\r\nUser");
    ASSERT_EQ(Kst("unlock " + file + " --user ann --client pc1 --time 1700000000", &out), 0);
    ASSERT_EQ(Kst("who " + file, &out), 0);
    EXPECT_EQ(out,
              "MODE       USER  SERVER  CLIENT  TIME\n"
              "Exclusive  bob   srv             1970-01-02 00:00:00\n");
    ASSERT_EQ(
        Kst("unlock " + file + " --user bob --mode Exclusive --server srv --time 86400", &out), 0);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(Kst("who " + file, &out, true), 1);
    EXPECT_EQ(out, "kst: no marker " + marker + "\n");
    EXPECT_EQ(Kst("unlock " + file + " --user bob --time 86400", &out, true), 1);
}

TEST(KstLockCommands, BadArgumentsAndMarkers) {
    std::string dir = ksttest::ScratchDir(), file = dir + "/a.txt";
    std::string out;
    EXPECT_EQ(Kst("lock " + file, &out), 2);                           // no user
    EXPECT_EQ(Kst("unlock " + file + " --user ann", &out), 2);         // no time
    EXPECT_EQ(Kst("lock " + file + " --user ann --time x", &out), 2);  // no number
    std::filesystem::create_directory(dir + "/a.~txt");
    EXPECT_EQ(Kst("lock " + file + " --user ann", &out, true), 1);
    EXPECT_EQ(out, "kst: cannot open the marker " + dir + "/a.~txt\n");
    EXPECT_EQ(Kst("who " + file, &out), 1);
}

TEST(KstFileInfoCommand, PrintsTheRecord) {
    std::string dir = ksttest::ScratchDir(), file = dir + "/data.bin";
    ksttest::WriteFile(file, std::string(500, 'x'));
    struct utimbuf times {};
    times.actime = times.modtime = 777;
    ASSERT_EQ(utime(file.c_str(), &times), 0);
    std::string out;
    ASSERT_EQ(Kst("file-info " + file, &out), 0);
    EXPECT_EQ(out, "name    " + file + "\nsize    500\ntime    1970-01-01 00:12:57\npacked  " +
                       file + "|0|500|777|0|\n");
    ASSERT_EQ(Kst("file-info --delimiter ';' " + file, &out), 0);
    EXPECT_NE(out.find("packed  " + file + ";0;500;777;0;\n"), std::string::npos);
    EXPECT_EQ(Kst("file-info " + dir + "/missing", &out, true), 1);
    EXPECT_EQ(out, "kst: cannot read the status of " + dir + "/missing\n");
}

}  // namespace
