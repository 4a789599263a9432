// Decimal: an exact decimal number of at most 28 significant digits, read from
// and written as text with a period as the separator whatever the locale.
// No floating point is involved anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::json {

class Decimal {
public:
    static constexpr int kMaxDigits = 28;

    Decimal() = default;  // zero
    explicit Decimal(std::int64_t value);

    // Reads an optional sign, digits with at most one period, and an optional
    // exponent ("e" or "E", optional sign, digits). Digits beyond the 28th
    // significant one, or beyond the 28th after the period, are rounded half
    // away from zero. Throws report::Failure: InvalidArgument when the text is
    // not a number of that form, Overflow when its integer part needs more
    // than 28 digits.
    static Decimal parse(std::u16string_view text);

    // "-12.5", "0", "1000", "0.001": no exponent, no trailing zeros after the
    // period, no "-" for zero.
    std::u16string toText() const;

    bool isNegative() const { return m_negative; }
    int scale() const { return m_scale; }
    // The significant digits without the period; "0" for zero.
    const std::string& digits() const { return m_digits; }

    friend bool operator==(const Decimal&, const Decimal&) = default;

private:
    // value = (m_negative ? -1 : 1) * m_digits * 10^-m_scale, where m_digits
    // has no leading zero (except "0" itself) and, when m_scale > 0, no
    // trailing zero.
    std::string m_digits = "0";
    int m_scale = 0;
    bool m_negative = false;
};

}  // namespace mv::json
