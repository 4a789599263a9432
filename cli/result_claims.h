// Sources of one command that share a result path: the last one's result
// stays, and each earlier source whose result it replaces is told. A list
// streams, so the command goes over its sources twice: the first pass notes
// every result path, the second learns, source by source, whether a later
// one will replace its result, before its record goes out.
//
// Memory: 16 bytes a source in the first pass (a hash of the result path,
// a hash of the source path and the place in the list), sorted in place and
// freed when it ends; then an entry only for each result path
// that more than one source claims, and the names of replaced sources until
// their replacement comes. Paths are compared as spelt after the run's own
// collapsing of separators; two 64-bit hashes that meet by chance (about
// one in 10^7 for a million files) would tell a result replaced that is not.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mv::cli {

class ResultClaims {
public:
    // First pass, in list order.
    void note(std::u16string_view result, std::u16string_view source);
    // Between the passes.
    void seal();

    struct Claim {
        bool replaced = false;                 // a later source replaces this result
        std::vector<std::u16string> replaces;  // earlier sources whose result this one replaces
    };
    // Second pass, in the same order.
    Claim take(std::u16string_view result, std::u16string_view source);

private:
    struct Shared {
        std::uint32_t lastSource = 0;
        std::int64_t remaining = 0;  // claims still to come in the second pass
        std::vector<std::u16string> replaced;
    };
    struct Noted {
        std::uint64_t result;
        std::uint32_t source;
        std::uint32_t place;  // the order within a group, for up to 4 billion sources
    };
    std::vector<Noted> m_noted;
    std::unordered_map<std::uint64_t, Shared> m_shared;
};

}  // namespace mv::cli
