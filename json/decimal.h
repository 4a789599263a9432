// Decimal: an exact decimal number, a 96-bit whole number scaled by a power of
// ten from 10^0 to 10^-28, so up to +-79,228,162,514,264,337,593,543,950,335.
// Read from and written as text with a period as the separator whatever the
// locale. No floating point is involved anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::json {

class Decimal {
public:
    static constexpr int kMaxScale = 28;          // digits after the period
    static constexpr int kMaxIntegerDigits = 29;  // digits of 2^96 - 1

    Decimal() = default;  // zero
    explicit Decimal(std::int64_t value);

    // Reads an optional sign, digits with at most one period, and an optional
    // exponent ("e" or "E", optional sign, digits). Digits beyond the 28th
    // after the period, or that would take the whole number beyond 96 bits,
    // are rounded half away from zero. Throws report::Failure: InvalidArgument
    // when the text is not a number of that form, Overflow when its magnitude,
    // rounded, is above 79,228,162,514,264,337,593,543,950,335.
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
