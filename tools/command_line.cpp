#include "tools/command_line.h"

#include <ostream>

namespace morvex::tools {

namespace {

bool is_option(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-')
        return false;
    const char next = arg[1];
    return next == '-' || (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
}

const OptionSpec* find_spec(std::span<const OptionSpec> specs, std::string_view name) {
    for (const OptionSpec& spec : specs) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

} // namespace

bool CommandLine::has(std::string_view name) const {
    for (const GivenOption& option : options) {
        if (option.name == name)
            return true;
    }
    return false;
}

std::optional<std::string_view> CommandLine::value(std::string_view name) const {
    std::optional<std::string_view> found;
    for (const GivenOption& option : options) {
        if (option.name == name)
            found = option.value;
    }
    return found;
}

std::optional<CommandLine> ParseCommandLine(Arguments args, std::span<const OptionSpec> specs,
                                            std::string& problem) {
    CommandLine line;
    bool options_end = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options_end || !is_option(arg)) {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            line.help = true;
            return line;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inline_value;
        if (const std::size_t equals = arg.find('=');
            arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            inline_value = arg.substr(equals + 1);
        }
        const OptionSpec* spec = find_spec(specs, name);
        if (!spec) {
            problem = "unknown option '" + std::string(name) + "'";
            return std::nullopt;
        }
        if (!spec->takes_value) {
            if (inline_value) {
                problem = std::string(name) + " takes no value";
                return std::nullopt;
            }
            line.options.push_back({spec->name, {}});
            continue;
        }
        if (!inline_value) {
            if (i + 1 == args.size()) {
                problem = std::string(name) + " needs " + std::string(spec->value_name);
                return std::nullopt;
            }
            inline_value = args[++i];
        }
        line.options.push_back({spec->name, *inline_value});
    }
    return line;
}

int UsageError(std::ostream& err, std::string_view command, std::string_view message) {
    err << "morvex " << command << ": " << message << "\nTry 'morvex " << command << " --help'.\n";
    return 2;
}

} // namespace morvex::tools
