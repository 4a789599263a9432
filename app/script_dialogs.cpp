#include "app/script_dialogs.h"

#include "ui/qt_text.h"

namespace mv::app {

QString WindowScriptDialogs::captionOr(const std::u16string& title) const {
    return title.empty() ? m_caption : ui::toQString(title);
}

void WindowScriptDialogs::alert(const std::u16string& title, const std::u16string& message) {
    m_dialogs.message(m_owner, captionOr(title), ui::toQString(message), ui::BoxIcon::Information);
}

std::u16string WindowScriptDialogs::input(const std::u16string& prompt, const std::u16string& title,
                                          const std::u16string& preset) {
    return ui::toU16(
        m_dialogs.input(m_owner, captionOr(title), ui::toQString(prompt), ui::toQString(preset)));
}

void WindowScriptDialogs::parserError(const std::u16string& errors) {
    m_dialogs.message(m_owner, ui::toQString(json::kParserErrorCaption), ui::toQString(errors),
                      ui::BoxIcon::Warning);
}

}  // namespace mv::app
