#include "KstTest.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "KstPlatform.h"

namespace ksttest {
namespace {

std::map<std::string, ChildMain>& Roles() {
    static std::map<std::string, ChildMain> roles;
    return roles;
}

const char kChildFlag[] = "--kst-child=";

std::string& ScratchRoot() {
    static std::string root;
    return root;
}

}  // namespace

ChildRole::ChildRole(const char* name, ChildMain fn) {
    Roles()[name] = fn;
}

std::string SelfExe() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string ToolPath() {
    return KST_TOOL_PATH;
}

pid_t StartChild(const std::string& role, const std::vector<std::string>& args) {
    std::vector<std::string> all = {SelfExe(), kChildFlag + role};
    all.insert(all.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork failed");
    return pid;
}

int WaitChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::string ScratchDir() {
    if (ScratchRoot().empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kst-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        ScratchRoot() = pattern;
    }
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
    for (char& c : name)
        if (c == '/') c = '_';
    auto dir = std::filesystem::path(ScratchRoot()) / (name + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = std::move(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CodePageScope::CodePageScope(unsigned ansi, unsigned oem)
    : m_ansi(kst::AnsiCodePage()), m_oem(kst::OemCodePage()) {
    kst::SetCodePages(ansi, oem);
}

CodePageScope::~CodePageScope() {
    kst::SetCodePages(m_ansi, m_oem);
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char cell[4];
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        std::snprintf(cell, sizeof cell, "%02x", c);
        out += cell;
    }
    return out;
}

}  // namespace ksttest

int main(int argc, char** argv) {
    if (argc >= 2 &&
        std::strncmp(argv[1], ksttest::kChildFlag, sizeof ksttest::kChildFlag - 1) == 0) {
        std::string role = argv[1] + sizeof ksttest::kChildFlag - 1;
        auto it = ksttest::Roles().find(role);
        if (it == ksttest::Roles().end()) return 126;
        argv[1] = argv[1] + sizeof ksttest::kChildFlag - 1;
        return it->second(argc - 1, argv + 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (!ksttest::ScratchRoot().empty()) {
        std::error_code ec;
        std::filesystem::remove_all(ksttest::ScratchRoot(), ec);
    }
    return result;
}
