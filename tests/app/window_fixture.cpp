#include "window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSettings>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

namespace mv::test {

Window::Window() : m_programFolder(QCoreApplication::applicationDirPath()) {
    restart();
}

void Window::restart() {
    m_form.reset();
    settings = std::make_unique<ui::Settings>(iniPath());
    m_form = std::make_unique<app::Form1>(dialogs, *settings, ui::ProgramFolder(m_programFolder));
    // A test must never end the test process.
    m_form->setEndProgram([] { QFAIL("the program was ended"); });
    // Nor open a file manager.
    m_form->setFolderOpener([this](const QUrl& folder) {
        openedFolders.append(folder);
        return folderOpens;
    });
}

QString Window::stored(ui::SettingKey key) const {
    QSettings file(iniPath(), QSettings::IniFormat);
    return file
        .value(QStringLiteral("Marrowvale/") + ui::Settings::keyText(key), QStringLiteral("<none>"))
        .toString();
}

void WindowTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void WindowTest::init() {
    m_window = std::make_unique<Window>();
}

void WindowTest::cleanup() {
    m_window.reset();
}

QPalette darkPalette() {
    QPalette dark;
    const QColor text(0xee, 0xee, 0xee);
    for (const auto& [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
             {QPalette::Window, QColor(0x2d, 0x2d, 0x2d)},
             {QPalette::WindowText, text},
             {QPalette::Base, QColor(0x1e, 0x1e, 0x1e)},
             {QPalette::AlternateBase, QColor(0x26, 0x26, 0x26)},
             {QPalette::Text, text},
             {QPalette::Button, QColor(0x3c, 0x3c, 0x3c)},
             {QPalette::ButtonText, text},
             {QPalette::Highlight, QColor(0x3d, 0xae, 0xe9)},
             {QPalette::HighlightedText, Qt::white}}) {
        dark.setColor(role, colour);
    }
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

void mouseOnListAt(filelist::FileList* list, QEvent::Type type, QPoint at, Qt::MouseButtons held,
                   Qt::MouseButton button) {
    QWidget* viewport = list->viewport();
    QMouseEvent event(type, QPointF(at), QPointF(viewport->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
}

void mouseOnList(filelist::FileList* list, QEvent::Type type, int row, Qt::MouseButtons held,
                 Qt::MouseButton button) {
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    mouseOnListAt(list, type, rect.center(), held, button);
}

void hover(QWidget* widget) {
    const QPoint at = widget->rect().center();
    QMouseEvent event(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QStringList rows(const filelist::FileList* list) {
    QStringList out;
    for (int i = 1; i <= list->rowCount(); ++i) out.append(list->rowText(i));
    return out;
}

Tree::Tree(const QStringList& entries) {
    for (const QString& entry : entries) add(entry);
}

Tree::~Tree() {
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

void Tree::add(const QString& entry) {
    const bool readOnly = entry.startsWith(u"ro:");
    const QString relativePath = readOnly ? entry.mid(3) : entry;
    if (relativePath.endsWith(u'/')) {
        QDir().mkpath(path(relativePath));
        return;
    }
    const QString full = path(relativePath);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot make %s", qPrintable(full));
    file.write("<a/>");
    file.close();
    if (readOnly) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup);
}

QString Tree::path(const QString& relativePath) const {
    return relativePath.isEmpty() ? m_dir.path() : m_dir.filePath(relativePath);
}

QStringList Tree::relative(const QStringList& paths) const {
    QStringList out;
    for (const QString& p : paths) {
        out.append(p.startsWith(m_dir.path() + u'/') ? p.mid(m_dir.path().size() + 1)
                                                     : QStringLiteral("<outside> ") + p);
    }
    return out;
}

}  // namespace mv::test
