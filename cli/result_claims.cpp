#include "cli/result_claims.h"

#include <algorithm>
#include <functional>

namespace mv::cli {

namespace {

std::uint64_t hashOf(std::u16string_view text) {
    return std::hash<std::u16string_view>{}(text);
}

}  // namespace

void ResultClaims::note(std::u16string_view result, std::u16string_view source) {
    if (result.empty()) return;  // no result can be written there
    m_noted.emplace_back(hashOf(result), hashOf(source));
}

void ResultClaims::seal() {
    // Stable: the last of a group is the last one listed.
    std::stable_sort(m_noted.begin(), m_noted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < m_noted.size();) {
        std::size_t end = i + 1;
        while (end < m_noted.size() && m_noted[end].first == m_noted[i].first) ++end;
        if (end - i > 1) {
            auto& shared = m_shared[m_noted[i].first];
            shared.lastSource = m_noted[end - 1].second;
            shared.remaining = static_cast<std::int64_t>(end - i);
        }
        i = end;
    }
    m_noted.clear();
    m_noted.shrink_to_fit();
}

ResultClaims::Claim ResultClaims::take(std::u16string_view result, std::u16string_view source) {
    Claim claim;
    if (result.empty()) return claim;
    auto it = m_shared.find(hashOf(result));
    if (it == m_shared.end()) return claim;
    auto& shared = it->second;
    if (--shared.remaining > 0) {
        // The same source listed again writes the same result: nothing is lost.
        claim.replaced = hashOf(source) != shared.lastSource;
        if (claim.replaced) shared.replaced.emplace_back(source);
        return claim;
    }
    claim.replaces = std::move(shared.replaced);
    m_shared.erase(it);
    return claim;
}

}  // namespace mv::cli
