// 1-based positions over 16-bit text. This is the only file pair that turns a
// position into a std::u16string index, so an off-by-one can live only here.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/cpu/scan.h"

namespace mv::engine {

class Pos {  // 1-based character position; 0 means "not found"
public:
    constexpr Pos() = default;
    constexpr explicit Pos(std::int64_t oneBased) : m_value(oneBased) {}
    constexpr std::int64_t value() const { return m_value; }
    constexpr bool found() const { return m_value > 0; }
    constexpr std::size_t index() const { return static_cast<std::size_t>(m_value - 1); }
    friend constexpr auto operator<=>(Pos, Pos) = default;
    friend constexpr Pos operator+(Pos p, std::int64_t n) { return Pos(p.m_value + n); }
    friend constexpr Pos operator-(Pos p, std::int64_t n) { return Pos(p.m_value - n); }

private:
    std::int64_t m_value = 0;
};

struct Flag16 {  // 16-bit yes/no: -1 yes, 0 no
    std::int16_t raw = 0;
    constexpr bool isYes() const { return raw == -1; }
    constexpr bool isSet() const { return raw != 0; }
    friend constexpr bool operator==(Flag16, Flag16) = default;
};
inline constexpr Flag16 kYes{-1};
inline constexpr Flag16 kNo{0};

enum class Case { Exact, Ignore };

inline std::int64_t length(std::u16string_view text) {
    return static_cast<std::int64_t>(text.size());
}

// The lower-case partner of a letter of ASCII or Windows-1252; other
// characters come back unchanged.
char16_t foldCase(char16_t c);

namespace detail {
[[noreturn]] void throwInvalidArgument();
}  // namespace detail

// First `needle` that begins at or after `from`; Pos() when there is none or
// `from` lies beyond the end. Throws the invalid-argument failure when `from`
// is below 1.
Pos findFrom(Pos from, std::u16string_view text, std::u16string_view needle,
             Case letterCase = Case::Exact);

// The same for a single character, exactly; the flattening walk's hot path.
inline Pos findFrom(Pos from, std::u16string_view text, char16_t c) {
    if (from.value() < 1) detail::throwInvalidArgument();
    if (from.value() > length(text)) return Pos();
    std::size_t i = cpu::either(text.data(), from.index(), text.size(), c, c);
    return i == cpu::kNone ? Pos() : Pos(static_cast<std::int64_t>(i) + 1);
}

// Characters first..last, both counted from 1; empty when last < first.
// Throws the invalid-argument failure when first is below 1.
std::u16string_view charsFromTo(std::u16string_view text, Pos first, Pos last);

// The text without its first n characters (all of it when n <= 0).
std::u16string_view withoutFirst(std::u16string_view text, Pos n);
// The first n characters of the text (the whole text when n is longer).
std::u16string_view firstChars(std::u16string_view text, Pos n);

// Index of the first code unit equal to `a` (or `b`) at or after `start`, or npos.
std::size_t findUnit(std::u16string_view text, std::size_t start, char16_t a);
std::size_t findEitherUnit(std::u16string_view text, std::size_t start, char16_t a, char16_t b);

}  // namespace mv::engine
