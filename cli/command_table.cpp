#include "cli/command_table.h"

#include <sstream>

namespace quadrel::cli {

Invocation parseArguments(const CommandSpec& command, const std::vector<std::string>& args) {
    Invocation inv;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            inv.arguments.push_back(a);
            continue;
        }
        std::string name = a.substr(2), value;
        bool inlineValue = false;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : command.options)
            if (o.name == name) option = &o;
        if (!option) throw UsageError("unknown option --" + name + " for '" + command.name + "'");
        if (option->valueName.empty()) {
            if (inlineValue) throw UsageError("option --" + name + " takes no value");
        } else if (!inlineValue) {
            if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs " + option->valueName);
            value = args[++i];
        }
        auto& slot = inv.options[name];
        if (!slot.empty() && !option->repeatable) throw UsageError("option --" + name + " given twice");
        slot.push_back(value);
    }
    if (inv.arguments.size() < command.minArguments)
        throw UsageError("'" + command.name + "' needs " + command.arguments);
    if (inv.arguments.size() > command.maxArguments)
        throw UsageError("too many arguments for '" + command.name + "'");
    return inv;
}

std::string commandHelp(const CommandSpec& c) {
    std::ostringstream s;
    s << "usage: quadrel-cli " << c.name;
    if (!c.options.empty()) s << " [OPTIONS]";
    if (!c.arguments.empty()) s << " " << c.arguments;
    s << "\n\n" << c.summary << "\n";
    if (!c.description.empty()) s << "\n" << c.description << "\n";
    if (!c.options.empty()) {
        s << "\noptions:\n";
        for (const OptionSpec& o : c.options) {
            std::string head = "  --" + o.name + (o.valueName.empty() ? "" : " " + o.valueName);
            if (head.size() < 26) head.resize(26, ' ');
            else head += "\n" + std::string(26, ' ');
            s << head << o.help << (o.repeatable ? " (repeatable)" : "") << "\n";
        }
    }
    return s.str();
}

std::string toolHelp() {
    std::ostringstream s;
    s << "usage: quadrel-cli COMMAND [OPTIONS] [ARGUMENTS]\n\n"
         "Counts and measures cells in microscope images without a window.\n\ncommands:\n";
    for (const CommandSpec& c : commands()) {
        std::string head = "  " + c.name;
        if (head.size() < 16) head.resize(16, ' ');
        s << head << c.summary << "\n";
    }
    s << "\n'quadrel-cli COMMAND --help' describes a command.\n";
    return s.str();
}

} // namespace quadrel::cli
