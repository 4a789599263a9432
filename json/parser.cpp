#include "json/parser.h"

#include <algorithm>
#include <exception>
#include <string>

#include "engine/native_text.h"
#include "engine/string_builder.h"
#include "report/failure.h"
#include "report/step_runner.h"

namespace mv::json {

using engine::cStringBuilder;
using engine::Pos;

namespace {

bool within(std::u16string_view text, Pos position) {
    return position.value() >= 1 && position.value() <= engine::length(text);
}

bool beyondEnd(std::u16string_view text, Pos position) {
    return position.value() > engine::length(text);
}

// The character at a position that is within the text.
char16_t at(std::u16string_view text, Pos position) {
    return text[position.index()];
}

bool isAt(std::u16string_view text, Pos position, char16_t c) {
    return within(text, position) && at(text, position) == c;
}

std::u16string_view nextChars(std::u16string_view text, Pos position, std::int64_t count) {
    return engine::charsFromTo(text, position, position + (count - 1));
}

std::u16string_view restOf(std::u16string_view text, Pos position) {
    return engine::charsFromTo(text, position, Pos(engine::length(text)));
}

std::u16string_view lastChars(std::u16string_view text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

std::u16string decimalText(Pos position) {
    std::string digits = std::to_string(position.value());
    return std::u16string(digits.begin(), digits.end());
}

bool isHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int hexValue(char16_t c) {
    if (c <= u'9') return c - u'0';
    return (c | 0x20) - u'a' + 10;
}

// A failure while reading a member or an element becomes the last error line
// of its container, and reading goes on outside.
template <class Read>
std::optional<std::u16string> failureOf(Read&& read) {
    auto failure = report::failureOf(std::forward<Read>(read));
    if (!failure) return std::nullopt;
    return engine::fromNative(*failure);
}

constexpr std::u16string_view kCrLf = u"\r\n";

}  // namespace

void JsonReader::addErrorLine(std::u16string_view line) {
    m_errors.append(line).append(kCrLf);
}

std::u16string JsonReader::quotedRest(std::u16string_view text, Pos position) {
    std::u16string_view rest = restOf(text, position);
    if (engine::length(rest) <= m_restBudget) {
        m_restBudget -= engine::length(rest);
        return std::u16string(rest);
    }
    return std::u16string(nextChars(text, position, 20)) + u"...";
}

bool JsonReader::enterContainer(std::u16string_view text, Pos position) {
    if (m_depth < kMaxDepth) {
        ++m_depth;
        return true;
    }
    m_tooDeep = true;
    addErrorLine(u"Nesting too deep at position " + decimalText(position) + u" : " +
                 std::u16string(nextChars(text, position, 20)));
    return false;
}

std::optional<Value> JsonReader::ReadJSONText(std::u16string_view text, Pos& position) {
    m_errors.clear();
    m_depth = 0;
    m_tooDeep = false;
    m_badWordAt = Pos();
    m_restBudget = std::max<std::int64_t>(engine::length(text), kMinRestBudget);
    if (position.value() < 1) position = Pos(1);

    std::optional<Value> result;
    auto failure = failureOf([&] {
        SkipBlanks(text, position);
        if (position.value() >= engine::length(text)) {
            m_errors = u"Invalid JSON";
            return;
        }
        if (at(text, position) == u'[') {
            result = Value(ReadArray(text, position));
        } else {
            result = Value(ReadObject(text, position));
        }
    });
    if (failure) addErrorLine(*failure);
    return result;
}

void JsonReader::SkipBlanks(std::u16string_view text, Pos& position) {
    bool comment = false;
    bool startOfComment = false;
    bool longComment = false;
    for (; within(text, position); position = position + 1) {
        switch (at(text, position)) {
            case u'\r':
            case u'\n':
                if (!longComment) comment = startOfComment = false;
                break;
            case u'\t':
            case u' ':
            case u'(':
            case u')':
                break;
            case u'/':
                if (!longComment) {
                    if (startOfComment) {
                        startOfComment = false;
                        comment = true;
                    } else {
                        startOfComment = true;
                        comment = longComment = false;
                    }
                } else if (startOfComment) {
                    comment = startOfComment = longComment = false;
                }
                break;
            case u'*':
                if (startOfComment) {
                    startOfComment = false;
                    comment = longComment = true;
                } else {
                    startOfComment = true;
                }
                break;
            default:
                if (!comment) return;
        }
    }
}

Value JsonReader::ReadValue(std::u16string_view text, Pos& position) {
    SkipBlanks(text, position);
    switch (within(text, position) ? at(text, position) : u'\0') {
        case u'{':
            return ReadObject(text, position);
        case u'[':
            return ReadArray(text, position);
        case u'"':
        case u'\'':
            return ReadString(text, position);
        case u't':
        case u'f':
            return ReadBoolean(text, position);
        case u'n':
            return ReadNull(text, position);
        default:
            return ReadNumber(text, position);
    }
}

Map JsonReader::ReadObject(std::u16string_view text, Pos& position) {
    Map map;
    SkipBlanks(text, position);
    if (!enterContainer(text, position)) return map;
    position = position + 1;  // over "{", or whatever stands in its place
    // A bad true/false/null word leaves the position on itself; the map reads
    // on from there, so the word begins the next member's name.
    while (!m_tooDeep) {
        SkipBlanks(text, position);
        if (isAt(text, position, u'}')) {
            position = position + 1;
            break;
        }
        if (isAt(text, position, u',')) {
            position = position + 1;
            SkipBlanks(text, position);
        } else if (isAt(text, position, u'[')) {
            break;
        } else if (beyondEnd(text, position)) {
            addErrorLine(u"Missing '}': " + std::u16string(lastChars(text, 20)));
            break;
        }
        std::u16string key;
        auto failure = failureOf([&] {
            key = ReadKey(text, position);
            Value value = ReadValue(text, position);
            map.add(key, std::move(value));
        });
        if (failure) {
            addErrorLine(*failure + u": " + key);
            break;
        }
    }
    --m_depth;
    return map;
}

List JsonReader::ReadArray(std::u16string_view text, Pos& position) {
    List list;
    SkipBlanks(text, position);
    if (!isAt(text, position, u'[')) {
        addErrorLine(u"Invalid Array at position " + decimalText(position) + u" : " +
                     std::u16string(nextChars(text, position, 20)));
        return list;
    }
    if (!enterContainer(text, position)) return list;
    position = position + 1;
    while (!m_tooDeep) {
        SkipBlanks(text, position);
        if (position == m_badWordAt) break;
        if (isAt(text, position, u']')) {
            position = position + 1;
            break;
        }
        if (isAt(text, position, u',')) {
            position = position + 1;
            SkipBlanks(text, position);
        } else if (beyondEnd(text, position)) {
            addErrorLine(u"Missing ']': " + std::u16string(lastChars(text, 20)));
            break;
        }
        const Pos before = position;
        Value element;
        auto failure = failureOf([&] { element = ReadValue(text, position); });
        if (failure) {
            addErrorLine(*failure + u": " + std::u16string(nextChars(text, position, 20)));
            break;
        }
        // A bad true/false/null word leaves the position on itself, with its
        // line recorded; reading it again would never end.
        if (position == before && within(text, position)) break;
        list.push_back(std::move(element));
    }
    --m_depth;
    return list;
}

std::u16string JsonReader::ReadKey(std::u16string_view text, Pos& position) {
    std::u16string name;
    bool inQuotes = false;
    bool inApostrophes = false;
    SkipBlanks(text, position);
    while (within(text, position)) {
        const char16_t c = at(text, position);
        if (c == u'"' || c == u'\'') {
            bool& flag = c == u'"' ? inQuotes : inApostrophes;
            flag = !flag;
            position = position + 1;
            if (!flag) {  // a closing quote: the colon must follow
                SkipBlanks(text, position);
                if (!isAt(text, position, u':')) {
                    addErrorLine(u"Invalid Key at position " + decimalText(position) + u" : " +
                                 name);
                    return name;
                }
            }
        } else if (c == u':') {
            position = position + 1;
            if (!inQuotes && !inApostrophes) return name;
            name += c;
        } else if (c == u'\r' || c == u'\n' || c == u'\t' || c == u' ') {
            position = position + 1;
        } else {
            name += c;
            position = position + 1;
        }
    }
    return name;
}

std::u16string JsonReader::ReadString(std::u16string_view text, Pos& position) {
    cStringBuilder out;
    SkipBlanks(text, position);
    if (!within(text, position)) return out.toString();
    const char16_t quote = at(text, position);
    position = position + 1;
    while (within(text, position)) {
        const char16_t c = at(text, position);
        if (c == quote) {
            position = position + 1;
            break;
        }
        if (c != u'\\') {
            out.Append(c);
            position = position + 1;
            continue;
        }
        position = position + 1;
        if (!within(text, position)) break;
        const char16_t escaped = at(text, position);
        switch (escaped) {
            case u'"':
            case u'\\':
            case u'/':
            case u'\'':
                out.Append(escaped);
                break;
            case u'b':
                out.Append(u'\b');
                break;
            case u'f':
                out.Append(u'\f');
                break;
            case u'n':
                out.Append(u'\n');
                break;
            case u'r':
                out.Append(u'\r');
                break;
            case u't':
                out.Append(u'\t');
                break;
            case u'u': {
                position = position + 1;
                unsigned code = 0;
                for (char16_t digit : nextChars(text, position, 4)) {
                    if (!isHexDigit(digit)) break;
                    code = code * 16 + static_cast<unsigned>(hexValue(digit));
                }
                out.Append(static_cast<char16_t>(code));
                position = position + 3;  // the fourth is passed below
                break;
            }
            default:
                continue;  // the backslash is dropped; the character is read as it is
        }
        position = position + 1;
    }
    return out.toString();
}

Value JsonReader::ReadNumber(std::u16string_view text, Pos& position) {
    SkipBlanks(text, position);
    std::u16string collected;
    while (within(text, position) &&
           std::u16string_view(u"+-0123456789.eE").find(at(text, position)) !=
               std::u16string_view::npos) {
        collected += at(text, position);
        position = position + 1;
    }
    if (!within(text, position)) return Value();
    return Decimal::parse(collected);
}

Value JsonReader::ReadBoolean(std::u16string_view text, Pos& position) {
    SkipBlanks(text, position);
    if (nextChars(text, position, 4) == u"true") {
        position = position + 4;
        return true;
    }
    if (nextChars(text, position, 5) == u"false") {
        position = position + 5;
        return false;
    }
    m_badWordAt = position;
    addErrorLine(u"Invalid Boolean at position " + decimalText(position) + u" : " +
                 quotedRest(text, position));
    return false;
}

Value JsonReader::ReadNull(std::u16string_view text, Pos& position) {
    SkipBlanks(text, position);
    if (nextChars(text, position, 4) == u"null") {
        position = position + 4;
        return Null{};
    }
    m_badWordAt = position;
    addErrorLine(u"Invalid null value at position " + decimalText(position) + u" : " +
                 quotedRest(text, position));
    return Value();
}

}  // namespace mv::json
