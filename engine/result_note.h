// The text a result holds instead of JSON when its source gave no records and
// has no XML declaration either: written by the reference chain and by the
// one-pass converter, as 16-bit text and as ANSI bytes.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace mv::engine {

inline constexpr std::string_view kNotValidXml = "May be not a valid XML file.";

namespace detail {
template <std::size_t N>
constexpr std::array<char16_t, N> widenedAscii(std::string_view text) {
    std::array<char16_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<char16_t>(text[i]);
    return out;
}
inline constexpr auto kNotValidXmlUnits = widenedAscii<kNotValidXml.size()>(kNotValidXml);
}  // namespace detail

inline constexpr std::u16string_view kNotValidXml16{detail::kNotValidXmlUnits.data(),
                                                    detail::kNotValidXmlUnits.size()};

}  // namespace mv::engine
