// The script evaluator: every command, the comparisons, variables across
// calls, the nesting limit, and the failures that end an evaluation.
#include "json/script.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

using json::cJSONScript;

// Records every box as one line and answers input boxes from a queue.
class RecordingDialogs : public json::ScriptDialogs {
public:
    std::vector<std::string> log;
    std::deque<std::u16string> answers;  // none left: cancelled
    const cJSONScript* script = nullptr;
    std::int32_t nestLevelAtInput = -1;

    void alert(const std::u16string& title, const std::u16string& message) override {
        log.push_back("alert " + printable(title) + "|" + printable(message));
    }
    std::u16string input(const std::u16string& prompt, const std::u16string& title,
                         const std::u16string& preset) override {
        log.push_back("input " + printable(prompt) + "|" + printable(title) + "|" +
                      printable(preset));
        if (script != nullptr) nestLevelAtInput = script->NestLevel();
        if (answers.empty()) return {};
        std::u16string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void parserError(const std::u16string& errors) override {
        log.push_back("parser error " + printable(errors));
    }
};

std::u16string nestedLists(int depth, std::u16string_view inner) {
    return std::u16string(static_cast<std::size_t>(depth), u'[') + std::u16string(inner) +
           std::u16string(static_cast<std::size_t>(depth), u']');
}

struct Row {
    const char* name;
    std::u16string script;
    std::u16string output;
    std::vector<std::string> boxes = {};
    std::vector<std::u16string> answers = {};
};

void check(const Row& row) {
    SCOPED_TRACE(row.name);
    RecordingDialogs dialogs;
    dialogs.answers.assign(row.answers.begin(), row.answers.end());
    cJSONScript script(dialogs);
    EXPECT_TEXT(row.output, script.Eval(row.script));
    EXPECT_EQ(dialogs.log, row.boxes);
    EXPECT_EQ(script.NestLevel(), 0);
}

TEST(cJSONScript, CopiesTextsAndEvaluatesValues) {
    const Row rows[] = {
        {"two texts, no separator", u"[\"Hello, \", \"world\"]", u"Hello, world"},
        {"null at top level", u"[null, \"!\"]", u"null!"},
        {"null and true inside a list", u"[[null, true]]", u"nulltrue"},
        {"false, numbers with a period", u"[[false, 1.50, -2, 1e3]]", u"false1.5-21000"},
        {"empty list", u"[]", u""},
        {"members of a map joined in order", u"[{\"return\": \"a\", \"tag\": \"b\"}]",
         u"a<%TAG(b)%>"},
        {"return", u"[{\"return\": \"plain\"}]", u"plain"},
        {"escapes reach the output", u"[\"a\\tb\\u00e9\"]", u"a\tb\u00e9"},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, TurnsOtherNamesIntoPlaceholderTags) {
    const Row rows[] = {
        {"map of parameters in member order", u"[{\"Price\": {\"amount\": 1, \"cur\": \"EUR\"}}]",
         u"<%PRICE(1,EUR)%>"},
        {"empty map", u"[{\"Total\": {}}]", u"<%TOTAL()%>"},
        {"text parameter", u"[{\"greeting\": \"Bob\"}]", u"<%GREETING(Bob)%>"},
        {"list gives no parameters", u"[{\"x\": [1, 2]}]", u"<%X()%>"},
        {"booleans are capitalised words", u"[{\"flag\": {\"a\": true, \"b\": false}}]",
         u"<%FLAG(True,False)%>"},
        {"numbers as decimal text", u"[{\"n\": {\"a\": 2.50, \"b\": -0}}]", u"<%N(2.5,0)%>"},
        {"parameters are not evaluated", u"[{\"p\": {\"a\": \"{get}\"}}]", u"<%P({get})%>"},
        {"upper case beyond ASCII", u"[{\"größe\": \"x\"}]", u"<%GRÖßE(x)%>"},
        {"final sigma", u"[{\"ς\": \"x\"}]", u"<%Σ(x)%>"},
        {"Greek with tonos, Armenian, Vietnamese", u"[{\"άώ_աֆ_ệ\": \"x\"}]", u"<%ΆΏ_ԱՖ_Ệ(x)%>"},
        {"fullwidth, Latin Extended-B, Georgian", u"[{\"ａｚ_ǆƀ_ა\": \"x\"}]",
         u"<%ＡＺ_ǄɃ_Ა(x)%>"},
        {"beyond the basic plane", u"[{\"\U00010428\U0001E922\": \"x\"}]",
         u"<%\U00010400\U0001E900(x)%>"},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, ShowsAlertsAndAsksForInput) {
    const Row rows[] = {
        {"alert shows message and title, outputs nothing",
         u"[{\"alert\": {\"message\": \"M\", \"title\": \"T\"}}, \"after\"]",
         u"after",
         {"alert T|M"}},
        {"alert fields are evaluated",
         u"[{\"alert\": {\"message\": {\"greeting\": \"x\"}, \"title\": [1, 2]}}]",
         u"",
         {"alert 12|<%GREETING(x)%>"}},
        {"alert with a text value has empty fields", u"[{\"ALERT\": \"hi\"}]", u"", {"alert |"}},
        {"input outputs the answer",
         u"[\"Hi \", {\"input\": {\"prompt\": \"Name?\", \"title\": \"T\", \"default\": \"Bob\"}}]",
         u"Hi Ann",
         {"input Name?|T|Bob"},
         {u"Ann"}},
        {"cancelled input is empty",
         u"[\"<\", {\"Input\": {\"prompt\": \"P\"}}, \">\"]",
         u"<>",
         {"input P||"}},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, KeepsVariables) {
    const Row rows[] = {
        {"set then get",
         u"[{\"set\": {\"name\": \"who\", \"value\": \"Ann\"}}, {\"get\": {\"name\": \"who\"}}]",
         u"Ann"},
        {"set outputs nothing and replaces",
         u"[{\"set\": {\"name\": \"v\", \"value\": \"1\"}}, {\"SET\": {\"name\": \"v\", \"value\": "
         u"\"2\"}}, {\"Get\": {\"name\": \"v\"}}]",
         u"2"},
        {"the value is evaluated",
         u"[{\"set\": {\"name\": \"t\", \"value\": {\"price\": {\"a\": 1}}}}, {\"get\": {\"name\": "
         u"\"t\"}}]",
         u"<%PRICE(1)%>"},
        {"a name never set gives the evaluated default",
         u"[{\"get\": {\"name\": \"nobody\", \"default\": {\"greeting\": \"Bob\"}}}]",
         u"<%GREETING(Bob)%>"},
        {"an empty stored text gives the default",
         u"[{\"set\": {\"name\": \"e\", \"value\": \"\"}}, {\"get\": {\"name\": \"e\", "
         u"\"default\": "
         u"\"d\"}}]",
         u"d"},
        {"names are case-sensitive",
         u"[{\"set\": {\"name\": \"a\", \"value\": \"x\"}}, {\"get\": {\"name\": \"A\", "
         u"\"default\": "
         u"\"none\"}}]",
         u"none"},
        {"a number as name is its text",
         u"[{\"set\": {\"name\": 7, \"value\": \"seven\"}}, {\"get\": {\"name\": \"7\"}}]",
         u"seven"},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, VariablesLastAcrossEvalCalls) {
    RecordingDialogs dialogs;
    cJSONScript script(dialogs);
    EXPECT_TEXT(u"", script.Eval(u"[{\"set\": {\"name\": \"who\", \"value\": \"Ann\"}}]"));
    EXPECT_TEXT(u"Hi Ann", script.Eval(u"[\"Hi \", {\"get\": {\"name\": \"who\"}}]"));
    ASSERT_NE(script.Variables().find(u"who"), nullptr);
    EXPECT_TEXT(u"Ann", *script.Variables().find(u"who"));
    // Another evaluator has its own.
    cJSONScript other(dialogs);
    EXPECT_TEXT(u"-", other.Eval(u"[{\"get\": {\"name\": \"who\", \"default\": \"-\"}}]"));
}

std::u16string ifScript(std::u16string_view type, std::u16string_view value1,
                        std::u16string_view value2) {
    return u"[{\"if\": {\"value1\": " + std::u16string(value1) + u", \"value2\": " +
           std::u16string(value2) + u", \"type\": \"" + std::u16string(type) +
           u"\", \"true\": \"yes\", \"false\": \"no\"}}]";
}

TEST(cJSONScript, ComparesTextsByEachType) {
    struct Case {
        const char* name;
        std::u16string type, value1, value2, output;
    } cases[] = {
        {"eq ignores letter case", u"eq", u"\"ABC\"", u"\"abc\"", u"yes"},
        {"eq differs", u"eq", u"\"abc\"", u"\"abd\"", u"no"},
        {"type in any case", u"EQ", u"\"x\"", u"\"X\"", u"yes"},
        {"lt: 10 sorts before 9", u"lt", u"\"10\"", u"\"9\"", u"yes"},
        {"numbers compare as texts", u"gt", u"10", u"9", u"no"},
        {"lt counts letter case", u"lt", u"\"a\"", u"\"B\"", u"no"},
        {"gt by code", u"gt", u"\"a\"", u"\"B\"", u"yes"},
        {"a proper prefix sorts first", u"gt", u"\"ab\"", u"\"a\"", u"yes"},
        {"gt is strict", u"gt", u"\"a\"", u"\"a\"", u"no"},
        {"gte equal", u"gte", u"\"a\"", u"\"a\"", u"yes"},
        {"gte after", u"gte", u"\"b\"", u"\"a\"", u"yes"},
        {"gte before", u"gte", u"\"a\"", u"\"b\"", u"no"},
        {"lte equal", u"lte", u"\"a\"", u"\"a\"", u"yes"},
        {"lte after", u"lte", u"\"b\"", u"\"a\"", u"no"},
        {"lte case counts", u"lte", u"\"A\"", u"\"a\"", u"yes"},
        {"values are evaluated", u"eq", u"{\"t\": \"1\"}", u"\"<%T(1)%>\"", u"yes"},
        {"unknown type never holds", u"ne", u"\"a\"", u"\"b\"", u"no"},
        {"empty type never holds", u"", u"\"a\"", u"\"a\"", u"no"},
        {"eq beyond ASCII", u"eq", u"\"ÄΩЖ\"", u"\"äωж\"", u"yes"},
        {"eq: fullwidth, tonos, Armenian, Cherokee", u"eq", u"\"ＡΆԱᏸ\"", u"\"ａάաᏰ\"",
         u"yes"},
        {"eq: dotted capital I is i", u"eq", u"\"İ\"", u"\"i\"", u"yes"},
        {"eq: final sigma is not sigma", u"eq", u"\"ς\"", u"\"Σ\"", u"no"},
        {"eq beyond the basic plane", u"eq", u"\"\U00010400\"", u"\"\U00010428\"", u"yes"},
        {"characters above the surrogates sort after them", u"gt", u"\"\\uFF01\"", u"\"\\uD800\"",
         u"yes"},
    };
    for (const auto& c : cases) check({c.name, ifScript(c.type, c.value1, c.value2), c.output});

    const Row rows[] = {
        {"a missing branch is empty",
         u"[{\"if\": {\"value1\": \"a\", \"value2\": \"a\", \"type\": \"eq\"}}]", u""},
        {"only the chosen branch is evaluated",
         u"[{\"if\": {\"value1\": \"a\", \"value2\": \"b\", \"type\": \"eq\", \"true\": "
         u"{\"input\": "
         u"{\"prompt\": \"T\"}}, \"false\": {\"input\": {\"prompt\": \"F\"}}}}]",
         u"f",
         {"input F||"},
         {u"f"}},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, ChoosesAmongCases) {
    const std::u16string items =
        u"\"items\": [{\"case\": \"a\", \"return\": \"A!\"}, {\"case\": \"B\", \"return\": "
        u"{\"input\": {\"prompt\": \"b\"}}}, {\"case\": \"b\", \"return\": \"second\"}]";
    const Row rows[] = {
        {"the first matching case wins; case letters do not count",
         u"[{\"switch\": {\"case\": \"b\", \"default\": \"none\", " + items + u"}}]",
         u"got",
         {"input b||"},
         {u"got"}},
        {"no match gives the default",
         u"[{\"switch\": {\"case\": \"z\", \"default\": \"none\", " + items + u"}}]", u"none"},
        {"the case is evaluated",
         u"[{\"set\": {\"name\": \"k\", \"value\": \"A\"}}, {\"switch\": {\"case\": {\"get\": "
         u"{\"name\": \"k\"}}, " +
             items + u"}}]",
         u"A!"},
        {"the default is evaluated first, even when a case matches",
         u"[{\"switch\": {\"case\": \"a\", \"default\": {\"input\": {\"prompt\": \"d\"}}, " +
             items + u"}}]",
         u"A!",
         {"input d||"}},
        {"a number case",
         u"[{\"switch\": {\"case\": 2, \"items\": [{\"case\": 2, \"return\": \"two\"}]}}]", u"two"},
        {"no items", u"[{\"switch\": {\"case\": \"a\", \"default\": \"d\", \"items\": []}}]", u"d"},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, ShowsParserErrorsAndReturnsNothing) {
    const Row rows[] = {
        {"unterminated list",
         u"[\"a\", \"b\"",
         u"",
         {"parser error Missing ']': [\"a\", \"b\"\\r\\n"}},
        {"no text", u"", u"", {"parser error Invalid JSON"}},
        {"duplicate names",
         u"[{\"set\": {\"name\": \"a\", \"name\": \"b\"}}]",
         u"",
         {"parser error Invalid procedure call or argument: duplicate member name: name\\r\\n"
          "Invalid procedure call or argument: \"\" is not a number: }]\\r\\n"}},
    };
    for (const auto& row : rows) check(row);
}

TEST(cJSONScript, NestsUpTo41ExecCommandCalls) {
    const Row rows[] = {
        {"41 lists evaluate fully", u"[" + nestedLists(41, u"") + u", \"end\"]", u"end"},
        {"a text inside 40 lists", u"[" + nestedLists(40, u"\"x\"") + u"]", u"x"},
        {"a text inside 41 lists is the 42nd call", u"[" + nestedLists(41, u"\"x\"") + u"]",
         u"ERROR: Nesting level exceeded."},
        {"a list at the 42nd level; the rest goes on",
         u"[" + nestedLists(41, u"\"a\", [\"b\"]") + u", \"after\"]",
         u"ERROR: Nesting level exceeded.ERROR: Nesting level exceeded.after"},
        {"commands count too",
         u"[" + nestedLists(40, u"{\"t\": {}}") + u", " + nestedLists(41, u"{\"t\": {}}") + u"]",
         u"<%T()%>ERROR: Nesting level exceeded."},
    };
    for (const auto& row : rows) check(row);

    RecordingDialogs dialogs;
    cJSONScript script(dialogs);
    dialogs.script = &script;
    script.Eval(u"[" + nestedLists(40, u"{\"input\": {}}") + u"]");
    EXPECT_EQ(dialogs.nestLevelAtInput, 41);
}

TEST(cJSONScript, FailuresEndTheEvaluation) {
    struct Case {
        const char* name;
        std::u16string script;
        std::string message;
    } cases[] = {
        {"number at top level", u"[\"a\", 1]", "a script element is a number"},
        {"boolean at top level", u"[null, true]", "a script element is a boolean"},
        {"map at top level", u"{\"a\": \"b\"}", "the script is a map, not a list"},
        {"number as member value", u"[{\"x\": 1}]", "the value of \"x\" is a number"},
        {"null as member value", u"[{\"x\": null}]", "the value of \"x\" is null"},
        {"boolean as member value", u"[{\"return\": true}]",
         "the value of \"return\" is a boolean"},
        {"alert with a list", u"[{\"alert\": []}]", "\"alert\" takes a map of fields, not a list"},
        {"input with a list", u"[{\"Input\": []}]", "\"Input\" takes a map of fields"},
        {"set with a list", u"[{\"set\": []}]", "\"set\" takes a map of fields"},
        {"get with a list", u"[{\"get\": []}]", "\"get\" takes a map of fields"},
        {"if with a list", u"[{\"if\": []}]", "\"if\" takes a map of fields"},
        {"switch with a list", u"[{\"switch\": []}]", "\"switch\" takes a map of fields"},
        {"items not a list", u"[{\"switch\": {\"items\": \"x\"}}]", "needs \"items\""},
        {"items missing", u"[{\"switch\": {\"case\": \"a\"}}]", "needs \"items\""},
        {"an item not a map", u"[{\"switch\": {\"items\": [{\"case\": \"a\"}, 1]}}]",
         "an item of \"switch\" is a number"},
        {"null parameter", u"[{\"p\": {\"a\": null}}]", "a parameter of \"p\" is null"},
        {"map parameter", u"[{\"p\": {\"a\": {}}}]", "a parameter of \"p\" is a map"},
        {"list parameter", u"[{\"p\": {\"a\": []}}]", "a parameter of \"p\" is a list"},
        {"return with a map", u"[{\"return\": {}}]", "\"return\" takes a text, not a map"},
        {"return with a list", u"[{\"return\": []}]", "\"return\" takes a text, not a list"},
        {"a map as variable name", u"[{\"set\": {\"name\": {}}}]",
         "a parameter of \"set\" is a map"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDialogs dialogs;
        cJSONScript script(dialogs);
        try {
            script.Eval(c.script);
            ADD_FAILURE() << "no failure";
        } catch (const report::Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos)
                << failure.what();
        }
        EXPECT_TRUE(dialogs.log.empty());
    }
}

// broke: a failure deep inside a script left NestLevel raised, so every later
// script on the same evaluator met the nesting limit sooner.
TEST(cJSONScript, NestLevelReturnsAfterAFailure) {
    RecordingDialogs dialogs;
    cJSONScript script(dialogs);
    const std::u16string failing = u"[{\"set\": {\"name\": \"kept\", \"value\": \"yes\"}}, " +
                                   nestedLists(30, u"{\"x\": null}") + u"]";
    for (int i = 0; i < 3; ++i) {
        EXPECT_THROW(script.Eval(failing), report::Failure);
        EXPECT_EQ(script.NestLevel(), 0);
    }
    EXPECT_TEXT(u"x", script.Eval(u"[" + nestedLists(40, u"\"x\"") + u"]"));
    EXPECT_TEXT(u"yes", script.Eval(u"[{\"get\": {\"name\": \"kept\"}}]"));
    // ExecCommand called directly restores it the same way.
    json::Map bad;
    bad.add(u"return", json::Value(json::List{}));
    EXPECT_THROW(script.ExecCommand(json::Value(json::List{json::Value(std::move(bad))})),
                 report::Failure);
    EXPECT_EQ(script.NestLevel(), 0);
}

// broke: texts were bounded at 16,777,216 characters, so a valid script with
// a longer result failed with an overflow.
TEST(cJSONScript, BoundsTheTextsItBuilds) {
    // Each step doubles the variable, to 2^24 characters; then one more.
    std::u16string doubling = u"[{\"set\": {\"name\": \"a\", \"value\": \"xx\"}}";
    for (int i = 0; i < 23; ++i) {
        doubling +=
            u", {\"set\": {\"name\": \"a\", \"value\": [{\"get\": {\"name\": \"a\"}}, "
            u"{\"get\": {\"name\": \"a\"}}]}}";
    }
    RecordingDialogs dialogs;
    cJSONScript script(dialogs);
    EXPECT_EQ(script.Eval(doubling + u", {\"get\": {\"name\": \"a\"}}, \"!\"]").size(),
              (std::size_t{1} << 24) + 1);
    EXPECT_EQ(script.Variables().find(u"a")->size(), std::size_t{1} << 24);
    EXPECT_EQ(script.NestLevel(), 0);
    static_assert(cJSONScript::kMaxTextLength == 2'147'483'647);
}

}  // namespace
}  // namespace mv::test
