// The kst command line as a user meets it: help, version, exit codes, operands and completion.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "KstTest.h"

namespace {

struct Result {
    int code;
    std::string out, err;
};

// Runs kst with ARGS (shell words) in a scratch folder; answers its exit code and output.
Result Kst(const std::string& args, const std::string& dir = ksttest::ScratchDir()) {
    Result r;
    std::string err = dir + "/.stderr";
    r.code = ksttest::RunCommand(
        "cd '" + dir + "' && timeout 20 " + ksttest::ToolPath() + " " + args + " 2>'" + err + "'",
        &r.out);
    r.err = ksttest::ReadFile(err);
    std::filesystem::remove(err);
    return r;
}

// Every command, aliases included: kst --help must list exactly these.
const std::vector<std::string> kCommands = {
    "error",        "unc",       "mkdir",       "props-write",  "props-show", "props-from-xml",
    "trace-listen", "trace",     "zip-info",    "zip-span",     "zip-join",   "span",
    "join",         "version",   "select",      "pattern-new",  "lock",       "unlock",
    "who",          "file-info", "floppy-copy", "floppy-verify"};

// The command names of kst --help, aliases too: "  zip-span, span   write ..." under "Commands:".
std::vector<std::string> ListedCommands(const std::string& help) {
    std::vector<std::string> names;
    size_t line = help.find("Commands:\n");
    while (line != std::string::npos && (line = help.find('\n', line)) != std::string::npos &&
           help.compare(++line, 2, "  ") == 0) {
        size_t start = help.find_first_not_of(' ', line);
        std::string field = help.substr(start, help.find("  ", start) - start);
        for (size_t comma; (comma = field.find(", ")) != std::string::npos;) {
            names.push_back(field.substr(0, comma));
            field.erase(0, comma + 2);
        }
        names.push_back(field);
    }
    return names;
}

TEST(KstCommandLine, HelpListsEveryCommandAndEachCommandHasItsOwn) {
    Result top = Kst("--help");
    EXPECT_EQ(top.code, 0);
    EXPECT_EQ(top.err, "");
    std::vector<std::string> listed = ListedCommands(top.out);
    std::vector<std::string> expected = kCommands;
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    // --help anywhere wins, after operands too, and creates nothing: each command is asked
    // in one of the three ways, each way by a third of the commands.
    const char* ways[] = {" --help", " x --help", " -h"};
    for (size_t i = 0; i < kCommands.size(); ++i) {
        std::string dir = ksttest::ScratchDir();
        std::string args = kCommands[i] + ways[i % 3];
        Result r = Kst(args, dir);
        EXPECT_EQ(r.code, 0) << args << r.err;
        EXPECT_EQ(r.err, "") << args;
        EXPECT_NE(r.out.find("Usage: kst "), std::string::npos) << args << r.out;
        EXPECT_TRUE(std::filesystem::is_empty(dir)) << args;
    }
    EXPECT_NE(Kst("span --help").out.find("Usage: kst zip-span [OPTIONS] ARCHIVE FOLDER"),
              std::string::npos);
    Result none = Kst("");
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.err.find("Commands:"), std::string::npos);
}

TEST(KstCommandLine, VersionAndExitCodes) {
    EXPECT_EQ(Kst("--version").out, "kst 1.0.0 (libKstSystem 1.0.0)\n");
    EXPECT_EQ(Kst("version").out, "kst 1.0.0 (libKstSystem 1.0.0)\n");
    struct Case {
        std::string args;
        int code;
        std::string err;
    };
    const Case cases[] = {
        {"nothing", 2, "kst: The following argument was not expected: nothing (see kst --help)\n"},
        {"zip-info --bogus a.zip", 2,
         "kst: The following argument was not expected: --bogus (see kst zip-info --help)\n"},
        {"zip-info", 2, "kst: ARCHIVE is required (see kst zip-info --help)\n"},
        {"zip-span a.zip v", 2, "kst: --size is required (see kst zip-span --help)\n"},
        {"span a.zip v --size", 2,
         "kst: --size: 1 required UINT missing (see kst zip-span --help)\n"},
        {"zip-info -- -a.zip", 1, "kst: cannot open -a.zip: No such file or directory\n"},
        {"error 12x", 2,
         "kst: CODE must be a 32-bit number, decimal or 0x hexadecimal: 12x (see kst error "
         "--help)\n"},
    };
    for (const auto& c : cases) {
        Result r = Kst(c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(KstCommandLine, OperandsAfterDoubleDashAreNeverOptions) {
    std::string dir = ksttest::ScratchDir();
    Result r = Kst("mkdir --yes -- --help", dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/--help"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/--yes"));
}

// The completion script is generated from the same definitions as the parser.
TEST(KstCommandLine, BashCompletionFromTheDefinitions) {
    std::string dir = ksttest::ScratchDir();
    Result script = Kst("completion", dir);
    ASSERT_EQ(script.code, 0);
    ksttest::WriteFile(dir + "/kst.bash", script.out);
    auto complete = [&](const std::string& words) {
        std::string out;
        ksttest::RunCommand("bash -c 'source " + dir + "/kst.bash; COMP_WORDS=(" + words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _kst; "
                                "echo \"${COMPREPLY[*]}\"'",
                            &out);
        return out;
    };
    EXPECT_EQ(complete("kst zip-"), "zip-info zip-span zip-join\n");
    EXPECT_EQ(complete("kst span a.zip --"), "--help --size --image --removable\n");
    EXPECT_EQ(complete("kst error 5 --m"), "--messages\n");
    EXPECT_EQ(complete("kst trace -- --"), "\n");
}

}  // namespace
