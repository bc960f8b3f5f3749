#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadrel::cli {

// A command-line option: "--name" alone, or "--name VALUE".
struct OptionSpec {
    std::string name;
    std::string valueName; // empty: a flag
    std::string help;
    bool repeatable = false;
};

// What a command received: its positional arguments and its options by name.
struct Invocation {
    std::vector<std::string> arguments;
    std::map<std::string, std::vector<std::string>> options;

    bool has(const std::string& name) const { return options.count(name) != 0; }
    const std::string& value(const std::string& name) const { return options.at(name).back(); }
    std::string valueOr(const std::string& name, const std::string& fallback) const {
        return has(name) ? value(name) : fallback;
    }
};

struct CommandSpec {
    std::string name;
    std::string arguments; // shown in the usage line, e.g. "[FILE...]"
    std::string summary;
    std::string description;
    size_t minArguments = 0;
    size_t maxArguments = static_cast<size_t>(-1);
    std::vector<OptionSpec> options;
    std::function<int(const Invocation&)> run;
};

// A mistake in how the tool was called: printed with a hint to --help, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every command of the tool, in the order --help lists them.
const std::vector<CommandSpec>& commands();

// Parses the arguments that follow the command name against its table entry.
Invocation parseArguments(const CommandSpec& command, const std::vector<std::string>& args);

std::string commandHelp(const CommandSpec& command);
std::string toolHelp();

} // namespace quadrel::cli
