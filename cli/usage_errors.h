// Usage errors in the program's own words. The command line is read by CLI11;
// what it would say in its own texts ("At Most 1 required but received 2") is
// checked here instead, or its error is said again, naming the option as the
// user wrote it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace mv::cli {

inline constexpr unsigned kMaxJobs = 1024;

// -j N: a whole number from 1 to kMaxJobs; nothing for anything else.
std::optional<unsigned> parseJobs(std::string_view text);

// The first argument that `command` (or a command below it) was not built
// for: an unknown option, or one argument too many.
std::optional<std::string> unexpectedArgument(const CLI::App& command);

// The text for a usage error that CLI11 raised while it read `command`'s
// options (a value missing, a value given to a flag).
std::string usageMessage(const CLI::ParseError& error, const CLI::App& command);

}  // namespace mv::cli
