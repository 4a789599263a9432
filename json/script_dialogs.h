// The boxes a script can open. The evaluator only asks; the caller decides
// how to show them: the window with a message box and an input box, the
// command line on the terminal, the tests with a recording fake.
#pragma once

#include <string>
#include <string_view>

namespace mv::json {

// Caption of the box that shows a script's parser errors.
inline constexpr std::u16string_view kParserErrorCaption = u"Parser Error";

class ScriptDialogs {
public:
    virtual ~ScriptDialogs() = default;

    // "alert": the message with an information icon and an OK button, the
    // title as caption (empty: the shower's own caption). Returns once closed.
    virtual void alert(const std::u16string& title, const std::u16string& message) = 0;

    // "input": asks for one text, showing `preset` as the answer to accept.
    // Returns what the user entered; cancelling gives an empty text.
    virtual std::u16string input(const std::u16string& prompt, const std::u16string& title,
                                 const std::u16string& preset) = 0;

    // The script was not accepted: the reader's error lines, with an
    // exclamation icon, an OK button and kParserErrorCaption as caption.
    virtual void parserError(const std::u16string& errors) = 0;
};

}  // namespace mv::json
