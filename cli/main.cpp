// quadrel-cli: the one place that finds the command, parses its arguments and turns failures into exit
// codes (0 success, 1 a file or the work failed, 2 a usage error).
#include "cli/command_table.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace quadrel::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(toolHelp().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const CommandSpec* command = nullptr;
    for (const CommandSpec& c : commands())
        if (c.name == args[0]) command = &c;
    if (!command) {
        std::fprintf(stderr, "quadrel-cli: unknown command '%s'\n", args[0].c_str());
        std::fputs(toolHelp().c_str(), stderr);
        return 2;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest)
        if (a == "--help" || a == "-h") {
            std::fputs(commandHelp(*command).c_str(), stdout);
            return 0;
        }
    try {
        return command->run(parseArguments(*command, rest));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quadrel-cli: %s\n(see 'quadrel-cli %s --help')\n", e.what(), command->name.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quadrel-cli: %s\n", e.what());
        return 1;
    }
}
