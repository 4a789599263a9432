// The main window as the host of a conversion run: the rows of ListView1,
// Option1 and Option2, the text of Text1, ProgressBar1, the window's pointer,
// the event loop and the window's message boxes.
#pragma once

#include "app/run/host.h"

namespace mv::app {

class Form1;

class WindowHost : public Host {
public:
    explicit WindowHost(Form1& form) : m_form(form) {}

    std::int64_t rowCount() const override;
    std::u16string rowText(std::int64_t row) const override;
    bool option1() const override;
    bool option2() const override;
    std::u16string folderText() const override;
    void setProgressValue(double percent) override;
    void setProgressText(const std::u16string& text) override;
    void setPointer(Pointer pointer) override;
    void yield() override;
    void showMessage(const std::u16string& text) override;

private:
    Form1& m_form;
};

}  // namespace mv::app
