// The main window as the host of a conversion run: the rows of ListView1,
// Option1 and Option2, the text of Text1, ProgressBar1, the window's pointer,
// the event loop and the window's message boxes.
//
// Events run at every yield, but the bar and its caption are redrawn at most
// about 30 times a second: painting them for every small file would take
// longer than converting it. A message box shows the bar as it stands.
#pragma once

#include <QElapsedTimer>
#include <optional>

#include "run/host.h"

namespace mv::app {

class Form1;

class WindowHost : public run::Host {
public:
    explicit WindowHost(Form1& form) : m_form(form) {}

    std::int64_t rowCount() const override;
    std::u16string rowText(std::int64_t row) const override;
    bool option1() const override;
    bool option2() const override;
    std::u16string folderText(std::int64_t row) const override;
    void setProgressValue(double percent) override;
    void setProgressText(const std::u16string& text) override;
    void setPointer(run::Pointer pointer) override;
    void yield() override;
    void showMessage(const std::u16string& text) override;

    // Shows the latest value and caption now.
    void flush();
    // The row the run read last, the file its reports are about; empty
    // after forgetFile.
    const std::u16string& currentFile() const { return m_currentFile; }
    void forgetFile() { m_currentFile.clear(); }

private:
    Form1& m_form;
    std::optional<int> m_value;  // waiting to be shown
    std::optional<std::u16string> m_caption;
    QElapsedTimer m_sinceShown;  // invalid: show at the next yield
    mutable std::u16string m_currentFile;
};

}  // namespace mv::app
