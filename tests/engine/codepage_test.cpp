#include "engine/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/text.h"
#include "tests/engine/windows1252.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

std::string allBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
}

std::string hexOf(int byte) {
    char text[8];
    std::snprintf(text, sizeof text, "byte %02X", byte);
    return text;
}

TEST(CodePage, EveryByteReadsAsItsWindows1252Character) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(hexOf(b));
        EXPECT_EQ(int{ansiChar(static_cast<std::uint8_t>(b))},
                  int{test::windows1252(static_cast<std::uint8_t>(b))});
    }
    const std::string bytes = allBytes();
    std::u16string decoded = u"kept:";  // decoding appends
    decodeAnsi(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), decoded);
    EXPECT_TEXT(u"kept:" + test::windows1252(bytes), decoded);
}

TEST(CodePage, EveryByteWritesBackAsItself) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(hexOf(b));
        EXPECT_EQ(int{ansiCode(test::windows1252(static_cast<std::uint8_t>(b)))}, b);
    }
    const std::string bytes = allBytes();
    std::string encoded = "kept:";  // encoding appends
    encodeAnsi(test::windows1252(bytes), encoded);
    EXPECT_EQ(encoded, "kept:" + bytes);
}

TEST(CodePage, CharactersOutsideItBecomeQuestionMarks) {
    struct Row {
        const char* name;
        char16_t c;
    };
    const Row rows[] = {
        {"U+0080, whose byte is the euro sign", u'\u0080'},
        {"U+0098, whose byte is the small tilde", u'\u0098'},
        {"U+009F, whose byte is Y diaeresis", u'\u009F'},
        {"A macron", u'\u0100'},
        {"Greek alpha", u'\u03B1'},
        {"CJK character", u'\u4E2D'},
        {"line separator", u'\u2028'},
        {"replacement character", u'\uFFFD'},
        {"byte-order mark", u'\uFEFF'},
        {"half of a surrogate pair", u'\xD83D'},
        {"the last code unit", u'\xFFFF'},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(int{ansiCode(row.c)}, int{'?'});
        std::string written;
        encodeAnsi(u"<" + std::u16string(1, row.c) + u">", written);
        EXPECT_EQ(written, "<?>");
    }
    std::string emoji;
    encodeAnsi(u"a\U0001F600b", emoji);  // each half of the pair is one "?"
    EXPECT_EQ(emoji, "a??b");
}

// Ignoring letter case covers ASCII and the letters of Windows-1252, nothing else.
TEST(LetterCase, Windows1252LettersPairUp) {
    const std::u16string_view upper =
        u"ABCDEFGHIJKLMNOPQRSTUVWXYZ\u00C0\u00C1\u00C2\u00C3\u00C4\u00C5\u00C6\u00C7\u00C8"
        u"\u00C9\u00CA\u00CB\u00CC\u00CD\u00CE\u00CF\u00D0\u00D1\u00D2\u00D3\u00D4\u00D5\u00D6"
        u"\u00D8\u00D9\u00DA\u00DB\u00DC\u00DD\u00DE\u0160\u0152\u017D\u0178";
    const std::u16string_view lower =
        u"abcdefghijklmnopqrstuvwxyz\u00E0\u00E1\u00E2\u00E3\u00E4\u00E5\u00E6\u00E7\u00E8"
        u"\u00E9\u00EA\u00EB\u00EC\u00ED\u00EE\u00EF\u00F0\u00F1\u00F2\u00F3\u00F4\u00F5\u00F6"
        u"\u00F8\u00F9\u00FA\u00FB\u00FC\u00FD\u00FE\u0161\u0153\u017E\u00FF";
    ASSERT_EQ(upper.size(), lower.size());
    for (std::size_t i = 0; i < upper.size(); ++i) {
        SCOPED_TRACE(test::printable(upper.substr(i, 1)));
        EXPECT_EQ(findFrom(Pos(1), upper.substr(i, 1), lower.substr(i, 1), Case::Ignore).value(),
                  1);
        EXPECT_EQ(findFrom(Pos(1), lower.substr(i, 1), upper.substr(i, 1), Case::Ignore).value(),
                  1);
        EXPECT_EQ(findFrom(Pos(1), upper.substr(i, 1), lower.substr(i, 1), Case::Exact).value(), 0);
    }
    EXPECT_EQ(findFrom(Pos(1), upper, lower, Case::Ignore).value(), 1);
}

TEST(LetterCase, CharactersThatAreNotPairs) {
    // Most of these differ by 20 hex, like real pairs do.
    struct Row {
        const char* name;
        std::u16string_view a;
        std::u16string_view b;
    };
    const Row rows[] = {
        {"@ and `", u"@", u"`"},
        {"[ and {", u"[", u"{"},
        {"\\ and |", u"\\", u"|"},
        {"] and }", u"]", u"}"},
        {"^ and ~", u"^", u"~"},
        {"multiplication and division signs", u"\u00D7", u"\u00F7"},
        {"sharp s and y diaeresis", u"\u00DF", u"\u00FF"},
        {"A macron, outside the code page", u"\u0100", u"\u0101"},
        {"Greek letters, outside the code page", u"\u0391", u"\u03B1"},
        {"florin has no partner", u"\u0192", u"\u0191"},
        {"digits and symbols", u"1", u"\u0011"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(findFrom(Pos(1), row.a, row.b, Case::Ignore).value(), 0);
        EXPECT_EQ(findFrom(Pos(1), row.b, row.a, Case::Ignore).value(), 0);
    }
}

}  // namespace
}  // namespace mv::engine
