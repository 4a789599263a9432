// The file list: reading rows, removing and clearing under the busy rule,
// reordering by dragging, scrolling near the list's own edges, the keys that
// move the current row, and long paths.

#include <QScrollBar>
#include <QTest>

#include "report/failure.h"
#include "window_fixture.h"

using mv::run::Pointer;
using mv::test::mouseOnList;
using mv::test::rows;
using mv::test::WindowTest;

namespace {

void fill(mv::filelist::FileList* list, const QStringList& texts) {
    for (const QString& t : texts) list->append(t);
}

}  // namespace

class FileListTest : public WindowTest {
    Q_OBJECT
private slots:
    void rowsInOrder();
    void isListed_data();
    void isListed();
    void remove_data();
    void remove();
    void clear_data();
    void clear();
    void reorder_data();
    void reorder();
    void dragPointerWhileHeld();
    void removedDraggedRowIsNotWritten();
    void scrollsNearOwnEdges_data();
    void scrollsNearOwnEdges();
    void keysKeepCurrentRowInView_data();
    void keysKeepCurrentRowInView();
    void longPathsElideInTheMiddle();
};

void FileListTest::rowsInOrder() {
    auto* list = m_window->list();
    fill(list, {"/b.xml", "/a.xml", "/b.xml"});  // duplicates are kept, order is never sorted
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(rows(list), (QStringList{"/b.xml", "/a.xml", "/b.xml"}));
    QVERIFY_THROWS_EXCEPTION(mv::report::Failure, list->rowText(0));
    QVERIFY_THROWS_EXCEPTION(mv::report::Failure, list->rowText(4));
}

void FileListTest::isListed_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("listed");
    QTest::newRow("exact") << "/data/Note.xml" << true;
    QTest::newRow("other case") << "/data/note.xml" << false;
    QTest::newRow("part of a row") << "/data/Note" << false;
    QTest::newRow("trailing blank") << "/data/Note.xml " << false;
    QTest::newRow("second row") << "/data/b.xml" << true;
}

void FileListTest::isListed() {
    QFETCH(QString, path);
    QFETCH(bool, listed);
    fill(m_window->list(), {"/data/Note.xml", "/data/b.xml"});
    QCOMPARE(m_window->list()->IsListed(path), listed);
}

void FileListTest::remove_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("selected");  // -1: none
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("after");
    const QStringList abc{"A", "B", "C"};
    QTest::newRow("delete key") << abc << 1 << "delete" << false << QStringList{"A", "C"};
    QTest::newRow("double-click") << abc << 2 << "double-click" << false << QStringList{"A", "B"};
    QTest::newRow("other key") << abc << 1 << "x" << false << abc;
    QTest::newRow("backspace") << abc << 1 << "backspace" << false << abc;
    QTest::newRow("nothing selected") << abc << -1 << "delete" << false << abc;
    QTest::newRow("empty list: delete")
        << QStringList{} << -1 << "delete" << false << QStringList{};
    QTest::newRow("empty list: double-click")
        << QStringList{} << -1 << "double-click" << false << QStringList{};
    QTest::newRow("busy: delete") << abc << 1 << "delete" << true << abc;
    QTest::newRow("busy: double-click") << abc << 0 << "double-click" << true << abc;
    QTest::newRow("duplicate: only the selected one")
        << QStringList{"X", "X", "X"} << 1 << "delete" << false << QStringList{"X", "X"};
}

void FileListTest::remove() {
    QFETCH(QStringList, before);
    QFETCH(int, selected);
    QFETCH(QString, action);
    QFETCH(bool, busy);
    QFETCH(QStringList, after);
    auto* list = m_window->list();
    fill(list, before);
    if (selected >= 0) list->setCurrentItem(list->topLevelItem(selected));
    if (busy) m_window->form().setPointer(Pointer::Hourglass);
    if (action == u"delete") {
        QTest::keyClick(list, Qt::Key_Delete);
    } else if (action == u"backspace") {
        QTest::keyClick(list, Qt::Key_Backspace);
    } else if (action == u"double-click") {
        const QPoint at = selected >= 0
                              ? list->visualItemRect(list->topLevelItem(selected)).center()
                              : QPoint(10, 10);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else {
        QTest::keyClick(list, action.at(0).toLatin1());
    }
    QCOMPARE(rows(list), after);
    QVERIFY(m_window->dialogs.shown.isEmpty());
}

void FileListTest::clear_data() {
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("left");
    QTest::newRow("idle") << false << 0;
    QTest::newRow("busy") << true << 3;
}

void FileListTest::clear() {
    QFETCH(bool, busy);
    QFETCH(int, left);
    fill(m_window->list(), {"A", "B", "C"});
    if (busy) m_window->form().setPointer(Pointer::Hourglass);
    QTest::mouseClick(m_window->find<QPushButton>("PushButton4"), Qt::LeftButton);
    QCOMPARE(m_window->list()->rowCount(), left);
    QVERIFY(m_window->dialogs.shown.isEmpty());
}

void FileListTest::reorder_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("pressed");
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("selected");
    const QStringList abcd{"A", "B", "C", "D"};
    QTest::newRow("slow drag down walks the row")
        << abcd << 0 << QList<int>{1, 2, 3} << true << QStringList{"B", "C", "D", "A"} << 3;
    QTest::newRow("jump over a row swaps with that row")
        << abcd << 0 << QList<int>{2} << true << QStringList{"C", "B", "A", "D"} << 2;
    QTest::newRow("slow drag up") << abcd << 3 << QList<int>{2, 1} << true
                                  << QStringList{"A", "D", "B", "C"} << 1;
    QTest::newRow("equal texts are never swapped")
        << QStringList{"X", "Y", "X"} << 0 << QList<int>{2} << true << QStringList{"X", "Y", "X"}
        << 0;
    QTest::newRow("moving over its own row") << abcd << 1 << QList<int>{1} << true << abcd << 1;
    QTest::newRow("no button held") << abcd << 0 << QList<int>{1, 2} << false << abcd << 0;
}

void FileListTest::reorder() {
    QFETCH(QStringList, before);
    QFETCH(int, pressed);
    QFETCH(QList<int>, moves);
    QFETCH(bool, held);
    QFETCH(QStringList, after);
    QFETCH(int, selected);
    auto* list = m_window->list();
    fill(list, before);
    mouseOnList(list, QEvent::MouseButtonPress, pressed, Qt::LeftButton, Qt::LeftButton);
    if (!held) mouseOnList(list, QEvent::MouseButtonRelease, pressed, Qt::NoButton, Qt::LeftButton);
    for (int row : moves) {
        mouseOnList(list, QEvent::MouseMove, row, held ? Qt::LeftButton : Qt::NoButton);
    }
    if (held)
        mouseOnList(list, QEvent::MouseButtonRelease, moves.last(), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(rows(list), after);
    QCOMPARE(list->indexOfTopLevelItem(list->selectedItems().value(0)), selected);
    QVERIFY(!list->isPressed());
}

void FileListTest::dragPointerWhileHeld() {
    auto* list = m_window->list();
    fill(list, {"A", "B"});
    m_window->form().setPointer(Pointer::Hourglass);  // reordering is allowed during a run
    mouseOnList(list, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(list->viewport()->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(list->viewport()->cursor().shape(), Qt::BitmapCursor);  // drag.ico
    QCOMPARE(list->viewport()->cursor().hotSpot(), QPoint(16, 16));
    mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    QCOMPARE(rows(list), (QStringList{"B", "A"}));
    mouseOnList(list, QEvent::MouseButtonRelease, 1, Qt::NoButton, Qt::LeftButton);
    // After the release the list shows the window's pointer again: the hourglass.
    QVERIFY(!list->viewport()->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(list->viewport()->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(m_window->form().pointer(), Pointer::Hourglass);
}

// broke: the dragged row was kept as a bare item pointer; removing it with the
// button still held left the next move writing into a deleted row.
void FileListTest::removedDraggedRowIsNotWritten() {
    auto* list = m_window->list();
    fill(list, {"A", "B", "C"});
    mouseOnList(list, QEvent::MouseButtonPress, 1, Qt::LeftButton, Qt::LeftButton);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(rows(list), (QStringList{"A", "C"}));
    mouseOnList(list, QEvent::MouseMove, 0, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    QCOMPARE(rows(list), (QStringList{"A", "C"}));
}

void FileListTest::scrollsNearOwnEdges_data() {
    QTest::addColumn<QPoint>("windowAt");
    // The old rule compared the pointer with fixed screen rows 305 and 365:
    // these positions put the list's edges far from both.
    QTest::newRow("window at the top left") << QPoint(0, 0);
    QTest::newRow("window low on the screen") << QPoint(300, 600);
    QTest::newRow("window high, list above row 305") << QPoint(50, 20);
}

void FileListTest::scrollsNearOwnEdges() {
    QFETCH(QPoint, windowAt);
    m_window->form().move(windowAt);
    m_window->form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window->form()));
    auto* list = m_window->list();
    QStringList texts;
    for (int i = 0; i < 60; ++i)
        texts.append(QStringLiteral("/data/file%1.xml").arg(i, 2, 10, QChar(u'0')));
    fill(list, texts);
    QScrollBar* bar = list->verticalScrollBar();
    QCOMPARE(bar->value(), 0);

    // Press on the top row and drag down the middle rows: nothing scrolls.
    mouseOnList(list, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseMove, 2, Qt::LeftButton);
    QCOMPARE(bar->value(), 0);

    // Walk down to the bottom edge: the list scrolls to show the next rows.
    const int viewportBottom = list->viewport()->height() - 1;
    for (int step = 0; step < 30; ++step) {
        mv::test::mouseOnListAt(list, QEvent::MouseMove, QPoint(10, viewportBottom - 2),
                                Qt::LeftButton);
    }
    const int scrolledDown = bar->value();
    QVERIFY2(scrolledDown > 0, "dragging at the bottom edge did not scroll");
    // The dragged text travelled with the pointer and is still in view.
    QTreeWidgetItem* current = list->currentItem();
    QCOMPARE(current->text(0), QStringLiteral("/data/file00.xml"));
    QVERIFY(list->viewport()->rect().intersects(list->visualItemRect(current)));

    // Back up to the top edge: the list scrolls back.
    for (int step = 0; step < 30; ++step) {
        mv::test::mouseOnListAt(list, QEvent::MouseMove, QPoint(10, 2), Qt::LeftButton);
    }
    QVERIFY2(bar->value() < scrolledDown, "dragging at the top edge did not scroll");
    mouseOnList(list, QEvent::MouseButtonRelease, 0, Qt::NoButton, Qt::LeftButton);
}

void FileListTest::keysKeepCurrentRowInView_data() {
    QTest::addColumn<QList<int>>("keys");  // pressed after clicking the first row
    QTest::addColumn<int>("current");      // the current row after them, from 0
    QTest::newRow("down 15 times") << QList<int>(15, Qt::Key_Down) << 15;
    QTest::newRow("page down twice") << QList<int>(2, Qt::Key_PageDown) << -1;
    QTest::newRow("end") << QList<int>{Qt::Key_End} << 59;
    QTest::newRow("end, then up 3")
        << QList<int>{Qt::Key_End, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up} << 56;
    QTest::newRow("end, then home") << QList<int>{Qt::Key_End, Qt::Key_Home} << 0;
    QTest::newRow("end, then page up") << QList<int>{Qt::Key_End, Qt::Key_PageUp} << -1;
}

void FileListTest::keysKeepCurrentRowInView() {
    QFETCH(QList<int>, keys);
    QFETCH(int, current);
    m_window->form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window->form()));
    auto* list = m_window->list();
    QStringList texts;
    for (int i = 0; i < 60; ++i) texts.append(QStringLiteral("/data/f%1.xml").arg(i));
    fill(list, texts);
    mouseOnList(list, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseButtonRelease, 0, Qt::NoButton, Qt::LeftButton);
    for (int key : keys) QTest::keyClick(list, Qt::Key(key));

    QTreeWidgetItem* item = list->currentItem();
    QVERIFY(item);
    if (current >= 0) QCOMPARE(list->indexOfTopLevelItem(item), current);
    QVERIFY2(list->viewport()->rect().contains(list->visualItemRect(item)),
             "the current row is not wholly in view");
    // Delete removes the row the user sees marked.
    const QString shown = item->text(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(!list->IsListed(shown));
    QCOMPARE(list->rowCount(), 59);
}

void FileListTest::longPathsElideInTheMiddle() {
    auto* list = m_window->list();
    const QString deep = QStringLiteral("/home/user/projects/archive/2021/exports/batch-07/") +
                         QString(60, u'x') + QStringLiteral("/report-final.xml");
    fill(list, {"/a.xml", "/b.xml", deep});
    QCOMPARE(list->textElideMode(), Qt::ElideMiddle);
    // The full path is the row's tooltip, also after a reorder swapped texts.
    QCOMPARE(list->topLevelItem(2)->data(0, Qt::ToolTipRole).toString(), deep);
    mouseOnList(list, QEvent::MouseButtonPress, 2, Qt::LeftButton, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    mouseOnList(list, QEvent::MouseButtonRelease, 1, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(rows(list), (QStringList{"/a.xml", deep, "/b.xml"}));
    QCOMPARE(list->topLevelItem(1)->data(0, Qt::ToolTipRole).toString(), deep);
    QCOMPARE(list->topLevelItem(2)->data(0, Qt::ToolTipRole).toString(), QStringLiteral("/b.xml"));
}

QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
