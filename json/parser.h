// The lenient JSON reader: JSON text becomes a tree of Values. Besides strict
// JSON it takes texts in apostrophes, member names without quotes, comments
// and parentheses as blanks. It never stops at the first problem: each one
// adds a line to ParserErrors() and the reader returns what it has built.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/text.h"
#include "json/value.h"

namespace mv::json {

class JsonReader {
public:
    // Containers nested deeper than this are not read: the reader records
    // "Nesting too deep at position N : ..." and ends every open container.
    static constexpr int kMaxDepth = 512;
    // A bad true/false/null word's line quotes the rest of the text. Inside a
    // map the reader goes on after such a word, so those quotes together may
    // take this many characters, or the text's length if that is more; past
    // that a line quotes the next 20 characters and "...".
    static constexpr std::int64_t kMinRestBudget = 65536;

    // Reads a map or a list starting at `position` (1-based; the evaluator
    // passes 1) and leaves `position` after it. Nothing is returned when no
    // significant character comes before the last one ("Invalid JSON"). Never
    // throws; the result is valid only when ParserErrors() is empty.
    std::optional<Value> ReadJSONText(std::u16string_view text, engine::Pos& position);

    // The problems met by the last ReadJSONText, one line each ending in CR LF,
    // or "Invalid JSON" alone; empty when there were none.
    const std::u16string& ParserErrors() const { return m_errors; }

private:
    Value ReadValue(std::u16string_view text, engine::Pos& position);
    Map ReadObject(std::u16string_view text, engine::Pos& position);
    List ReadArray(std::u16string_view text, engine::Pos& position);
    std::u16string ReadKey(std::u16string_view text, engine::Pos& position);
    std::u16string ReadString(std::u16string_view text, engine::Pos& position);
    Value ReadNumber(std::u16string_view text, engine::Pos& position);
    Value ReadBoolean(std::u16string_view text, engine::Pos& position);
    Value ReadNull(std::u16string_view text, engine::Pos& position);
    void SkipBlanks(std::u16string_view text, engine::Pos& position);

    // Adds one line to the error text, CR LF included.
    void addErrorLine(std::u16string_view line);
    // Counts an open container; false (with its error line) past kMaxDepth.
    bool enterContainer(std::u16string_view text, engine::Pos position);
    // The rest of the text from `position`, within what is left of the budget.
    std::u16string quotedRest(std::u16string_view text, engine::Pos position);

    std::u16string m_errors;
    int m_depth = 0;
    bool m_tooDeep = false;  // set once the bound is hit: every container ends
    // Where the last bad true/false/null word stands: the reader leaves the
    // position on it, and no list may read it again.
    engine::Pos m_badWordAt;
    std::int64_t m_restBudget = 0;
};

}  // namespace mv::json
