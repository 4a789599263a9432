#include "engine/source_probe.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

// The bytes fed in pieces of `piece` bytes, as the reader hands them out.
Utf16FirstLine::Answer answerFor(const std::string& bytes, std::size_t piece) {
    Utf16FirstLine line;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        line.feed(std::string_view(bytes).substr(at, piece));
    line.end();
    return line.answer();
}

std::string utf16(std::u16string_view text) {
    return test::utf16Bytes(text, false);
}

TEST(Utf16FirstLine, AnswersAsTheUtf16ReadingOfTheFirstLine) {
    using A = Utf16FirstLine::Answer;
    struct Row {
        const char* name;
        std::string bytes;
        A answer;
    };
    const std::string declared = utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r/>");
    const Row rows[] = {
        {"declared UTF-16", declared, A::Yes},
        {"with a byte-order mark", "\xFF\xFE" + declared, A::Yes},
        {"UTF-32 counts too", utf16(u"<?xml encoding=\"utf-32\"?>"), A::Yes},
        {"the mark on the second line", utf16(u"<?xml?>\n encoding=\"utf-16\""), A::No},
        {"ANSI text with the mark", "<?xml version=\"1.0\" encoding=\"utf-16\"?>", A::No},
        {"a unit with a high byte is no letter", utf16(u"encoding=\"utf-1\u0136\""), A::No},
        {"odd offset does not count", "x" + utf16(u"encoding=\"utf-16\""), A::No},
        {"empty", "", A::No},
    };
    for (const Row& row : rows) {
        for (std::size_t piece : {2u, 6u, 34u, 64u, 1000u}) {
            EXPECT_EQ(answerFor(row.bytes, piece), row.answer)
                << row.name << ", pieces of " << piece;
        }
    }
}

TEST(Utf16FirstLine, AMarkFarIntoALongFirstLineIsFoundAcrossPieces) {
    std::u16string line(70001, u'a');
    line += u"ENCODING=\"UTF-16\"";
    EXPECT_EQ(answerFor(utf16(line), 65536), Utf16FirstLine::Answer::Yes);
    EXPECT_EQ(answerFor(utf16(line + u"\r\n"), 65536), Utf16FirstLine::Answer::Yes);
    EXPECT_EQ(answerFor(utf16(u"\n" + line), 65536), Utf16FirstLine::Answer::No);
}

TEST(DeclarationMissingFrom, SettlesOnlyWhatTheAnsiLineDecides) {
    EXPECT_EQ(declarationMissingFrom("<?xml version=\"1.0\"?>\r\n<r/>", true), kNo);
    EXPECT_EQ(declarationMissingFrom("<?XML VERSION", false), kNo);  // found before the line ends
    EXPECT_EQ(declarationMissingFrom("", true), kNo);                // no line at all
    EXPECT_EQ(declarationMissingFrom("", false), std::nullopt);
    EXPECT_EQ(declarationMissingFrom("<r/>\r\n<?xml version", true), std::nullopt);
    EXPECT_EQ(declarationMissingFrom("<r/>", true), std::nullopt);  // the UTF-16 reading decides
}

}  // namespace
}  // namespace mv::engine
