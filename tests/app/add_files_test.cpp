// Filling the list by button: the open dialog ("Add XML File(s)"), the
// folder scan ("Add All XML File(s) In Folder") and the sample files.

#include <QTest>
#include <algorithm>

#include "app/add_files.h"
#include "app/sample_files.h"
#include "window_fixture.h"

using mv::run::Pointer;
using mv::test::Tree;
using mv::test::WindowTest;
using mv::ui::SettingKey;

namespace {

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// The picks as the dialog returns them: full paths under the tree, and
// absolute paths as they are.
QStringList picksIn(const Tree& tree, const QStringList& names) {
    QStringList picks;
    for (const QString& name : names) picks.append(name.startsWith(u'/') ? name : tree.path(name));
    return picks;
}

}  // namespace

class AddFilesTest : public WindowTest {
    Q_OBJECT
private slots:
    void pickFiles_data();
    void pickFiles();
    void pickedTwiceIsListedTwice();
    void resultLength_data();
    void resultLength();
    void tooManyFiles_data();
    void tooManyFiles();

    void scanFolder_data();
    void scanFolder();
    void scanOrder_data();
    void scanOrder();
    void cancelledBrowserKeepsLastFolder();
    void confirmedFolderIsStored();
    void waitPointerDuringScan();

    void samples_data();
    void samples();
    void samplesTwice();
    void samplesOpenFolderOnYes();

private:
    void clickButton(const char* name) {
        QTest::mouseClick(m_window->find<QPushButton>(name), Qt::LeftButton);
    }
};

// ---- "Add XML File(s)" ----

void AddFilesTest::pickFiles_data() {
    QTest::addColumn<QStringList>("present");  // files made in the tree
    QTest::addColumn<QStringList>("picked");   // what the dialog returns, in its order
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("refused");  // paths named in refusal messages

    QTest::newRow("cancelled") << QStringList{"a.xml"} << QStringList{} << QStringList{}
                               << QStringList{};
    QTest::newRow("one file") << QStringList{"a.xml"} << QStringList{"a.xml"}
                              << QStringList{"a.xml"} << QStringList{};
    QTest::newRow("three, in the dialog's order")
        << QStringList{"a.xml", "b.xml", "c.xml"} << QStringList{"c.xml", "a.xml", "b.xml"}
        << QStringList{"c.xml", "a.xml", "b.xml"} << QStringList{};
    QTest::newRow("any name the dialog gives")
        << QStringList{"~$x.xml", "notes.txt", ".h.xml"}
        << QStringList{"~$x.xml", "notes.txt", ".h.xml"}
        << QStringList{"~$x.xml", "notes.txt", ".h.xml"} << QStringList{};
    QTest::newRow("one unreadable")
        << QStringList{} << QStringList{"gone.xml"} << QStringList{} << QStringList{"gone.xml"};
    QTest::newRow("unreadable among others: the rest are added")
        << QStringList{"a.xml", "c.xml"} << QStringList{"a.xml", "gone.xml", "c.xml"}
        << QStringList{"a.xml", "c.xml"} << QStringList{"gone.xml"};
    QTest::newRow("under a file") << QStringList{"a.xml"} << QStringList{"a.xml/b.xml", "a.xml"}
                                  << QStringList{"a.xml"} << QStringList{"a.xml/b.xml"};
}

void AddFilesTest::pickFiles() {
    QFETCH(QStringList, present);
    QFETCH(QStringList, picked);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, refused);
    Tree tree(present);
    m_window->dialogs.fileAnswers.append(picksIn(tree, picked));
    clickButton("PushButton8");

    QCOMPARE(tree.relative(mv::test::rows(m_window->list())), rows);
    QStringList expected{QStringLiteral("files:")};  // opens where it last was
    for (const QString& name : refused) {
        expected.append(QStringLiteral("message:") + mv::app::refusedFileMessage(tree.path(name)));
    }
    QCOMPARE(m_window->dialogs.summary(), expected);
    QCOMPARE(m_window->dialogs.shown.first().title,
             QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    for (int i = 1; i < m_window->dialogs.shown.size(); ++i) {
        QCOMPARE(m_window->dialogs.shown.at(i).title, m_window->form().appTitle());
    }
}

void AddFilesTest::pickedTwiceIsListedTwice() {
    Tree tree({"a.xml"});
    m_window->dialogs.fileAnswers = {{tree.path("a.xml")}, {tree.path("a.xml")}};
    clickButton("PushButton8");
    clickButton("PushButton8");
    QCOMPARE(tree.relative(mv::test::rows(m_window->list())), (QStringList{"a.xml", "a.xml"}));
}

void AddFilesTest::resultLength_data() {
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<qsizetype>("length");
    QTest::newRow("none") << QStringList{} << qsizetype(0);
    QTest::newRow("one: its path and a NUL") << QStringList{"/d/ab.xml"} << qsizetype(10);
    // "/d" NUL "ab.xml" NUL "c.xml" NUL NUL
    QTest::newRow("two") << QStringList{"/d/ab.xml", "/d/c.xml"} << qsizetype(17);
    QTest::newRow("two in the root") << QStringList{"/a", "/b"} << qsizetype(7);
}

void AddFilesTest::resultLength() {
    QFETCH(QStringList, picks);
    QFETCH(qsizetype, length);
    QCOMPARE(mv::app::pickedResultLength(picks), length);
}

void AddFilesTest::tooManyFiles_data() {
    QTest::addColumn<int>("extra");  // characters beyond the limit
    QTest::newRow("exactly fits") << 0;
    QTest::newRow("one character too many") << 1;
    QTest::newRow("far too many") << 100000;
}

// Picks of files that do not exist: a pick that fits is taken (and each name
// refused), one that does not fit is refused as a whole.
void AddFilesTest::tooManyFiles() {
    QFETCH(int, extra);
    const QString folder = QStringLiteral("/mv-no-such-folder");
    const qsizetype fixed = folder.size() + 1 + 1;  // folder NUL ... NUL
    const QString name(99, u'n');                   // 100 characters with its NUL
    qsizetype wanted = mv::app::kPickedResultLimit + extra - fixed;
    QStringList picks;
    int count = 0;
    while (wanted > 0) {
        // Every name keeps room for its five-digit number.
        const qsizetype length = wanted >= 110 ? 100 : wanted > 100 ? wanted - 50 : wanted;
        QString pick = name.left(length - 1 - 5) + QString::number(10000 + count++);
        picks.append(folder + u'/' + pick);
        wanted -= length;
    }
    QCOMPARE(mv::app::pickedResultLength(picks), mv::app::kPickedResultLimit + extra);
    m_window->dialogs.fileAnswers.append(picks);
    clickButton("PushButton8");

    QCOMPARE(m_window->list()->rowCount(), 0);
    const QStringList shown = m_window->dialogs.summary();
    if (extra > 0) {
        QCOMPARE(shown, (QStringList{"files:",
                                     QStringLiteral("message:") + mv::app::tooManyFilesMessage()}));
        QCOMPARE(mv::app::tooManyFilesMessage(),
                 QStringLiteral("You've selected too many files to add.\r\rPlease try adding "
                                "via the \"Add All\" button."));
    } else {
        QCOMPARE(shown.size(), picks.size() + 1);  // every name refused, none skipped
        QCOMPARE(shown.last(),
                 QStringLiteral("message:") + mv::app::refusedFileMessage(picks.last()));
    }
}

// ---- "Add All XML File(s) In Folder" ----

void AddFilesTest::scanFolder_data() {
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("added");  // in any order

    QTest::newRow("extension in any letter case, no ~ files")
        << QStringList{"a.xml", "B.XML", "~$c.xml", "d.txt", "e.xml.bak", "f.Xml"}
        << QStringList{"B.XML", "a.xml", "f.Xml"};
    // A writable dot-file is hidden plus archive (34) and left out; without
    // write permission it is 35 and taken.
    QTest::newRow("hidden files") << QStringList{".e.xml", "ro:.r.xml", "ro:s.xml"}
                                  << QStringList{".r.xml", "s.xml"};
    QTest::newRow("folders named like XML files are no files")
        << QStringList{"x.xml/", "x.xml/y.xml"} << QStringList{"x.xml/y.xml"};
    QTest::newRow("hidden folders are walked")
        << QStringList{".cache/a.xml"} << QStringList{".cache/a.xml"};
    QTest::newRow("no XML at all") << QStringList{"a.txt", "sub/"} << QStringList{};
}

void AddFilesTest::scanFolder() {
    QFETCH(QStringList, tree);
    QFETCH(QStringList, added);
    Tree files(tree);
    m_window->dialogs.folderAnswers.append(files.path());
    clickButton("PushButton9");
    QCOMPARE(sorted(files.relative(mv::test::rows(m_window->list()))), added);
    QCOMPARE(m_window->dialogs.summary(), QStringList{"folder:"});
    QCOMPARE(m_window->dialogs.shown.first().title, QStringLiteral("Please select folder:"));
}

void AddFilesTest::scanOrder_data() {
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QList<QStringList>>("levels");  // each level's files in any order

    QTest::newRow("root, then x, then y")
        << QStringList{"r.xml", "x/x.xml", "x/y/y.xml"}
        << QList<QStringList>{{"r.xml"}, {"x/x.xml"}, {"x/y/y.xml"}};
    QTest::newRow("siblings before their children")
        << QStringList{"a/a.xml", "b/b.xml", "a/c/ac.xml", "b/d/bd.xml"}
        << QList<QStringList>{{"a/a.xml", "b/b.xml"}, {"a/c/ac.xml", "b/d/bd.xml"}};
}

void AddFilesTest::scanOrder() {
    QFETCH(QStringList, tree);
    QFETCH(QList<QStringList>, levels);
    Tree files(tree);
    m_window->dialogs.folderAnswers.append(files.path());
    clickButton("PushButton9");
    const QStringList got = files.relative(mv::test::rows(m_window->list()));
    qsizetype at = 0;
    for (const QStringList& level : levels) {
        QCOMPARE(sorted(got.mid(at, level.size())), sorted(level));
        at += level.size();
    }
    QCOMPARE(got.size(), at);
    // Children come in the order of their parents.
    if (levels.size() == 2 && levels.first().size() == 2) {
        QCOMPARE(got.at(0).section(u'/', 0, 0), got.at(2).section(u'/', 0, 0));
    }
}

void AddFilesTest::cancelledBrowserKeepsLastFolder() {
    m_window->settings->setText(SettingKey::LastFolder, QStringLiteral("/old"));
    clickButton("PushButton9");  // no answer: cancelled
    QCOMPARE(m_window->dialogs.folderStarts, QStringList{"/old"});
    QCOMPARE(m_window->stored(SettingKey::LastFolder), QStringLiteral("/old"));
    QCOMPARE(m_window->form().pointer(), Pointer::Default);
    QCOMPARE(m_window->list()->rowCount(), 0);
}

void AddFilesTest::confirmedFolderIsStored() {
    Tree empty({"a.txt"});
    Tree next({"n.xml"});
    m_window->dialogs.folderAnswers = {empty.path(), next.path()};
    clickButton("PushButton9");
    QCOMPARE(m_window->stored(SettingKey::LastFolder), empty.path());
    clickButton("PushButton9");
    QCOMPARE(m_window->dialogs.folderStarts, (QStringList{"", empty.path()}));
    QCOMPARE(m_window->stored(SettingKey::LastFolder), next.path());
    QCOMPARE(next.relative(mv::test::rows(m_window->list())), QStringList{"n.xml"});
}

void AddFilesTest::waitPointerDuringScan() {
    Tree files({"a.xml", "s/b.xml", "s/t/c.xml"});
    QList<Pointer> seen;
    QList<Qt::CursorShape> shapes;
    connect(m_window->list()->model(), &QAbstractItemModel::rowsInserted, this, [&] {
        seen.append(m_window->form().pointer());
        shapes.append(m_window->form().cursor().shape());
    });
    m_window->dialogs.folderAnswers.append(files.path());
    clickButton("PushButton9");
    QCOMPARE(seen, QList<Pointer>(3, Pointer::Hourglass));
    QCOMPARE(shapes, QList<Qt::CursorShape>(3, Qt::WaitCursor));
    QCOMPARE(m_window->form().pointer(), Pointer::Default);
    QCOMPARE(m_window->form().cursor().shape(), Qt::ArrowCursor);
}

// ---- "Load Sample/Example Files" ----

void AddFilesTest::samples_data() {
    QTest::addColumn<QStringList>("program");  // the program folder's contents
    QTest::addColumn<QStringList>("listed");   // rows before the click
    QTest::addColumn<QStringList>("after");    // rows after it, in any order

    QTest::newRow("missing folder") << QStringList{"other/"} << QStringList{} << QStringList{};
    QTest::newRow("empty folder") << QStringList{"Samples/"} << QStringList{} << QStringList{};
    QTest::newRow("every file, hidden ones too, no folders")
        << QStringList{"Samples/a.xml", "Samples/b.txt", "Samples/.h.xml", "Samples/sub/c.xml"}
        << QStringList{} << QStringList{"Samples/.h.xml", "Samples/a.xml", "Samples/b.txt"};
    QTest::newRow("already listed: not again")
        << QStringList{"Samples/a.xml", "Samples/b.xml"} << QStringList{"Samples/a.xml"}
        << QStringList{"Samples/a.xml", "Samples/b.xml"};
    QTest::newRow("other letter case counts as different")
        << QStringList{"Samples/a.xml"} << QStringList{"Samples/A.XML"}
        << QStringList{"Samples/A.XML", "Samples/a.xml"};
}

void AddFilesTest::samples() {
    QFETCH(QStringList, program);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, after);
    Tree folder(program);
    m_window->setProgramFolder(folder.path());
    m_window->restart();
    for (const QString& row : listed) m_window->list()->append(folder.path(row));
    clickButton("PushButton5");
    QCOMPARE(sorted(folder.relative(mv::test::rows(m_window->list()))), after);
    QCOMPARE(m_window->dialogs.summary(),
             QStringList{QStringLiteral("question:") + mv::app::openSamplesQuestion()});
    QCOMPARE(m_window->dialogs.shown.first().title, m_window->form().appTitle());
    QVERIFY(m_window->openedFolders.isEmpty());  // answered No
}

void AddFilesTest::samplesTwice() {
    Tree folder({"Samples/a.xml", "Samples/b.xml"});
    m_window->setProgramFolder(folder.path());
    m_window->restart();
    clickButton("PushButton5");
    const QStringList first = mv::test::rows(m_window->list());
    clickButton("PushButton5");
    QCOMPARE(mv::test::rows(m_window->list()), first);
    QCOMPARE(first.size(), 2);
    QCOMPARE(m_window->dialogs.summary(),
             QStringList(2, QStringLiteral("question:") + mv::app::openSamplesQuestion()));
    QCOMPARE(mv::app::openSamplesQuestion(),
             QStringLiteral("Would you like this software to open the folder where these sample "
                            "files are stored (so that you can view them before working with "
                            "them)?"));
}

void AddFilesTest::samplesOpenFolderOnYes() {
    Tree folder({"Samples/a.xml"});
    m_window->setProgramFolder(folder.path());
    m_window->restart();
    m_window->dialogs.questionAnswers = {true, false, true};
    clickButton("PushButton5");
    clickButton("PushButton5");
    QCOMPARE(m_window->openedFolders,
             QList<QUrl>{QUrl::fromLocalFile(folder.path("Samples") + u'/')});
    QCOMPARE(m_window->dialogs.shown.size(), 2);  // the questions only

    // Where no file manager takes the folder, a box names it instead.
    m_window->folderOpens = false;
    clickButton("PushButton5");
    QCOMPARE(m_window->dialogs.shown.constLast().kind, QStringLiteral("message"));
    QVERIFY(m_window->dialogs.shown.constLast().text.endsWith(folder.path("Samples") + u'/'));
}

QTEST_MAIN(AddFilesTest)
#include "add_files_test.moc"
