// A qxrtool subcommand: its name, a one-line summary, its usage text and the function that runs it.
// Each cmd_*.cpp file registers its subcommands with QXRTOOL_COMMAND at static initialisation.
#ifndef QXRTOOL_COMMAND_H
#define QXRTOOL_COMMAND_H

#include <span>
#include <string_view>

namespace qxrtool {

// argv[0] is the subcommand's name; the result is the process's exit status.
using CommandFn = int (*)(int argc, char** argv);

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;  // the lines after "usage: qxrtool ", e.g. "cpu"
    CommandFn run;
};

// Registers `command`; returns true so that it can initialise a static.
bool RegisterCommand(const Command& command);
std::span<const Command> Commands();

// Prints "qxrtool <name>: <message>" to standard error and returns the failure exit status (1).
int Fail(std::string_view name, std::string_view message);
// Prints the command's usage to standard error and returns the usage exit status (2).
int UsageError(const Command& command, std::string_view message);
// True when argv holds -h or --help.
bool WantsHelp(int argc, char** argv);
// Prints the command's help to standard output and returns 0.
int PrintCommandHelp(const Command& command);

}  // namespace qxrtool

#define QXRTOOL_CONCAT_INNER(a, b) a##b
#define QXRTOOL_CONCAT(a, b) QXRTOOL_CONCAT_INNER(a, b)
#define QXRTOOL_COMMAND(...) \
    static const bool QXRTOOL_CONCAT(qxrtoolRegistered_, __LINE__) = ::qxrtool::RegisterCommand({__VA_ARGS__})

#endif
