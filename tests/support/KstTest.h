// Helpers shared by the test programs: child processes, scratch folders, files and commands.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ksttest {

using ChildMain = int (*)(int argc, char** argv);

// Registers a role that this test program plays when started as a child process.
struct ChildRole {
    ChildRole(const char* name, ChildMain fn);
};

// Defines a child role: KST_CHILD_ROLE(writer) { ... return exitCode; }
// argv[0] is the role name, argv[1..] the arguments given to StartChild.
#define KST_CHILD_ROLE(name)                                                 \
    static int name##_child_main(int argc, char** argv);                     \
    static ::ksttest::ChildRole name##_child_role(#name, name##_child_main); \
    static int name##_child_main([[maybe_unused]] int argc, [[maybe_unused]] char** argv)

// Starts this program again as the named role; answers the child's process id.
pid_t StartChild(const std::string& role, const std::vector<std::string>& args = {});
// Waits for a child; answers its exit code, or 128 + signal when a signal ended it.
int WaitChild(pid_t pid);

// A fresh folder for one test (removed with its content at the end of the program run).
std::string ScratchDir();
std::string SelfExe();
// The command-line host program.
std::string ToolPath();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Runs a shell command; answers its exit code and, when asked, what it printed on stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Sets the ANSI and OEM code pages for a scope and puts the previous ones back.
class CodePageScope {
public:
    CodePageScope(unsigned ansi, unsigned oem);
    ~CodePageScope();
    CodePageScope(const CodePageScope&) = delete;
    CodePageScope& operator=(const CodePageScope&) = delete;

private:
    unsigned m_ansi, m_oem;
};

// Bytes written as a hex dump ("01 00 ff"), for readable archive-format assertions.
std::string Hex(const std::string& bytes);

}  // namespace ksttest
