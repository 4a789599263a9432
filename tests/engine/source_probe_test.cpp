#include "engine/onepass/source_probe.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "report/error_report.h"
#include "tests/support/test_support.h"

namespace mv::engine::onepass {
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

// Generated files, some longer than a chunk: the one read answers both
// first-line questions as the reference first-line tests do.
TEST(OneReadSource, AnswersTheFirstLineQuestionsAsTheReferenceTests) {
    const std::string_view pieces[] = {"xml version",
                                       "XML Version",
                                       "encoding=\"utf-16\"",
                                       "ENCODING=\"UTF-32\"",
                                       "<?",
                                       "\r",
                                       "\n",
                                       "\r\n",
                                       "e",
                                       "x",
                                       " ",
                                       "\xFF\xFE",
                                       "a"};
    std::mt19937 random(5);
    auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    test::TempDir dir;
    int answers[3] = {0, 0, 0};  // UTF-16 declared, declaration missing, declaration there
    for (int i = 0; i < 400; ++i) {
        std::string text;
        const std::size_t count = below(12);
        for (std::size_t k = 0; k < count; ++k) text += pieces[below(std::size(pieces))];
        if (below(5) == 0)
            text.insert(0, std::string(65536 - below(40), 'a'));  // marks across a chunk
        std::string bytes = text;
        if (below(2) == 0) {  // as UTF-16, sometimes with a zero byte out of step
            std::u16string wide(text.begin(), text.end());
            bytes = test::utf16Bytes(wide, below(3) == 0);
            if (below(4) == 0) bytes.insert(below(bytes.size() + 1), 1, '\0');
        }
        const auto path = dir / ("f" + std::to_string(i));
        test::writeBytes(path, bytes);
        report::RecordingReport report;
        const Flag16 utf16 = CheckFirsrStringFSO(test::u16(path), kYes, kNo, report);
        const Flag16 missing = CheckFirsrStringFSO(test::u16(path), kNo, kYes, report);
        std::optional<OneReadSource> source = OneReadSource::open(test::u16(path));
        ASSERT_TRUE(source.has_value());
        SourceChunk chunk;
        while (source->next(chunk)) {
        }
        EXPECT_EQ(source->declaresUtf16(), utf16.isYes()) << test::printable(bytes.substr(0, 80));
        if (!source->declaresUtf16()) {
            EXPECT_EQ(source->declarationMissing(), missing)
                << test::printable(bytes.substr(0, 80));
        }
        EXPECT_EQ(report.size(), 0u);
        ++answers[utf16.isYes() ? 0 : missing.isYes() ? 1 : 2];
    }
    // Every answer came up often enough to count.
    for (int count : answers) EXPECT_GT(count, 40);
}

}  // namespace
}  // namespace mv::engine::onepass
