// The commands of the kst program.
//
// A command group is one file in tools/. It defines, at namespace scope, a Registration that
// receives the program's CLI::App and adds its commands to it; nothing else needs an edit:
//
//   namespace kstool {
//   namespace {
//   struct { std::string archive; } info;  // parsed values live as long as the program
//   int ZipInfo() { ...; return 0; }       // the exit code: Failure(...) says what failed
//   Registration zipCommands({"zip-info"}, [](CLI::App& kst) {
//       CLI::App* cmd = AddCommand(kst, "zip-info", "list the central directory", ZipInfo);
//       cmd->add_option("ARCHIVE", info.archive, "archive or volume")->required();
//   });
//   }  // namespace
//   }  // namespace kstool
//
// Name a command after its subsystem (zip-info, props-show, ...). The program handles --help,
// --version, "--" before operands, unknown options (exit 2) and the bash completion, which is
// generated from these same definitions (kst completion).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

class CException;
class CObjectP;

namespace kstool {

// Adds the commands of one group to the program. NAMES are the commands it adds, in order;
// EXTENDS those of other groups it gives options of its own. A run of one command sets up only
// the groups that name it.
struct Registration {
    Registration(std::initializer_list<const char*> names, void (*setup)(CLI::App& kst));
    Registration(std::initializer_list<const char*> names,
                 std::initializer_list<const char*> extends, void (*setup)(CLI::App& kst));
};

// Adds the command NAME; RUN is called when the user chose it and answers the exit code.
CLI::App* AddCommand(CLI::App& kst, const std::string& name, const std::string& description,
                     std::function<int()> run);

// Prints "kst: <message>" and a pointer to the command's help to stderr; answers 2.
int UsageError(const std::string& message);

// Prints "kst: <message>" to stderr, one line saying what failed and why; answers 1.
int Failure(const std::string& message);

// Why PATH cannot be read as a file ("No such file or directory", "it is a folder", ...);
// empty when it can.
std::string WhyNotReadable(const std::string& path);

// Failure() with "<what>: <the exception's message>"; deletes the exception.
int ReportException(CException* e, const std::string& what);

// The property object of the XML document at PATH, whose root element names its class;
// answers 0, or Failure()'s code when the document or its class cannot be read.
int LoadXmlProperty(const std::string& path, std::unique_ptr<CObjectP>& object);

}  // namespace kstool
