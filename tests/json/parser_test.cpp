// The lenient JSON reader: whole results and the exact error lines.
#include "json/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/json/value_dump.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

using engine::Pos;
using json::JsonReader;

struct Read {
    std::string tree;  // dump() of the result, or "nothing"
    std::u16string errors;
    Pos end;
};

Read readAll(std::u16string_view text) {
    JsonReader reader;
    Pos position(1);
    auto result = reader.ReadJSONText(text, position);
    return {result ? dump(*result) : "nothing", reader.ParserErrors(), position};
}

struct Row {
    const char* name;
    std::u16string text;
    std::string tree;
    std::u16string errors;
};

void check(const Row& row) {
    SCOPED_TRACE(row.name);
    Read got = readAll(row.text);
    EXPECT_EQ(got.tree, row.tree);
    EXPECT_TEXT(row.errors, got.errors);
}

TEST(JsonReader, ReadsContainersAndScalars) {
    const Row rows[] = {
        {"empty map", u"{}", "{}", u""},
        {"empty list", u"[]", "[]", u""},
        {"members in written order", u"{\"n\": 12.5, \"l\": [true, null, \"t\"]}",
         "{\"n\":12.5,\"l\":[true,null,\"t\"]}", u""},
        {"words", u"{\"t\":true,\"f\":false,\"n\":null}", "{\"t\":true,\"f\":false,\"n\":null}",
         u""},
        {"nested", u"[[], {}, [[1]], {\"a\": {\"b\": []}}]", "[[],{},[[1]],{\"a\":{\"b\":[]}}]",
         u""},
        {"blanks everywhere", u" \t\r\n[ 1 ,\r\n\t2 ] ", "[1,2]", u""},
    };
    for (const auto& row : rows) check(row);
}

TEST(JsonReader, AcceptsLenientForms) {
    const Row rows[] = {
        {"names without quotes", u"{name: 1, other_name: 2}", "{\"name\":1,\"other_name\":2}", u""},
        {"names in apostrophes", u"{'a': 1, 'b c': 2}", "{\"a\":1,\"bc\":2}", u""},
        {"blanks inside a quoted name are dropped", u"{\"first name\": \"Ann\"}",
         "{\"firstname\":\"Ann\"}", u""},
        {"texts in apostrophes", u"['it\\'s', 'say \"hi\"']", "[\"it's\",\"say \"hi\"\"]", u""},
        {"line comments", u"// head\n{\"a\": 1, // one\n\"b\": 2}", "{\"a\":1,\"b\":2}", u""},
        {"block comments", u"/* head */[1, /* two\n lines */ 2]/* tail */", "[1,2]", u""},
        {"parentheses are blanks", u"({\"a\": (1), \"b\": ([2])})", "{\"a\":1,\"b\":[2]}", u""},
        {"a lone slash is a blank", u"[1, / 2]", "[1,2]", u""},
        {"any first character opens a map", u"x\"a\": 1}", "{\"a\":1}", u""},
        {"a first letter is skipped, the rest is a key", u"ab:1}", "{\"b\":1}", u""},
        {"a colon inside quotes belongs to the name", u"{\"a:b\": 1}", "{\"a:b\":1}", u""},
        {"an apostrophe in a double-quoted name keeps the colons in it", u"{\"it's\": 1, x: 2}",
         "{\"its:1,x:2}\":empty}", u"Missing '}': {\"it's\": 1, x: 2}\r\n"},
    };
    for (const auto& row : rows) check(row);
}

TEST(JsonReader, ReadsEscapes) {
    const Row rows[] = {
        {"quote, backslash, slash, apostrophe", u"[\"\\\"\\\\\\/\\'\"]", "[\"\"\\\\/'\"]", u""},
        {"control letters", u"[\"\\b\\f\\n\\r\\t\"]", "[\"\\u0008\\u000C\\n\\r\\t\"]", u""},
        {"\\u with four digits", u"[\"\\u0041\\u00e9\\u20AC\"]", "[\"A\\u00E9\\u20AC\"]", u""},
        {"\\u with no digit gives 0", u"[\"\\uXYZW!\"]", "[\"\\u0000!\"]", u""},
        {"\\u takes the leading digits of the next four", u"[\"\\u4G12x\"]", "[\"\\u0004x\"]", u""},
        {"\\u runs over the closing quote", u"[\"\\u41\"]", "[\"A\"]",
         u"Missing ']': [\"\\u41\"]\r\n"},
        {"no escape letter: the letter alone", u"[\"\\q\\x\"]", "[\"qx\"]", u""},
        {"a backslash in a name is no escape", u"{a\\b: 1}", "{\"a\\\\b\":1}", u""},
        {"a backslash at the very end", u"[\"a\\", "[\"a\"]", u"Missing ']': [\"a\\\r\n"},
    };
    for (const auto& row : rows) check(row);
}

TEST(JsonReader, ReadsNumbersExactlyWithAPeriod) {
    const Row rows[] = {
        {"forms", u"[0, -2.50, +3, 1e3, 2E-2, .5, 5., 007]", "[0,-2.5,3,1000,0.02,0.5,5,7]", u""},
        {"28 digits", u"[1234567890123456789012345678]", "[1234567890123456789012345678]", u""},
        {"more decimals are rounded", u"[0.12345678901234567890123456789]",
         "[0.1234567890123456789012345679]", u""},
        {"a number cut off by the end is empty", u"[12", "[empty]", u"Missing ']': [12\r\n"},
        {"a member number cut off by the end is empty", u"{\"a\": 1", "{\"a\":empty}",
         u"Missing '}': {\"a\": 1\r\n"},
        {"malformed in a list", u"[1, 1.2.3, 4]", "[1]",
         u"Invalid procedure call or argument: \"1.2.3\" is not a number: , 4]\r\n"},
        {"malformed in a map", u"{\"p\": 1-2, \"q\": 3}", "{}",
         u"Invalid procedure call or argument: \"1-2\" is not a number: p\r\n"},
        {"the whole 96-bit range",
         u"[-79228162514264337593543950335, 7.9228162514264337593543950335]",
         "[-79228162514264337593543950335,7.9228162514264337593543950335]", u""},
        {"too large", u"[79228162514264337593543950336]", "[]",
         u"Overflow: \"79228162514264337593543950336\": ]\r\n"},
        {"a capitalised word is no boolean", u"[True]", "[]",
         u"Invalid procedure call or argument: \"\" is not a number: True]\r\n"},
    };
    for (const auto& row : rows) check(row);
}

TEST(JsonReader, WritesEachProblemAsOneLine) {
    const Row rows[] = {
        {"no text", u"", "nothing", u"Invalid JSON"},
        {"blank and bracket", u" [", "nothing", u"Invalid JSON"},
        {"comment only", u"// nothing here\n{", "nothing", u"Invalid JSON"},
        {"duplicate name keeps the first value and ends the map", u"{\"a\": 1, \"a\": 2, \"b\": 3}",
         "{\"a\":1}", u"Invalid procedure call or argument: duplicate member name: a\r\n"},
        {"names are case-sensitive", u"{\"a\": 1, \"A\": 2}", "{\"a\":1,\"A\":2}", u""},
        {"trailing comma in a list", u"[1, 2,]", "[1,2]",
         u"Invalid procedure call or argument: \"\" is not a number: ]\r\n"},
        {"trailing comma in a map reads the brace as a name", u"{\"a\": 1,}",
         "{\"a\":1,\"}\":empty}", u"Missing '}': {\"a\": 1,}\r\n"},
        {"unterminated text: no line of its own", u"[\"abc", "[\"abc\"]",
         u"Missing ']': [\"abc\r\n"},
        {"the last 20 characters", u"[\"0123456789abcdefghijklmnop\"",
         "[\"0123456789abcdefghijklmnop\"]", u"Missing ']': 789abcdefghijklmnop\"\r\n"},
        {"missing brace", u"{\"a\": \"b\"", "{\"a\":\"b\"}", u"Missing '}': {\"a\": \"b\"\r\n"},
        {"bad boolean ends the list", u"[1, tru, 2]", "[1]",
         u"Invalid Boolean at position 5 : tru, 2]\r\n"},
        {"bad null ends the list", u"[nul]", "[]", u"Invalid null value at position 2 : nul]\r\n"},
        {"a bad word in a map is kept and begins the next name", u"{\"a\": nul, \"b\": 1}",
         "{\"a\":empty,\"nul,b\":1}", u"Invalid null value at position 7 : nul, \"b\": 1}\r\n"},
        {"a bad word in a map reads the rest as a name", u"[{\"a\":tru}]",
         "[{\"a\":false,\"tru}]\":empty}]",
         u"Invalid Boolean at position 7 : tru}]\r\n"
         u"Missing '}': [{\"a\":tru}]\r\n"
         u"Missing ']': [{\"a\":tru}]\r\n"},
        {"a map reads on after a list ended by a bad word", u"{\"l\": [nul], \"b\": 1}",
         "{\"l\":[],\"nul],b\":1}", u"Invalid null value at position 8 : nul], \"b\": 1}\r\n"},
        {"no colon after a quoted name", u"{\"a\" 1}", "{\"a\":1}",
         u"Invalid Key at position 6 : a\r\n"},
        {"a map ends at an opening bracket", u"{[1]}", "{}", u""},
        {"a failed member ends only its own map", u"[{\"a\": 1, \"a\": 2, \"b\": 3}, 5]",
         "[{\"a\":1},\"b\"]",
         u"Invalid procedure call or argument: duplicate member name: a\r\n"
         u"Invalid procedure call or argument: \"\" is not a number: : 3}, 5]\r\n"},
        {"a bad word ends every list around it, reported once", u"[[[tru]], [nul], [1", "[[[]]]",
         u"Invalid Boolean at position 4 : tru]], [nul], [1\r\n"},
        {"several lines", u"{\"m\": {\"x\" 2}, \"n\": [3", "{\"m\":{\"x\":2},\"n\":[empty]}",
         u"Invalid Key at position 12 : x\r\n"
         u"Missing ']': m\": {\"x\" 2}, \"n\": [3\r\n"
         u"Missing '}': m\": {\"x\" 2}, \"n\": [3\r\n"},
    };
    for (const auto& row : rows) check(row);
}

TEST(JsonReader, StartsAtTheGivenPositionAndLeavesItAfterTheValue) {
    JsonReader reader;
    Pos position(4);
    auto result = reader.ReadJSONText(u"xx [1] tail", position);
    ASSERT_TRUE(result);
    EXPECT_EQ(dump(*result), "[1]");
    EXPECT_EQ(position, Pos(7));
    EXPECT_EQ(readAll(u"{\"a\":1} tail").end, Pos(8));
}

TEST(JsonReader, ClearsTheErrorsOfTheLastRead) {
    JsonReader reader;
    Pos position(1);
    reader.ReadJSONText(u"[1,", position);
    EXPECT_FALSE(reader.ParserErrors().empty());
    position = Pos(1);
    reader.ReadJSONText(u"[1]", position);
    EXPECT_TEXT(u"", reader.ParserErrors());
}

std::u16string nested(int depth) {
    return std::u16string(static_cast<std::size_t>(depth), u'[') +
           std::u16string(static_cast<std::size_t>(depth), u']');
}

// broke: a recursive reader overflowed its stack on a list opened a million times.
TEST(JsonReader, BoundsTheNestingDepth) {
    Read deepest = readAll(nested(JsonReader::kMaxDepth));
    EXPECT_TEXT(u"", deepest.errors);

    Read tooDeep = readAll(nested(JsonReader::kMaxDepth + 1));
    EXPECT_TEXT(u"Nesting too deep at position 513 : []]]]]]]]]]]]]]]]]]]\r\n", tooDeep.errors);
    // The 512 levels that fit are kept.
    EXPECT_EQ(tooDeep.tree, std::string(512, '[') + std::string(512, ']'));

    std::u16string maps;
    for (int i = 0; i < 600; ++i) maps += u"{a:";
    Read deepMaps = readAll(maps);
    EXPECT_NE(deepMaps.errors.find(u"Nesting too deep at position 1537 : {a:{a:"),
              std::u16string::npos);

    std::u16string million(1'000'000, u'[');
    Read opened = readAll(million);
    EXPECT_TEXT(u"Nesting too deep at position 513 : [[[[[[[[[[[[[[[[[[[[\r\n", opened.errors);
}

TEST(JsonReader, ReportsABadWordOnceWhateverSurroundsIt) {
    // Each bad word quotes the rest of the text; read again by every
    // container around it, a large text would take quadratic time and memory.
    std::u16string words;
    for (int i = 0; i < 100'000; ++i) words += u"t,";
    Read lists = readAll(u"[[[" + words);
    EXPECT_EQ(lists.tree, "[[[]]]");
    EXPECT_TEXT(u"Invalid Boolean at position 4 : " + words + u"\r\n", lists.errors);

    // A map reads on after each bad word, and every second word is another
    // bad value: the first line quotes the rest in full, the later ones are
    // cut once the quotes reach the text's length.
    std::u16string members = u"{";
    for (int i = 0; i < 100'000; ++i) {
        std::string key = "k" + std::to_string(i);
        members += std::u16string(key.begin(), key.end()) + u":t,";
    }
    Read maps = readAll(u"[[" + members);
    EXPECT_TRUE(maps.tree.starts_with("[[{\"k0\":false,\"t,k1\":false,\"t,k2\":false"));
    EXPECT_TRUE(maps.errors.starts_with(u"Invalid Boolean at position 7 : t,k1:t,"));
    EXPECT_NE(maps.errors.find(u"Invalid Boolean at position 12 : t,k2:t,k3:t,k4:t,k5:...\r\n"),
              std::u16string::npos);
    EXPECT_LT(maps.errors.size(), 10 * members.size());  // about 60 per line
}

TEST(JsonReader, NeverReadsOutOfBounds) {
    // Every prefix of texts that exercise each routine: cut anywhere, the
    // reader must still end (run under the sanitizers by the fuzzer too).
    const std::u16string texts[] = {
        u"{\"a\\u00\": [tr, fals, nul, 'x\\",
        u"/* c * / ( { 'k': \"v\\u12",
        u"[1e, -, +.e, {a:[{b:",
        u"{\"x\"   ",
    };
    for (const auto& text : texts) {
        for (std::size_t n = 0; n <= text.size(); ++n) {
            SCOPED_TRACE(printable(text.substr(0, n)));
            JsonReader reader;
            Pos position(1);
            reader.ReadJSONText(text.substr(0, n), position);
            EXPECT_LE(position.value(), static_cast<std::int64_t>(n) + 5);
        }
    }
}

}  // namespace
}  // namespace mv::test
