#include "cli/shard.h"

#include <charconv>

namespace mv::cli {

std::uint64_t fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<Shard> Shard::parse(std::string_view text) {
    auto slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    auto number = [](std::string_view digits, std::uint64_t& value) {
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    };
    Shard shard;
    if (!number(text.substr(0, slash), shard.index) || !number(text.substr(slash + 1), shard.count))
        return std::nullopt;
    if (shard.count == 0 || shard.index == 0 || shard.index > shard.count) return std::nullopt;
    return shard;
}

bool Shard::holds(std::string_view name) const {
    return fnv1a64(name) % count + 1 == index;
}

}  // namespace mv::cli
