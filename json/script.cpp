#include "json/script.h"

#include <optional>

#include "json/letter_case.h"
#include "json/utf8_text.h"
#include "report/failure.h"

namespace mv::json {

using report::Failure;
using report::FailureKind;

namespace {

std::string kindName(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Empty:
            return "empty";
        case Value::Kind::Null:
            return "null";
        case Value::Kind::Boolean:
            return "a boolean";
        case Value::Kind::Number:
            return "a number";
        case Value::Kind::Text:
            return "a text";
        case Value::Kind::Array:
            return "a list";
        case Value::Kind::Object:
            return "a map";
    }
    return "unknown";
}

[[noreturn]] void cannotRun(const std::string& why) {
    throw Failure(FailureKind::InvalidArgument, why);
}

// A failure's text ends at its first NUL, so a NUL in a name is written as
// \u0000 there.
std::string quotedName(const std::u16string& name) {
    std::string quoted(1, '"');
    for (char c : utf8FromText(name)) {
        if (c == '\0') {
            quoted += "\\u0000";
        } else {
            quoted += c;
        }
    }
    quoted.push_back('"');
    return quoted;
}

// Texts as they are, numbers as decimal text, booleans as True and False.
std::u16string plainText(const Value& value, const std::u16string& owner) {
    if (const auto* text = value.asText()) return *text;
    if (const auto* number = value.asNumber()) return number->toText();
    if (const auto* boolean = value.asBoolean()) return *boolean ? u"True" : u"False";
    if (value.isEmpty()) return {};
    cannotRun("a parameter of " + quotedName(owner) + " is " + kindName(value) +
              ", which has no plain text");
}

// The plain text of a field that is not evaluated; empty when it is missing.
std::u16string rawField(const Map* arguments, const std::u16string& name,
                        const std::u16string& owner) {
    const Value* value = arguments != nullptr ? arguments->find(name) : nullptr;
    return value != nullptr ? plainText(*value, owner) : std::u16string();
}

// Texts grow by doubling, so many small pieces cost one copy each; the bound
// keeps a text within what a 16-bit text can hold.
void append(std::u16string& out, std::u16string_view piece) {
    if (piece.size() > cJSONScript::kMaxTextLength - out.size()) {
        throw Failure(
            FailureKind::Overflow,
            "a script text beyond " + std::to_string(cJSONScript::kMaxTextLength) + " characters");
    }
    out.append(piece);
}

bool holds(const std::u16string& type, const std::u16string& value1, const std::u16string& value2) {
    if (type == u"eq") return lowerCase(value1) == lowerCase(value2);
    if (type == u"gt") return value1 > value2;
    if (type == u"lt") return value1 < value2;
    if (type == u"gte") return value1 >= value2;
    if (type == u"lte") return value1 <= value2;
    return false;
}

// Counts one ExecCommand call in progress, also when a failure ends it.
class NestGuard {
public:
    explicit NestGuard(std::int32_t& level) : m_level(level) { ++m_level; }
    ~NestGuard() { --m_level; }
    NestGuard(const NestGuard&) = delete;
    NestGuard& operator=(const NestGuard&) = delete;

private:
    std::int32_t& m_level;
};

// The tag `<%NAME(parameters)%>` that a later stage fills in.
std::u16string placeholder(const std::u16string& name, const std::u16string* text,
                           const Map* arguments) {
    std::u16string parameters;
    if (text != nullptr) {
        append(parameters, *text);
    } else if (arguments != nullptr) {
        bool first = true;
        for (const auto& member : arguments->members()) {
            if (!first) append(parameters, u",");
            append(parameters, plainText(member.value, name));
            first = false;
        }
    }
    std::u16string tag;
    append(tag, u"<%");
    append(tag, upperCase(name));
    append(tag, u"(");
    append(tag, parameters);
    append(tag, u")%>");
    return tag;
}

}  // namespace

void TextMap::set(const std::u16string& name, std::u16string text) {
    auto [it, added] = m_index.emplace(name, m_entries.size());
    if (added) {
        m_entries.emplace_back(name, std::move(text));
    } else {
        m_entries[it->second].second = std::move(text);
    }
}

const std::u16string* TextMap::find(const std::u16string& name) const {
    auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : &m_entries[it->second].second;
}

std::u16string cJSONScript::Eval(const std::u16string& script) {
    JsonReader reader;
    engine::Pos position(1);
    std::optional<Value> result = reader.ReadJSONText(script, position);
    if (!reader.ParserErrors().empty() || !result) {
        m_dialogs.parserError(reader.ParserErrors());
        return {};
    }
    const List* elements = result->asList();
    if (elements == nullptr) cannotRun("the script is " + kindName(*result) + ", not a list");

    std::u16string out;
    for (const Value& element : *elements) {
        if (element.isNull()) {
            append(out, u"null");
        } else if (const auto* text = element.asText()) {
            append(out, *text);
        } else if (element.asMap() != nullptr || element.asList() != nullptr) {
            append(out, ExecCommand(element));
        } else {
            cannotRun("a script element is " + kindName(element) +
                      "; it must be a text, null, a map or a list");
        }
    }
    return out;
}

std::u16string cJSONScript::ExecCommand(const Value& value) {
    if (m_nestLevel > kMaxNestLevel) return std::u16string(kNestingError);
    NestGuard nested(m_nestLevel);
    switch (value.kind()) {
        case Value::Kind::Null:
            return u"null";
        case Value::Kind::Text:
            return *value.asText();
        case Value::Kind::Boolean:
            return *value.asBoolean() ? u"true" : u"false";
        case Value::Kind::Array: {
            std::u16string out;
            for (const Value& element : *value.asList()) append(out, ExecCommand(element));
            return out;
        }
        case Value::Kind::Object:
            return execMap(*value.asMap());
        case Value::Kind::Number:
            return value.asNumber()->toText();  // always with a period
        case Value::Kind::Empty:
            break;
    }
    return {};
}

std::u16string cJSONScript::execMap(const Map& map) {
    std::u16string out;
    for (const auto& member : map.members()) append(out, execMember(member.name, member.value));
    return out;
}

std::u16string cJSONScript::field(const Map* arguments, const std::u16string& name) {
    const Value* value = arguments != nullptr ? arguments->find(name) : nullptr;
    return value != nullptr ? ExecCommand(*value) : std::u16string();
}

std::u16string cJSONScript::execSwitch(const std::u16string& name, const Map* arguments) {
    std::u16string fallback = field(arguments, u"default");
    std::u16string chosen = lowerCase(field(arguments, u"case"));
    const Value* items = arguments != nullptr ? arguments->find(u"items") : nullptr;
    const List* itemList = items != nullptr ? items->asList() : nullptr;
    if (itemList == nullptr) cannotRun(quotedName(name) + " needs \"items\": a list of maps");
    for (const Value& item : *itemList) {
        if (item.asMap() == nullptr) {
            cannotRun("an item of " + quotedName(name) + " is " + kindName(item) + ", not a map");
        }
    }
    for (const Value& item : *itemList) {
        if (lowerCase(rawField(item.asMap(), u"case", name)) == chosen) {
            return field(item.asMap(), u"return");
        }
    }
    return fallback;
}

std::u16string cJSONScript::execMember(const std::u16string& name, const Value& value) {
    const std::u16string* text = value.asText();
    const Map* arguments = value.asMap();
    const List* list = value.asList();
    if (text == nullptr && arguments == nullptr && list == nullptr) {
        cannotRun("the value of " + quotedName(name) + " is " + kindName(value) +
                  "; it must be a text, a map or a list");
    }

    const std::u16string command = lowerCase(name);
    const bool takesFields = command == u"alert" || command == u"input" || command == u"set" ||
                             command == u"get" || command == u"if" || command == u"switch";
    if (takesFields && list != nullptr) {
        cannotRun(quotedName(name) + " takes a map of fields, not a list");
    }

    if (command == u"alert") {
        std::u16string message = field(arguments, u"message");
        std::u16string title = field(arguments, u"title");
        m_dialogs.alert(title, message);
        return {};
    }
    if (command == u"input") {
        std::u16string prompt = field(arguments, u"prompt");
        std::u16string title = field(arguments, u"title");
        std::u16string preset = field(arguments, u"default");
        return m_dialogs.input(prompt, title, preset);
    }
    if (command == u"set") {
        std::u16string variable = rawField(arguments, u"name", name);
        m_variables.set(variable, field(arguments, u"value"));
        return {};
    }
    if (command == u"get") {
        const std::u16string* stored = m_variables.find(rawField(arguments, u"name", name));
        if (stored != nullptr && !stored->empty()) return ExecCommand(Value(*stored));
        return field(arguments, u"default");
    }
    if (command == u"if") {
        std::u16string value1 = field(arguments, u"value1");
        std::u16string value2 = field(arguments, u"value2");
        std::u16string type = lowerCase(rawField(arguments, u"type", name));
        return field(arguments, holds(type, value1, value2) ? u"true" : u"false");
    }
    if (command == u"switch") return execSwitch(name, arguments);
    if (command == u"return") {
        if (text == nullptr) cannotRun(quotedName(name) + " takes a text, not " + kindName(value));
        return *text;
    }

    // Any other name is a placeholder for a later stage to fill in.
    return placeholder(name, text, arguments);
}

}  // namespace mv::json
