// kst: the command-line host program of the library.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "KstSystem.h"

namespace kstool {
namespace {

std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

void PrintHelp() {
    std::printf("usage: kst COMMAND [ARGUMENTS]\n\ncommands:\n");
    auto commands = AllCommands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return strcmp(a.name, b.name) < 0; });
    for (const auto& c : commands) {
        std::string head = std::string(c.name) + (*c.usage ? " " : "") + c.usage;
        std::printf("  %-44s %s\n", head.c_str(), c.summary);
    }
}

int Version(const std::vector<std::string>&) {
    std::printf("kst %s (libKstSystem %s)\n", KST_SYSTEM_VERSION, KstSystemVersion());
    return 0;
}

CommandRegistration versionCommand({"version", "", "print the version of the program and library",
                                    Version});

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) {
    Table().push_back(command);
}

const std::vector<Command>& AllCommands() {
    return Table();
}

int ReportException(CException* e) {
    char message[256] = "";
    e->GetErrorMessage(message, sizeof message);
    e->Delete();
    std::fprintf(stderr, "kst: %s\n", message);
    return 1;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "kst: %s\n(see kst --help)\n", message.c_str());
    return 2;
}

}  // namespace kstool

int main(int argc, char** argv) {
    if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") ||
        !strcmp(argv[1], "help")) {
        kstool::PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : kstool::AllCommands()) {
        if (c.name == std::string(argv[1])) return c.run(args);
    }
    return kstool::UsageError(std::string("unknown command '") + argv[1] + "'");
}
