// --shard K/N: each source belongs to one of N shards by a hash of its name
// as listed, so N machines given one list convert disjoint shares of it that
// together cover it, with no coordinator. The hash is 64-bit FNV-1a over the
// name's bytes; the shard is hash mod N, counted from 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mv::cli {

struct Shard {
    std::uint64_t index = 1;  // K, from 1
    std::uint64_t count = 1;  // N

    // "K/N" with 1 <= K <= N; nothing for anything else.
    static std::optional<Shard> parse(std::string_view text);
    bool holds(std::string_view name) const;
};

std::uint64_t fnv1a64(std::string_view bytes);

}  // namespace mv::cli
