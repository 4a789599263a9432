#include "engine/flatten.h"

#include <gtest/gtest.h>

#include <string>

#include "report/error_report.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using report::RecordingReport;

struct FlattenRow {
    const char* name;
    std::u16string_view xml;
    std::u16string_view flattened;
};

TEST(ReplaceXML, RecordsOfKeyAndValue) {
    const FlattenRow rows[] = {
        {"nothing to walk", u"", u""},
        {"no \"<\" at all", u"ab", u""},
        {"start tag without a later end tag: key only", u"<a>", u"a~"},
        {"the text is not taken without a later \"</\"", u"<a>text", u"a~"},
        {"end tag without \">\": no record terminator", u"<a>text</a", u"a~text"},
        {"a flat document as the prolog step passes it on",
         u"\r\n<note>\r\n  <to>Tove</to>\r\n  <from>Jani</from>\r\n</note>\r",
         u"note~  toTove|from~Jani|note~"},
        {"repeated names, an empty-element tag with its attribute",
         u"<root><a>1</a><a>2</a><b x=\"1\"/></root>", u"root~a1|a~2|b x=\"1\"~|"},
        {"separators inside text are not escaped", u"<a>x|y~z</a>", u"a~x|y~z|"},
        {"slashes vanish in attributes and text", u"<d when=\"1/2/2020\">a/b</d>",
         u"d when=\"122020\"~ab|"},
        {"a comment runs into the value", u"<r><!-- note --><v>1</v></r>", u"r~!-- note --v1|r~"},
        {"entities stay, CDATA loses its angle brackets",
         u"<r><v>a &amp; b</v><w><![CDATA[x<y]]></w></r>", u"r~va &amp; b|w~![CDATA[xy]]|r~"},
        {"a processing instruction becomes a key",
         u"<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?><r><v>1</v></r>",
         u"?xml-stylesheet type=\"textxsl\" href=\"s.xsl\"?~rv1|r~"},
        {"tabs survive, line breaks do not", u"<r>\r\n\t<v>1</v>\r\n</r>", u"r~\tv1|r~"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(row.flattened, ReplaceXML(row.xml, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

TEST(ReplaceXML, WalksStrictlyForward) {
    const FlattenRow rows[] = {
        {"a single character is never walked", u"<", u""},
        {"an empty tag gives an empty key", u"<>", u"~"},
        {"empty key, empty end tag", u"<>x</>", u"~x|"},
        {"text around the record is dropped", u"a<b>c</b>d", u"b~c|"},
        {"an end tag alone loses its slash", u"</a>", u"a~"},
        {"a second start tag without any end tag is never reached", u"<a><b>", u"a~"},
        {"the end tag's name is copied nowhere", u"<a>1</zzz><b>2</b>", u"a~1|b~2|"},
        {"the next record starts after the end tag's first \">\"", u"<a>1</a x=\">\" <c>3</c>",
         u"a~1|c~3|"},
        {"spaces and tabs are kept in keys", u"<a \t b>v</a>", u"a \t b~v|"},
        {"characters beyond ASCII pass through", u"<\u00E9t\u00E9>\u4E2D</\u00E9t\u00E9>",
         u"\u00E9t\u00E9~\u4E2D|"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(row.flattened, ReplaceXML(row.xml, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

TEST(ReplaceXML, AFullChunkOfRecords) {
    // 65,536 characters of records: far beyond one growth step of the output.
    const std::u16string record = u"<item>value</item>\r\n";
    std::u16string xml;
    std::u16string expected;
    while (xml.size() + record.size() <= 65536) {
        xml += record;
        expected += u"item~value|";
    }
    RecordingReport report;
    EXPECT_TEXT(expected, ReplaceXML(xml, report));
    EXPECT_EQ(report.size(), 0u);
}

}  // namespace
}  // namespace mv::engine
