// The values that the JSON reader builds and the script evaluator walks: an
// ordered map, a list, text, an exact decimal number, a boolean, null, or
// empty (no value at all, what a number cut off by the end of the text gives).
#pragma once

#include <concepts>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "json/decimal.h"

namespace mv::json {

class Value;
using List = std::vector<Value>;

struct Empty {
    friend bool operator==(Empty, Empty) = default;
};
struct Null {
    friend bool operator==(Null, Null) = default;
};

// Members in the order they were added; names are unique and compared exactly.
class Map {
public:
    struct Member;

    // Defined where Member is complete, so that Value can hold a Map.
    Map();
    ~Map();
    Map(const Map&);
    Map(Map&&) noexcept;
    Map& operator=(const Map&);
    Map& operator=(Map&&) noexcept;

    // Appends a member; throws report::Failure (InvalidArgument) when the name
    // is already present, and then the map is unchanged.
    void add(std::u16string name, Value value);
    // The member's value, or nullptr.
    const Value* find(const std::u16string& name) const;
    bool contains(const std::u16string& name) const { return m_index.count(name) != 0; }

    std::size_t size() const;
    bool empty() const;
    const std::vector<Member>& members() const { return m_members; }

    friend bool operator==(const Map& a, const Map& b);

private:
    std::vector<Member> m_members;
    std::unordered_map<std::u16string, std::size_t> m_index;  // name -> place in m_members
};

class Value {
public:
    enum class Kind {
        Empty,
        Null,
        Boolean,
        Number,
        Text,
        Array,
        Object
    };  // Array holds a List, Object a Map

    Value() = default;
    Value(Null) : m_value(Null{}) {}
    // Only a real bool: a pointer must not turn into one silently.
    template <class B>
    requires std::same_as<B, bool> Value(B b) : m_value(b) {}
    Value(Decimal d) : m_value(std::move(d)) {}
    Value(std::u16string text) : m_value(std::move(text)) {}
    Value(const char16_t* text) : m_value(std::u16string(text)) {}
    Value(List list) : m_value(std::move(list)) {}
    Value(Map map) : m_value(std::move(map)) {}

    Kind kind() const { return static_cast<Kind>(m_value.index()); }

    // The content of that kind, or nullptr when the value is of another kind.
    const bool* asBoolean() const { return std::get_if<bool>(&m_value); }
    const Decimal* asNumber() const { return std::get_if<Decimal>(&m_value); }
    const std::u16string* asText() const { return std::get_if<std::u16string>(&m_value); }
    const List* asList() const { return std::get_if<List>(&m_value); }
    const Map* asMap() const { return std::get_if<Map>(&m_value); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }

    friend bool operator==(const Value&, const Value&) = default;

private:
    // Alternatives in the order of Kind.
    std::variant<Empty, Null, bool, Decimal, std::u16string, List, Map> m_value;
};

struct Map::Member {
    std::u16string name;
    Value value;
    friend bool operator==(const Member&, const Member&) = default;
};

// Here, where Member is complete.
inline std::size_t Map::size() const {
    return m_members.size();
}
inline bool Map::empty() const {
    return m_members.empty();
}

}  // namespace mv::json
