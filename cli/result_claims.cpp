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
    m_noted.push_back({hashOf(result), static_cast<std::uint32_t>(hashOf(source)),
                       static_cast<std::uint32_t>(m_noted.size())});
}

void ResultClaims::seal() {
    // In place, so the pass needs no second copy; the last of a group is
    // the last one listed.
    std::sort(m_noted.begin(), m_noted.end(), [](const Noted& a, const Noted& b) {
        return a.result != b.result ? a.result < b.result : a.place < b.place;
    });
    for (std::size_t i = 0; i < m_noted.size();) {
        std::size_t end = i + 1;
        while (end < m_noted.size() && m_noted[end].result == m_noted[i].result) ++end;
        if (end - i > 1) {
            auto& shared = m_shared[m_noted[i].result];
            shared.lastSource = m_noted[end - 1].source;
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
        claim.replaced = static_cast<std::uint32_t>(hashOf(source)) != shared.lastSource;
        if (claim.replaced) shared.replaced.emplace_back(source);
        return claim;
    }
    claim.replaces = std::move(shared.replaced);
    m_shared.erase(it);
    return claim;
}

}  // namespace mv::cli
