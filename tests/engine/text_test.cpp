#include "engine/text.h"

#include <gtest/gtest.h>

#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

struct FindRow {
    const char* name;
    std::int64_t from;
    std::u16string_view text;
    std::u16string_view needle;
    Case letterCase;
    std::int64_t expected;
};

TEST(FindFrom, PositionsAreOneBasedAndZeroMeansAbsent) {
    const FindRow rows[] = {
        {"first character", 1, u"<a>", u"<", Case::Exact, 1},
        {"from the match itself", 3, u"ab<c", u"<", Case::Exact, 3},
        {"after the only match", 4, u"ab<c", u"<", Case::Exact, 0},
        {"from the last character", 4, u"abcd", u"d", Case::Exact, 4},
        {"from beyond the end", 5, u"abcd", u"d", Case::Exact, 0},
        {"far beyond the end", 1000, u"abcd", u"a", Case::Exact, 0},
        {"needle longer than text", 1, u"ab", u"abc", Case::Exact, 0},
        {"needle running past the end", 3, u"abcab", u"abc", Case::Exact, 0},
        {"empty needle gives the start", 2, u"abc", u"", Case::Exact, 2},
        {"exact is exact", 1, u"<?XML VERSION", u"<?xml version", Case::Exact, 0},
        {"ignoring ASCII case", 1, u"<?XML VERSION", u"<?xml version", Case::Ignore, 1},
        {"first letter in the other case", 1, u"xxVersion", u"version", Case::Ignore, 3},
        {"Windows-1252 letters fold", 1, u"x\u00C9T\u00C9", u"\u00E9t\u00E9", Case::Ignore, 2},
        {"Œ and œ", 1, u"\u0152uvre", u"\u0153UVRE", Case::Ignore, 1},
        {"Ÿ and ÿ", 1, u"a\u0178", u"\u00FF", Case::Ignore, 2},
        {"× and ÷ are not a pair", 1, u"\u00D7", u"\u00F7", Case::Ignore, 0},
        {"ß has no partner", 1, u"SS\u00DF", u"\u00DF", Case::Ignore, 3},
        {"a match beyond a SIMD block", 1, u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa<b", u"<b",
         Case::Exact, 35},
        {"second candidate matches", 1, u"<a <b", u"<b", Case::Exact, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(findFrom(Pos(row.from), row.text, row.needle, row.letterCase).value(),
                  row.expected);
    }
}

TEST(FindFrom, StartBelowOneIsAnInvalidArgument) {
    for (std::int64_t from : {0, -1, -100}) {
        EXPECT_EQ(test::failureKindOf([&] { findFrom(Pos(from), u"abc", u"a"); }),
                  report::FailureKind::InvalidArgument)
            << "from " << from;
    }
}

TEST(CharsFromTo, CutsByOneBasedPositions) {
    EXPECT_TEXT(u"bc", charsFromTo(u"abcd", Pos(2), Pos(3)));
    EXPECT_TEXT(u"", charsFromTo(u"abcd", Pos(3), Pos(2)));
    EXPECT_TEXT(u"cd", charsFromTo(u"abcd", Pos(3), Pos(99)));
    EXPECT_TEXT(u"", charsFromTo(u"abcd", Pos(5), Pos(9)));
    EXPECT_THROW(charsFromTo(u"abcd", Pos(0), Pos(2)), report::Failure);
    EXPECT_TEXT(u"cd", withoutFirst(u"abcd", Pos(2)));
    EXPECT_TEXT(u"", withoutFirst(u"abcd", Pos(4)));
    EXPECT_TEXT(u"abc", firstChars(u"abcd", Pos(3)));
    EXPECT_TEXT(u"abcd", firstChars(u"abcd", Pos(9)));
}

}  // namespace
}  // namespace mv::engine
