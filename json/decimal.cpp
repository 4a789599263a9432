#include "json/decimal.h"

#include <algorithm>
#include <limits>

#include "engine/native_text.h"
#include "report/failure.h"

namespace mv::json {

using report::Failure;
using report::FailureKind;

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The collected text, shortened for a message; it can be as long as the input.
std::string quoted(std::u16string_view text) {
    constexpr std::size_t kShown = 40;
    std::string shown = engine::toNative(text.substr(0, kShown));
    return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

[[noreturn]] void notANumber(std::u16string_view text) {
    throw Failure(FailureKind::InvalidArgument, quoted(text) + " is not a number");
}

// Adds one unit in the last place of a digit string; "999" becomes "1000".
void incrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

// Digits without leading zeros that fit the 96-bit mantissa.
bool fitsMantissa(const std::string& digits) {
    constexpr std::string_view kLargest = "79228162514264337593543950335";  // 2^96 - 1
    return digits.size() < kLargest.size() ||
           (digits.size() == kLargest.size() && std::string_view(digits) <= kLargest);
}

// The digits of a number as written, the period left out.
struct WrittenDigits {
    std::string digits;
    std::int64_t fractionDigits = 0;
};

// Reads integer and fraction digits from text[i] on; leaves i after them.
WrittenDigits readDigits(std::u16string_view text, std::size_t& i) {
    WrittenDigits written;
    bool seenPeriod = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            written.digits += static_cast<char>(text[i]);
            if (seenPeriod) ++written.fractionDigits;
        } else if (text[i] == u'.' && !seenPeriod) {
            seenPeriod = true;
        } else {
            break;
        }
    }
    if (written.digits.empty()) notANumber(text);
    return written;
}

// Reads the exponent at text[i] ("e-12"), 0 where there is none; leaves i
// after it.
std::int64_t readExponent(std::u16string_view text, std::size_t& i) {
    if (i == text.size() || (text[i] != u'e' && text[i] != u'E')) return 0;
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size() || !isDigit(text[i])) notANumber(text);
    // Saturated: an exponent this large overflows or rounds to zero anyway,
    // and the sums in parse stay far inside 64 bits.
    constexpr std::int64_t kExponentCap = std::int64_t{1} << 40;
    std::int64_t exponent = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        exponent = std::min(kExponentCap, exponent * 10 + (text[i] - u'0'));
    }
    return negative ? -exponent : exponent;
}

// Drops the fraction digits that do not fit, rounding once from the digits
// as written; if the rounded mantissa is still too large, one digit more.
// Lowers `scale` by the digits dropped.
std::string roundToMantissa(const std::string& digits, std::int64_t& scale,
                            std::u16string_view text) {
    const auto length = static_cast<std::int64_t>(digits.size());
    std::int64_t drop = std::max<std::int64_t>(
        {0, scale - Decimal::kMaxScale, length - Decimal::kMaxIntegerDigits});
    std::string kept;
    for (;; ++drop) {
        if (drop > scale) throw Failure(FailureKind::Overflow, quoted(text));
        kept = digits.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(0, length - drop)));
        if (drop > 0 && drop <= length && digits[static_cast<std::size_t>(length - drop)] >= '5') {
            incrementDigits(kept);
        }
        if (fitsMantissa(kept)) break;
    }
    scale -= drop;
    return kept;
}

}  // namespace

Decimal::Decimal(std::int64_t value) : m_negative(value < 0) {
    // Through unsigned arithmetic so that the smallest int64 has a magnitude.
    std::uint64_t magnitude =
        m_negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    m_digits = std::to_string(magnitude);
}

Decimal Decimal::parse(std::u16string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    auto [digits, fractionDigits] = readDigits(text, i);
    const std::int64_t exponent = readExponent(text, i);
    if (i != text.size()) notANumber(text);

    // value = digits * 10^(exponent - fractionDigits)
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    Decimal result;
    if (digits.empty()) return result;

    std::int64_t scale = fractionDigits - exponent;
    if (static_cast<std::int64_t>(digits.size()) - scale > kMaxIntegerDigits) {
        throw Failure(FailureKind::Overflow, quoted(text));
    }
    if (scale < 0) {
        digits.append(static_cast<std::size_t>(-scale), '0');
        scale = 0;
    }
    std::string kept = roundToMantissa(digits, scale, text);
    while (scale > 0 && !kept.empty() && kept.back() == '0') {
        kept.pop_back();
        --scale;
    }
    if (kept.empty()) return result;

    result.m_digits = std::move(kept);
    result.m_scale = static_cast<int>(scale);
    result.m_negative = negative;
    return result;
}

std::u16string Decimal::toText() const {
    std::string text = m_digits;
    if (m_scale > 0) {
        auto scale = static_cast<std::size_t>(m_scale);
        if (text.size() <= scale) text.insert(0, scale - text.size() + 1, '0');
        text.insert(text.size() - scale, 1, '.');
    }
    if (m_negative) text.insert(0, 1, '-');
    return std::u16string(text.begin(), text.end());
}

}  // namespace mv::json
