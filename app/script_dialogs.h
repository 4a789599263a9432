// The boxes a script opens, shown by the window through its Dialogs: "alert"
// as a message box, "input" as an input box. The window runs no scripts
// itself; a caller that does hands the evaluator one of these.
#pragma once

#include <QString>

#include "json/script_dialogs.h"
#include "ui/dialogs.h"

class QWidget;

namespace mv::app {

class WindowScriptDialogs : public json::ScriptDialogs {
public:
    // `caption` is shown when a script gives no title of its own.
    WindowScriptDialogs(ui::Dialogs& dialogs, QWidget* owner, QString caption)
        : m_dialogs(dialogs), m_owner(owner), m_caption(std::move(caption)) {}

    void alert(const std::u16string& title, const std::u16string& message) override;
    std::u16string input(const std::u16string& prompt, const std::u16string& title,
                         const std::u16string& preset) override;
    void parserError(const std::u16string& errors) override;

private:
    QString captionOr(const std::u16string& title) const;

    ui::Dialogs& m_dialogs;
    QWidget* m_owner;
    QString m_caption;
};

}  // namespace mv::app
