#include "engine/prolog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "report/error_report.h"
#include "report/failure.h"
#include "report/locations.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using report::FailureKind;
using report::RecordingReport;

struct PrologRow {
    const char* name;
    std::u16string_view chunk;
    std::u16string_view rootTag;
    std::u16string_view stripped;  // StripXmlProlog with both flags 0
};

// Search positions are not moved when the text is cut: that is what keeps a
// short document's final CR LF and a DOCTYPE right after the declaration.
const PrologRow kPrologRows[] = {
    {"declaration cut, the short document keeps its final CR LF",
     u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<note>\r\n  <to>Tove</to>\r\n</note>\r\n",
     u"note", u"\r\n<note>\r\n  <to>Tove</to>\r\n</note>\r\n"},
    {"a DOCTYPE right after the declaration stays",
     u"<?xml version=\"1.0\"?>\r\n<!DOCTYPE note SYSTEM \"Note.dtd\">\r\n<note><to>T</to></note>",
     u"note", u"\r\n<!DOCTYPE note SYSTEM \"Note.dtd\">\r\n<note><to>T</to></note>"},
    {"DOCTYPE cut, tail cut one character after the root's end",
     u"<!DOCTYPE r>\r\n<r><v>1</v></r>\r\nxyz", u"r", u"\r\n<r><v>1</v></r>\r"},
    {"an instruction right after the declaration stays",
     u"<?xml version=\"1.0\"?><?xml:namespace prefix=\"o\"?><r><v>1</v></r>", u"r",
     u"<?xml:namespace prefix=\"o\"?><r><v>1</v></r>"},
    {"a root with attributes keeps its tail", u"<r a=\"1\"><v>1</v></r>tail", u"r a=\"1\"",
     u"<r a=\"1\"><v>1</v></r>tail"},
    {"a later start tag matches \"<r \"", u"<r><r x><v>1</v></r>", u"r", u"<v>1</v></r>"},
    {"declaration in capitals, empty-element root", u"<?XML VERSION=\"1.0\"?><r/>", u"r/", u"<r/>"},
    {"a later chunk begins inside the text", u"ext</b><c>2</c></a>", u"/b", u"ext</b><c>2</c></a>"},
    {"no tags at all", u"no tags", u"", u"no tags"},
};

TEST(SetMainXMLTag, RootTagOfEveryKindOfChunk) {
    for (const auto& row : kPrologRows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(row.rootTag, SetMainXMLTag(row.chunk, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

TEST(StripXmlProlog, CutsHeadAndTailAsTheSearchPositionsFall) {
    for (const auto& row : kPrologRows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.stripped, StripXmlProlog(row.chunk, row.rootTag, kNo, kNo));
    }
}

TEST(SetMainXMLTag, SkipsDeclarationsAndTakesTheFirstTagAsWritten) {
    struct Row {
        const char* name;
        std::u16string_view chunk;
        std::u16string_view rootTag;
    };
    const Row rows[] = {
        {"empty chunk", u"", u""},
        {"a declaration and nothing after it", u"<?xml version=\"1.0\"?>", u""},
        {"a \"<\" without \">\"", u"text <r a=\"1\"", u""},
        {"all three declarations",
         u"<?xml version=\"1.0\"?><?xml:ns prefix=\"o\"?><!DOCTYPE r><r a=\"1\" b=\"2\">",
         u"r a=\"1\" b=\"2\""},
        {"declarations in any letter case", u"<?Xml Version=\"1.0\"?><?XML:ns?><!doctype r><r>",
         u"r"},
        {"a comment comes first", u"<!-- c --><r>", u"!-- c --"},
        {"an instruction that is not \"<?xml:\"", u"<?xml-stylesheet href=\"s\"?><r>",
         u"?xml-stylesheet href=\"s\"?"},
        {"an internal subset ends at its first \">\"",
         u"<!DOCTYPE r [<!ENTITY a \"1\"><!ENTITY b \"2\">]><r>", u"!ENTITY b \"2\""},
        {"empty tag", u"<><r>", u""},
        {"text before the first tag", u"\r\n  <root>", u"root"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(row.rootTag, SetMainXMLTag(row.chunk, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

// A mark without a ">" after it leaves the position at 0; every later search
// from there fails and is reported under its own step.
TEST(SetMainXMLTag, EverySearchFromPositionZeroIsReported) {
    struct Row {
        const char* name;
        std::u16string_view chunk;
        std::vector<int> steps;
    };
    const Row rows[] = {
        {"declaration without \">\"",
         u"<?xml version=\"1.0\" encoding=\"UTF-8\"\r\n<note",
         {116, 124, 132}},
        {"instruction without \">\"", u"<?xml:namespace prefix=\"o\"\r\n<r", {124, 132}},
        {"DOCTYPE without \">\"", u"<!DOCTYPE r SYSTEM \"r.dtd\"\r\n<r", {132}},
    };
    const std::string where = report::locations::kSetMainXMLTag.text();
    ASSERT_EQ(where, "in Tessaline2021/08/31.Main.SetMainXMLTag ");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(u"", SetMainXMLTag(row.chunk, report));
        std::vector<std::string> expected;
        for (int step : row.steps) expected.push_back(where + "@" + std::to_string(step));
        EXPECT_EQ(report.steps(), expected);
        for (const auto& entry : report.entries()) {
            EXPECT_EQ(entry.description, report::describe(FailureKind::InvalidArgument));
        }
    }
}

TEST(StripXmlProlog, FlagsSkipTheHeadOrTheTail) {
    struct Row {
        const char* name;
        std::u16string_view chunk;
        std::u16string_view rootTag;
        Flag16 skipHead;
        Flag16 skipTail;
        std::u16string_view stripped;
    };
    const Flag16 one{1};
    const Row rows[] = {
        {"both performed", u"<r><r x><v>1</v></r>tail", u"r", kNo, kNo, u"<v>1</v></r>t"},
        {"head skipped", u"<?xml version=\"1.0\"?><r><r x>1</r>", u"r", kYes, kNo,
         u"<?xml version=\"1.0\"?><r><r x>1</r>"},
        {"tail skipped by any non-zero value", u"<r><v>1</v></r>tail", u"r", kNo, one,
         u"<r><v>1</v></r>tail"},
        {"both skipped", u"<!DOCTYPE r><r><r x>1</r>tail", u"r", kYes, kYes,
         u"<!DOCTYPE r><r><r x>1</r>tail"},
        {"tail at the very end keeps nothing more", u"<r><v>1</v></r>", u"r", kNo, kNo,
         u"<r><v>1</v></r>"},
        {"end tag found in any letter case", u"<r><v>1</v></R>\r\nxyz", u"r", kNo, kNo,
         u"<r><v>1</v></R>\r"},
        {"a chunk that is only a declaration becomes empty", u"<?xml version=\"1.0\"?>", u"", kNo,
         kNo, u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.stripped,
                    StripXmlProlog(row.chunk, row.rootTag, row.skipHead, row.skipTail));
    }
}

TEST(StripXmlProlog, ASearchFromPositionZeroIsAnInvalidArgument) {
    struct Row {
        const char* name;
        std::u16string_view chunk;
        std::u16string_view rootTag;
    };
    const Row rows[] = {
        {"declaration without \">\"", u"<?xml version=\"1.0\"\r\n<note", u""},
        {"declaration without \">\", root tag given", u"<?xml version=\"1.0\"", u"note"},
        {"instruction without \">\"", u"<?xml:namespace prefix=\"o\"", u""},
        {"DOCTYPE without \">\" before the root tag search", u"<!DOCTYPE r", u"r"},
        {"a matched start tag without \">\" before the tail search", u"<r><r x", u"r"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(test::failureKindOf([&] { StripXmlProlog(row.chunk, row.rootTag, kNo, kNo); }),
                  FailureKind::InvalidArgument);
    }
}

TEST(StripXmlProlog, NoFailureWhenNoSearchFollowsTheMissingClose) {
    // The DOCTYPE's missing ">" would only matter to a root tag search.
    EXPECT_TEXT(u"<!DOCTYPE r", StripXmlProlog(u"<!DOCTYPE r", u"", kNo, kNo));
    // With the tail skipped, nothing searches after the unclosed start tag.
    EXPECT_TEXT(u"<r><r x", StripXmlProlog(u"<r><r x", u"r", kNo, kYes));
}

}  // namespace
}  // namespace mv::engine
