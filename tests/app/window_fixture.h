// A fresh main window over its own settings file and the recording dialogs,
// the fixture that gives every test case one, and the small helpers the
// widget tests share.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "app/form1.h"
#include "fake_dialogs.h"
#include "filelist/file_list.h"
#include "ui/settings.h"

namespace mv::test {

class Window {
public:
    // A store in a new temporary folder; the program folder is the test's own
    // (the build's bin folder, with the pointer files beside it).
    Window();
    // Another window over the same store: a restart of the program.
    void restart();
    // The program folder for the next restart.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }

    app::Form1& form() { return *m_form; }
    FakeDialogs dialogs;
    QList<QUrl> openedFolders;  // what the window asked the file manager to show
    bool folderOpens = true;    // whether a file manager took the request
    std::unique_ptr<ui::Settings> settings;
    QString iniPath() const { return m_store.filePath(QStringLiteral("store.ini")); }

    template <class T>
    T* find(const char* name) {
        T* child = m_form->findChild<T*>(QString::fromLatin1(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }
    filelist::FileList* list() { return find<filelist::FileList>("ListView1"); }
    // The stored text of a key, read back from the file as a new store would.
    QString stored(ui::SettingKey key) const;

private:
    QTemporaryDir m_store;
    QString m_programFolder;
    std::unique_ptr<app::Form1> m_form;
};

// The fixture of the window's tests: a new window for every test case, with
// the standard paths in test mode so that nothing touches the user's own.
class WindowTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<Window> m_window;
private slots:
    void initTestCase();
    void init();
    void cleanup();
};

// Sends a mouse event to the list's viewport at the middle of row `row`
// (counted from 0), or at `at` when given.
void mouseOnList(filelist::FileList* list, QEvent::Type type, int row, Qt::MouseButtons held,
                 Qt::MouseButton button = Qt::NoButton);
void mouseOnListAt(filelist::FileList* list, QEvent::Type type, QPoint at, Qt::MouseButtons held,
                   Qt::MouseButton button = Qt::NoButton);
// A move of the mouse over a widget with no button held.
void hover(QWidget* widget);
QStringList rows(const filelist::FileList* list);
// A palette as a dark desktop scheme gives it: light text on dark surfaces.
QPalette darkPalette();

// Files and folders under a temporary folder, made from short descriptions:
// "a/b.xml" is a file (its folders are made too), "a/" a folder, and a path
// after "ro:" a file without the owner's write permission.
class Tree {
public:
    explicit Tree(const QStringList& entries = {});
    // Removes the tree by bytes: Qt cannot remove names that are not valid
    // UTF-8, which some tests make, and would leave the folder behind.
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;
    void add(const QString& entry);
    QString path(const QString& relative = {}) const;
    // The relative paths of full paths under the tree, in their order.
    QStringList relative(const QStringList& paths) const;

private:
    QTemporaryDir m_dir;
};

}  // namespace mv::test
