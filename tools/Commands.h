// The command table of the kst program: each command file registers its commands.
#pragma once

#include <string>
#include <vector>

class CException;

namespace kstool {

struct Command {
    const char* name;
    const char* usage;    // arguments after the name
    const char* summary;  // one line for --help
    int (*run)(const std::vector<std::string>& args);
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& AllCommands();

// Prints "kst: <message>" to stderr and answers the exit code for a usage error.
int UsageError(const std::string& message);

// Prints a caught framework exception's message as "kst: <message>", deletes the exception
// and answers the exit code for a failure.
int ReportException(CException* e);

}  // namespace kstool
