#include "engine/json_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/file_system.h"
#include "engine/flatten.h"
#include "engine/prolog.h"
#include "report/error_report.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using report::RecordingReport;

// Expected JSON is written with "⏎" for CR LF, the way it reads on screen.
std::u16string withBreaks(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'⏎') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

struct JsonRow {
    const char* name;
    std::u16string_view flattened;
    std::u16string_view json;  // ⏎ for CR LF; backslashes are real
};

TEST(StringToJSON, OneObjectPerRecordInsideOuterBraces) {
    const JsonRow rows[] = {
        {"empty input", u"", u"null"},
        {"a flat document", u"note~  toTove|from~Jani|note~",
         uR"j( { ⏎{"note":"  toTove"},⏎{"from":"Jani"},⏎{"note":""}⏎ } )j"},
        {"the key keeps its quotes; the final terminator gives {}", u"root~a1|a~2|b x=\"1\"~|",
         uR"j( { ⏎{"root":"a1"},⏎{"a":"2"},⏎{"b x="1"":""},⏎{}⏎ } )j"},
        {"separators from the text", u"a~x|y~z|", uR"j( { ⏎{"a":"x"},⏎{"y":"z"},⏎{}⏎ } )j"},
        {"two pairs in one row", u"a~x~y~z", uR"j( { ⏎{"a":"x","y":"z"}⏎ } )j"},
        {"the odd last field is dropped", u"a~1~b", uR"j( { ⏎{"a":"1"}⏎ } )j"},
        {"a row without \"~\"", u"abc", uR"j( { ⏎{}⏎ } )j"},
        {"escapes by the Windows-1252 code", u"r~Don't {x} \\ caf\u00E9",
         uR"j( { ⏎{"r":"Don\'t \u007Bx\u007D \\ caf\u00E9"}⏎ } )j"},
        {"a double quote in the value", u"r~a\"b", uR"j( { ⏎{"r":"a\"b"}⏎ } )j"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(withBreaks(row.json), StringToJSON(row.flattened, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

TEST(StringToJSON, EmptyRowsAndFieldsStillGiveObjects) {
    const JsonRow rows[] = {
        {"a lone terminator gives two empty rows", u"|", uR"j( { ⏎{},⏎{}⏎ } )j"},
        {"\"||\" gives an empty row between", u"a~1||b~2",
         uR"j( { ⏎{"a":"1"},⏎{},⏎{"b":"2"}⏎ } )j"},
        {"a lone separator is an empty pair", u"~", uR"j( { ⏎{"":""}⏎ } )j"},
        {"blanks alone are a row without pairs", u"   |a~1", uR"j( { ⏎{},⏎{"a":"1"}⏎ } )j"},
        {"keys are never escaped", u"k\\{'\t~v", u" { ⏎{\"k\\{'\t\":\"v\"}⏎ } "},
        {"line breaks and tabs in values", u"v~a\tb\r\nc", uR"j( { ⏎{"v":"a\tb\r\nc"}⏎ } )j"},
        {"three pairs and an odd field", u"a~1~b~2~c~3~d",
         uR"j( { ⏎{"a":"1","b":"2","c":"3"}⏎ } )j"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        EXPECT_TEXT(withBreaks(row.json), StringToJSON(row.flattened, report));
        EXPECT_EQ(report.size(), 0u);
    }
}

TEST(StringToJSON, ManyRowsAreEachSeparatedOnce) {
    // Far more text than one growth step of the writer's builder.
    std::u16string flattened;
    std::u16string expected = u" { \r\n";
    for (int i = 0; i < 5000; ++i) {
        flattened += u"k~v|";
        expected += u"{\"k\":\"v\"},\r\n";
    }
    expected += u"{}\r\n } ";
    RecordingReport report;
    EXPECT_TEXT(expected, StringToJSON(flattened, report));
}

struct EscapeRow {
    const char* name;
    std::u16string_view text;
    std::u16string_view escaped;
};

TEST(EscapeJsonText, EveryControlCode) {
    const std::u16string_view expected[32] = {
        uR"(\u0000)", uR"(\u0001)", uR"(\u0002)", uR"(\u0003)", uR"(\u0004)", uR"(\u0005)",
        uR"(\u0006)", uR"(\u0007)", uR"(\b)",     uR"(\t)",     uR"(\n)",     uR"(\u000B)",
        uR"(\f)",     uR"(\r)",     uR"(\u000E)", uR"(\u000F)", uR"(\u0010)", uR"(\u0011)",
        uR"(\u0012)", uR"(\u0013)", uR"(\u0014)", uR"(\u0015)", uR"(\u0016)", uR"(\u0017)",
        uR"(\u0018)", uR"(\u0019)", uR"(\u001A)", uR"(\u001B)", uR"(\u001C)", uR"(\u001D)",
        uR"(\u001E)", uR"(\u001F)",
    };
    for (char16_t code = 0; code < 32; ++code) {
        SCOPED_TRACE(testing::Message() << "code " << int{code});
        EXPECT_TEXT(expected[code], EscapeJsonText(std::u16string(1, code)));
        // The same inside a text, between plain characters.
        EXPECT_TEXT(u"a" + std::u16string(expected[code]) + u"b",
                    EscapeJsonText(u"a" + std::u16string(1, code) + u"b"));
    }
}

TEST(EscapeJsonText, PrintableAsciiIsPlainButForFiveCharacters) {
    const EscapeRow rows[] = {
        {"empty", u"", u""},
        {"double quote", u"\"", uR"(\")"},
        {"apostrophe", u"'", uR"(\')"},
        {"backslash", u"\\", uR"(\\)"},
        {"left brace", u"{", uR"(\u007B)"},
        {"right brace", u"}", uR"(\u007D)"},
        {"127 is written as itself", u"\u007F", u"\u007F"},
        {"every other printable character",
         u" !#$%&()*+,-./"
         u"0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz|~",
         u" !#$%&()*+,-./"
         u"0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz|~"},
        {"a mixed value", u"say \"{hi}\"\tit's C:\\x", uR"(say \"\u007Bhi\u007D\"\tit\'s C:\\x)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.escaped, EscapeJsonText(row.text));
    }
}

TEST(EscapeJsonText, HighCharactersByTheirWindows1252Code) {
    const EscapeRow rows[] = {
        {"e acute", u"\u00E9", uR"(\u00E9)"},
        {"euro sign", u"\u20AC", uR"(\u0080)"},
        {"U+0081 reads back as byte 81", u"\u0081", uR"(\u0081)"},
        {"U+008D", u"\u008D", uR"(\u008D)"},
        {"U+008F", u"\u008F", uR"(\u008F)"},
        {"U+0090", u"\u0090", uR"(\u0090)"},
        {"U+009D", u"\u009D", uR"(\u009D)"},
        {"low single quote", u"\u201A", uR"(\u0082)"},
        {"S caron", u"\u0160", uR"(\u008A)"},
        {"trade mark", u"\u2122", uR"(\u0099)"},
        {"Y diaeresis", u"\u0178", uR"(\u009F)"},
        {"no-break space", u"\u00A0", uR"(\u00A0)"},
        {"y diaeresis", u"\u00FF", uR"(\u00FF)"},
        {"a word", u"na\u00EFve \u00C0", uR"(na\u00EFve \u00C0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.escaped, EscapeJsonText(row.text));
    }
}

TEST(EscapeJsonText, CharactersOutsideTheCodePageStayThemselves) {
    // Their code is that of "?", which is written as the character; the ANSI
    // writer then gives "?".
    const EscapeRow rows[] = {
        {"CJK character", u"\u4E2D", u"\u4E2D"},
        {"a C1 control that Windows-1252 replaces", u"\u0080", u"\u0080"},
        {"A macron", u"\u0100", u"\u0100"},
        {"among escapes", u"\"\u4E2D{", u"\\\"\u4E2D\\u007B"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TEXT(row.escaped, EscapeJsonText(row.text));
    }
}

TEST(EscapeJsonText, OutsideCharacterIsWrittenAsQuestionMark) {
    test::TempDir dir;
    RecordingReport report;
    TextWriter out = FileSystemObject().OpenTextFile(test::u16(dir / "r.json"));
    out.Write(StringToJSON(u"r~\u4E2D\u00E9\u20AC", report));
    out.Close();
    EXPECT_EQ(test::readBytes(dir / "r.json"), " { \r\n{\"r\":\"?\\u00E9\\u0080\"}\r\n } ");
    EXPECT_EQ(report.size(), 0u);
}

// Small pieces are gathered and large ones written as they are: the file
// still holds every piece once, in order.
TEST(TextWriter, PiecesOfEverySizeKeepTheirOrder) {
    test::TempDir dir;
    TextWriter out = FileSystemObject().OpenTextFile(test::u16(dir / "r.json"));
    std::string expected;
    char fill = 'a';
    for (std::size_t size : {10u, 20000u, 5u, 300000u, 1u, 16384u, 16383u, 262144u, 0u, 7u}) {
        const std::string piece(size, fill++);
        out.WriteBytes(piece);
        expected += piece;
    }
    out.Close();
    EXPECT_TRUE(test::readBytes(dir / "r.json") == expected);
}

TEST(ChunkConversion, NoteDocumentThroughEveryStep) {
    const std::u16string source =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<note>\r\n  <to>Tove</to>\r\n"
        u"  <from>Jani</from>\r\n</note>\r\n";
    RecordingReport report;
    const std::u16string root = SetMainXMLTag(source, report);
    EXPECT_TEXT(u"note", root);
    const std::u16string stripped = StripXmlProlog(source, root, kNo, kNo);
    // The root's end tag and a lone carriage return after it.
    EXPECT_TEXT(u"\r\n<note>\r\n  <to>Tove</to>\r\n  <from>Jani</from>\r\n</note>\r", stripped);
    const std::u16string flattened = ReplaceXML(stripped, report);
    EXPECT_TEXT(u"note~  toTove|from~Jani|note~", flattened);
    EXPECT_TEXT(withBreaks(uR"j( { ⏎{"note":"  toTove"},⏎{"from":"Jani"},⏎{"note":""}⏎ } )j"),
                StringToJSON(flattened, report));
    EXPECT_EQ(report.size(), 0u);
}

}  // namespace
}  // namespace mv::engine
