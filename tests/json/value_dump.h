// A value tree as one short line, so that tables can state whole results:
// {"a":1,"l":[true,null,"t"]}, with "empty" for no value.
#pragma once

#include <string>

#include "json/value.h"
#include "tests/support/test_support.h"

namespace mv::test {

inline std::string dump(const json::Value& value) {
    if (const auto* text = value.asText()) return "\"" + printable(*text) + "\"";
    if (const auto* number = value.asNumber()) return printable(number->toText());
    if (const auto* boolean = value.asBoolean()) return *boolean ? "true" : "false";
    if (value.isNull()) return "null";
    if (const auto* list = value.asList()) {
        std::string out = "[";
        for (const auto& element : *list) out += (out.size() > 1 ? "," : "") + dump(element);
        return out + "]";
    }
    if (const auto* map = value.asMap()) {
        std::string out = "{";
        for (const auto& member : map->members()) {
            out += (out.size() > 1 ? ",\"" : "\"") + printable(member.name) +
                   "\":" + dump(member.value);
        }
        return out + "}";
    }
    return "empty";
}

}  // namespace mv::test
