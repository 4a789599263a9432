#include "engine/source_probe.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

// Which of the marks the UTF-16 first line holds, the bytes fed in pieces of
// `piece` bytes as the reader hands them out.
unsigned marksFound(const std::string& bytes, std::size_t piece) {
    Utf16FirstLine line({"encoding=\"utf-16\"", "xml version"});
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        line.feed(std::string_view(bytes).substr(at, piece));
    }
    line.end();
    return line.found();
}

std::string utf16(std::u16string_view text) {
    return test::utf16Bytes(text, false);
}

TEST(Utf16FirstLine, FindsTheMarksOfTheUtf16ReadingOfTheFirstLine) {
    struct Row {
        const char* name;
        std::string bytes;
        unsigned found;
    };
    const std::string declared = utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r/>");
    const Row rows[] = {
        {"declared UTF-16", declared, 3},
        {"with a byte-order mark", "\xFF\xFE" + declared, 3},
        {"letter case ignored", utf16(u"XML VERSION"), 2},
        {"the mark on the second line", utf16(u"<?xml?>\n encoding=\"utf-16\""), 0},
        {"ANSI text with the marks", "<?xml version=\"1.0\" encoding=\"utf-16\"?>", 0},
        {"a unit with a high byte is no letter", utf16(u"encoding=\"utf-1\u0136\""), 0},
        {"odd offset does not count", "x" + utf16(u"encoding=\"utf-16\""), 0},
        {"empty", "", 0},
    };
    for (const Row& row : rows) {
        for (std::size_t piece : {2u, 6u, 34u, 64u, 1000u}) {
            EXPECT_EQ(marksFound(row.bytes, piece), row.found)
                << row.name << ", pieces of " << piece;
        }
    }
}

TEST(Utf16FirstLine, AMarkFarIntoALongFirstLineIsFoundAcrossPieces) {
    std::u16string line(70001, u'a');
    line += u"ENCODING=\"UTF-16\"";
    EXPECT_EQ(marksFound(utf16(line), 65536), 1u);
    EXPECT_EQ(marksFound(utf16(line + u"\r\n"), 65536), 1u);
    EXPECT_EQ(marksFound(utf16(u"\n" + line), 65536), 0u);
}

TEST(AnsiFirstLine, FindsTheDeclarationBeforeTheFirstLineEnds) {
    struct Row {
        std::string bytes;
        bool found;
    };
    const Row rows[] = {
        {"<?xml version=\"1.0\"?>\r\n<r/>", true},
        {"<?XML VERSION", true},
        {"<r/>\r\n<?xml version", false},
        {std::string(70000, 'x') + "xml version", true},
        {"", false},
    };
    for (const Row& row : rows) {
        for (std::size_t piece : {3u, 65536u}) {
            AnsiFirstLine line;
            for (std::size_t at = 0; at < row.bytes.size(); at += piece) {
                line.feed(std::string_view(row.bytes).substr(at, piece));
            }
            line.end();
            EXPECT_EQ(line.found(), row.found) << test::printable(row.bytes.substr(0, 40));
            EXPECT_TRUE(line.ended());
        }
    }
}

}  // namespace
}  // namespace mv::engine
