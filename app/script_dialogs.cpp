#include "app/script_dialogs.h"

#include "ui/qt_text.h"

namespace mv::app {

QString WindowScriptDialogs::captionOr(const std::u16string& title) const {
    return title.empty() ? m_caption : toQString(title);
}

void WindowScriptDialogs::alert(const std::u16string& title, const std::u16string& message) {
    m_dialogs.message(m_owner, captionOr(title), toQString(message), BoxIcon::Information);
}

std::u16string WindowScriptDialogs::input(const std::u16string& prompt, const std::u16string& title,
                                          const std::u16string& preset) {
    return toU16(m_dialogs.input(m_owner, captionOr(title), toQString(prompt), toQString(preset)));
}

void WindowScriptDialogs::parserError(const std::u16string& errors) {
    m_dialogs.message(m_owner, toQString(json::kParserErrorCaption), toQString(errors),
                      BoxIcon::Warning);
}

}  // namespace mv::app
