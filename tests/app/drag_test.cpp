// A real drag from another program onto the list, under an X server with a
// window manager: the source offers Move first, as file managers do, and
// removes its files when the drop answers Move. Adding files to the list
// must never take them away.

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "window_fixture.h"

using mv::test::Tree;
using mv::test::Window;

class DragTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void dropOfferingMoveIsTakenAsCopy();
};

void DragTest::dropOfferingMoveIsTakenAsCopy() {
    Tree files({"a.xml", "f/b.xml"});
    Window window;
    window.form().move(400, 100);
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));

    QProcess source;
    source.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(MV_DRAG_SOURCE), QStringLiteral("20"), QStringLiteral("100"),
                  files.path(QStringLiteral("a.xml")), files.path(QStringLiteral("f"))});
    QVERIFY(source.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return source.canReadLine(); }, 15000));
    const QList<QByteArray> ready = source.readLine().trimmed().split(' ');
    QCOMPARE(ready.value(0), QByteArray("ready"));
    const QPoint from(ready.value(1).toInt(), ready.value(2).toInt());
    const QPoint to =
        window.list()->viewport()->mapToGlobal(window.list()->viewport()->rect().center());

    // The pointer as a person moves it: press, start dragging, cross over to
    // the list, linger, release.
    const auto at = [](QPoint p) {
        return QStringList{QString::number(p.x()), QString::number(p.y())};
    };
    QStringList steps = QStringList{QStringLiteral("mousemove")} + at(from);
    steps << QStringLiteral("sleep") << QStringLiteral("0.3") << QStringLiteral("mousedown")
          << QStringLiteral("1") << QStringLiteral("sleep") << QStringLiteral("0.2");
    for (int i = 1; i <= 10; ++i) {
        steps << QStringLiteral("mousemove") << at(from + (to - from) * i / 10)
              << QStringLiteral("sleep") << QStringLiteral("0.1");
    }
    steps << QStringLiteral("mousemove") << at(to + QPoint(3, 3)) << QStringLiteral("sleep")
          << QStringLiteral("0.5") << QStringLiteral("mouseup") << QStringLiteral("1");
    QProcess pointer;
    pointer.start(QStringLiteral("xdotool"), steps);
    QVERIFY(pointer.waitForStarted());

    QVERIFY(QTest::qWaitFor([&] { return source.state() == QProcess::NotRunning; }, 30000));
    const QByteArray said = source.readAll();
    QVERIFY2(said.contains("result"), said.constData());
    QCOMPARE(said.trimmed(), QByteArray("result CopyAction"));
    QTRY_COMPARE(window.list()->rowCount(), 2);
    QCOMPARE(files.relative(mv::test::rows(window.list())),
             QStringList({QStringLiteral("a.xml"), QStringLiteral("f/b.xml")}));
    QVERIFY(QFileInfo::exists(files.path(QStringLiteral("a.xml"))));
    QVERIFY(QFileInfo::exists(files.path(QStringLiteral("f/b.xml"))));
}

QTEST_MAIN(DragTest)
#include "drag_test.moc"
