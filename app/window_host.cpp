#include "app/window_host.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/form1.h"
#include "app/progress_bar.h"
#include "filelist/file_list.h"
#include "filelist/list_drop.h"
#include "report/failure.h"
#include "ui/qt_text.h"

namespace mv::app {

std::int64_t WindowHost::rowCount() const {
    return m_form.ListView1()->rowCount();
}

std::u16string WindowHost::rowText(std::int64_t row) const {
    if (row < 1 || row > std::numeric_limits<int>::max()) {
        throw report::Failure(report::FailureKind::SubscriptOutOfRange);
    }
    m_currentFile = ui::toU16(m_form.ListView1()->rowText(static_cast<int>(row)));
    return m_currentFile;
}

bool WindowHost::option1() const {
    return m_form.Option1()->isChecked();
}

bool WindowHost::option2() const {
    return m_form.Option2()->isChecked();
}

// The box as it stands now, whichever row asks: it is read again for every file.
std::u16string WindowHost::folderText(std::int64_t) const {
    return ui::toU16(m_form.Text1()->text());
}

namespace {

constexpr qint64 kRepaintMs = 33;

}  // namespace

void WindowHost::setProgressValue(double percent) {
    if (!std::isfinite(percent)) percent = 0;
    m_value = static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0)));
}

void WindowHost::setProgressText(const std::u16string& text) {
    m_caption = text;
}

void WindowHost::flush() {
    if (m_value) m_form.ProgressBar1()->setValue(*m_value);
    if (m_caption)
        m_form.ProgressBar1()->setCaption(filelist::VisibleName(ui::toQString(*m_caption)));
    m_value.reset();
    m_caption.reset();
    m_sinceShown.invalidate();
}

void WindowHost::setPointer(run::Pointer pointer) {
    m_form.setPointer(pointer);
}

void WindowHost::yield() {
    if ((m_value || m_caption) &&
        (!m_sinceShown.isValid() || m_sinceShown.elapsed() >= kRepaintMs)) {
        flush();
        m_sinceShown.start();
    }
    QCoreApplication::processEvents();
}

void WindowHost::showMessage(const std::u16string& text) {
    flush();
    m_form.dialogs().message(&m_form, m_form.appTitle(), ui::toQString(text));
}

}  // namespace mv::app
