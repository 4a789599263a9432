#include "cli/usage_errors.h"

#include <CLI/CLI.hpp>
#include <charconv>

namespace mv::cli {

namespace {

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Whether `text` names the option `name` as a whole word, with its dashes or
// without them at the start (CLI11 writes "verbose was given ...").
bool names(std::string_view text, const std::string& name) {
    const std::string dashed = "--" + name;
    for (auto at = text.find(dashed); at != std::string_view::npos;
         at = text.find(dashed, at + 1)) {
        auto end = at + dashed.size();
        if (end == text.size() || !isNameChar(text[end])) return true;
    }
    return text.starts_with(name + " ");
}

// The option of `command` that a CLI11 error text is about, or none.
const CLI::Option* optionOf(const CLI::App& command, std::string_view text) {
    for (const CLI::Option* option : command.get_options()) {
        for (const auto& name : option->get_lnames()) {
            if (names(text, name)) return option;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<unsigned> parseJobs(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > kMaxJobs) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> unexpectedArgument(const CLI::App& command) {
    for (const auto& argument : command.remaining(true)) {
        // CLI11 keeps the "--" that ends the options among the extras.
        if (argument == "--") continue;
        if (argument.size() > 1 && argument[0] == '-') {
            return "unknown option '" + argument + "' (--help shows the options)";
        }
        return "one argument too many: '" + argument + "'";
    }
    return std::nullopt;
}

std::string usageMessage(const CLI::ParseError& error, const CLI::App& command) {
    const std::string_view text = error.what();
    const CLI::Option* option = optionOf(command, text);
    if (option == nullptr) return "the command line cannot be read: " + std::string(text);
    const std::string name = "--" + option->get_lnames().front();
    if (option->get_expected_max() == 0) return name + " takes no value";
    std::string value = option->get_option_text();
    return name + " needs a value" + (value.empty() ? std::string() : " (" + value + ")");
}

}  // namespace mv::cli
