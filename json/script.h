/* The JSON reader and the script evaluator (no Qt, standard library only).

   decimal        Decimal, the exact number type of the 96-bit decimal range.
   value          Value: ordered Map, List, text, number, boolean, null, empty.
   parser         JsonReader::ReadJSONText, the lenient reader, and the error
                  lines it collects in ParserErrors().
   script         cJSONScript::Eval runs a script written as a JSON list and
                  returns its output text; Variables live across calls.
   script_dialogs ScriptDialogs, through which "alert", "input" and the parser
                  error box reach the user.
   letter_case    lowerCase, upperCase: Unicode simple case mapping from the
                  table that tools/gen_case_table.py generates.
   utf8_text      Scripts in and out as UTF-8.

   The reader never throws: its problems are error lines. The evaluator throws
   report::Failure for a script it cannot run, and the caller of Eval shows
   it. */
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "json/parser.h"
#include "json/script_dialogs.h"
#include "json/value.h"

namespace mv::json {

// Named texts in the order they were first set; names compared exactly.
class TextMap {
public:
    void set(const std::u16string& name, std::u16string text);
    const std::u16string* find(const std::u16string& name) const;
    std::size_t size() const { return m_entries.size(); }
    const std::vector<std::pair<std::u16string, std::u16string>>& entries() const {
        return m_entries;
    }

private:
    std::vector<std::pair<std::u16string, std::u16string>> m_entries;
    std::unordered_map<std::u16string, std::size_t> m_index;
};

class cJSONScript {
public:
    // ExecCommand calls deeper than this yield kNestingError instead.
    static constexpr std::int32_t kMaxNestLevel = 40;
    static constexpr std::u16string_view kNestingError = u"ERROR: Nesting level exceeded.";
    // A text the evaluator builds may not grow beyond what a 16-bit text can
    // hold (an Overflow failure). Memory may run out before that: then the
    // evaluation ends with the out-of-memory failure (std::bad_alloc).
    static constexpr std::size_t kMaxTextLength = 2'147'483'647;

    explicit cJSONScript(ScriptDialogs& dialogs) : m_dialogs(dialogs) {}

    // Reads the script and returns its output. A script the reader does not
    // accept goes to ScriptDialogs::parserError and gives an empty text.
    // Throws report::Failure for a script that cannot be run (a number or a
    // boolean at top level, a command with a value of the wrong kind, ...);
    // NestLevel is back to its earlier value then, and Variables keep what
    // was set before the failure.
    std::u16string Eval(const std::u16string& script);

    // The output of one value: texts as they are, null, true and false as
    // words, numbers as decimal text, lists joined, maps as commands.
    std::u16string ExecCommand(const Value& value);

    const TextMap& Variables() const { return m_variables; }
    std::int32_t NestLevel() const { return m_nestLevel; }

private:
    std::u16string execMap(const Map& map);
    std::u16string execMember(const std::u16string& name, const Value& value);
    // The "switch" command: the "return" of the item whose "case" is chosen.
    std::u16string execSwitch(const std::u16string& name, const Map* arguments);
    // ExecCommand of a field of the argument map; empty when it is missing.
    std::u16string field(const Map* arguments, const std::u16string& name);

    ScriptDialogs& m_dialogs;
    TextMap m_variables;
    std::int32_t m_nestLevel = 0;
};

}  // namespace mv::json
