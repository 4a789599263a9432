// The exact decimal type: what it accepts, how it rounds, where it overflows.
#include "json/decimal.h"

#include <gtest/gtest.h>

#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

using json::Decimal;
using report::FailureKind;

TEST(Decimal, ReadsAndWritesWithAPeriodAndNoExponent) {
    struct Row {
        const char* name;
        std::u16string text;
        std::u16string written;
    } rows[] = {
        {"zero", u"0", u"0"},
        {"negative zero", u"-0.00", u"0"},
        {"leading zeros", u"007", u"7"},
        {"trailing zeros after the period", u"1.50", u"1.5"},
        {"negative", u"-12.5", u"-12.5"},
        {"plus sign", u"+4", u"4"},
        {"no integer digits", u".5", u"0.5"},
        {"no fraction digits", u"5.", u"5"},
        {"exponent", u"1e3", u"1000"},
        {"capital exponent with sign", u"1E+3", u"1000"},
        {"negative exponent", u"2.5e-3", u"0.0025"},
        {"exponent on a fraction", u"1.25e1", u"12.5"},
        {"28 digits", u"9999999999999999999999999999", u"9999999999999999999999999999"},
        {"27 zeros", u"1e27", u"1000000000000000000000000000"},
        {"28 decimals", u"0.0000000000000000000000000001", u"0.0000000000000000000000000001"},
        {"29th decimal rounds up", u"0.12345678901234567890123456789",
         u"0.1234567890123456789012345679"},
        {"half rounds away from zero", u"-2.5e-28", u"-0.0000000000000000000000000003"},
        {"below half rounds to zero", u"4.9e-29", u"0"},
        {"half of the smallest step", u"5e-29", u"0.0000000000000000000000000001"},
        {"29 significant digits within 96 bits", u"1.0000000000000000000000000005",
         u"1.0000000000000000000000000005"},
        {"29 digits beyond 96 bits keep 28", u"9.9999999999999999999999999995", u"10"},
        {"the largest", u"79228162514264337593543950335", u"79228162514264337593543950335"},
        {"the smallest", u"-79228162514264337593543950335", u"-79228162514264337593543950335"},
        {"the largest as a fraction", u"7.9228162514264337593543950335",
         u"7.9228162514264337593543950335"},
        {"a fraction rounded into the mantissa, once", u"7.92281625142643375935439503449",
         u"7.922816251426433759354395034"},
        {"a fraction rounded down to the largest", u"79228162514264337593543950335.4",
         u"79228162514264337593543950335"},
        {"exponent 28", u"1e28", u"10000000000000000000000000000"},
        {"huge negative exponent", u"1e-99999999999999999999999", u"0"},
        {"long zero", u"0.000000000000000000000000000000000000000000", u"0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.written, Decimal::parse(row.text).toText());
    }
    EXPECT_EQ(Decimal::parse(u"1.50"), Decimal::parse(u"15e-1"));
    EXPECT_TEXT(u"-9223372036854775808", Decimal(INT64_MIN).toText());
}

TEST(Decimal, RefusesWhatIsNoNumberAndWhatIsTooLarge) {
    struct Row {
        const char* name;
        std::u16string text;
        FailureKind kind;
    } rows[] = {
        {"empty", u"", FailureKind::InvalidArgument},
        {"sign alone", u"-", FailureKind::InvalidArgument},
        {"period alone", u".", FailureKind::InvalidArgument},
        {"two periods", u"1.2.3", FailureKind::InvalidArgument},
        {"exponent without digits", u"1e", FailureKind::InvalidArgument},
        {"exponent sign without digits", u"1e+", FailureKind::InvalidArgument},
        {"exponent alone", u"e5", FailureKind::InvalidArgument},
        {"sign after digits", u"1-", FailureKind::InvalidArgument},
        {"two signs", u"--1", FailureKind::InvalidArgument},
        {"fraction in the exponent", u"1e5.5", FailureKind::InvalidArgument},
        {"one above the largest", u"79228162514264337593543950336", FailureKind::Overflow},
        {"one below the smallest", u"-79228162514264337593543950336", FailureKind::Overflow},
        {"30 integer digits", u"100000000000000000000000000000", FailureKind::Overflow},
        {"exponent 29", u"1e29", FailureKind::Overflow},
        {"rounding carries beyond the largest", u"79228162514264337593543950335.5",
         FailureKind::Overflow},
        {"huge exponent", u"1e99999999999999999999", FailureKind::Overflow},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(failureKindOf([&] { Decimal::parse(row.text); }), row.kind);
    }
}

}  // namespace
}  // namespace mv::test
