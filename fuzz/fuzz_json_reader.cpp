// Any bytes, read as 16-bit text, through the JSON reader and then the
// script evaluator, whose boxes answer at once.
#include <cstddef>
#include <cstdint>
#include <string>

#include "json/script.h"
#include "json/utf8_text.h"
#include "report/failure.h"

namespace {

class QuietDialogs : public mv::json::ScriptDialogs {
public:
    void alert(const std::u16string&, const std::u16string&) override {}
    std::u16string input(const std::u16string&, const std::u16string&,
                         const std::u16string& preset) override {
        return preset;
    }
    void parserError(const std::u16string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Both readings of the bytes: one character each, and UTF-16LE pairs.
    std::u16string narrow(data, data + size);
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        wide += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    for (const std::u16string* text : {&narrow, &wide}) {
        mv::json::JsonReader reader;
        mv::engine::Pos position(1);
        reader.ReadJSONText(*text, position);

        QuietDialogs dialogs;
        mv::json::cJSONScript script(dialogs);
        try {
            script.Eval(*text);
            // Again, with the variables of the first run; what the CLI would
            // write must be well-formed UTF-8, which reads back unchanged.
            std::string out = mv::json::utf8FromText(script.Eval(*text));
            if (mv::json::utf8FromText(mv::json::textFromUtf8(out)) != out) __builtin_trap();
        } catch (const mv::report::Failure&) {
            // A script that cannot run ends with a failure: expected.
        }
        if (script.NestLevel() != 0) __builtin_trap();
    }
    return 0;
}
