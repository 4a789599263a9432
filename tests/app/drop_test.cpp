// Files and folders dragged onto the list from a file manager.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/progress_bar.h"
#include "app/start_arguments.h"
#include "engine/native_text.h"
#include "filelist/list_drop.h"
#include "window_fixture.h"

using mv::run::Pointer;
using mv::test::Tree;
using mv::test::WindowTest;

namespace {

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// What a file manager hands over for these paths under the tree ("/" at the
// end of a name is kept, as some file managers send folders).
std::unique_ptr<QMimeData> filesData(const Tree& tree, const QStringList& names) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& name : names) urls.append(QUrl::fromLocalFile(tree.path(name)));
    data->setUrls(urls);
    return data;
}

// Drags the data over the list's rows; true when the list would take it.
bool dragOver(mv::filelist::FileList* list, QMimeData* data) {
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    return move.isAccepted();
}

bool dropOn(mv::filelist::FileList* list, QMimeData* data) {
    if (!dragOver(list, data)) return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    return drop.isAccepted();
}

}  // namespace

class DropTest : public WindowTest {
    Q_OBJECT
private slots:
    void dropFiles_data();
    void dropFiles();
    void dropFolder_data();
    void dropFolder();
    void notFiles_data();
    void notFiles();
    void busyPointerIsLeftAlone();
    void reorderAfterDrop();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void closingDuringWalkEndsAtOnce_data();
    void closingDuringWalkEndsAtOnce();
    void dropOfferingOnlyMoveIsRefused();
    void walkShowsProgressAndRefusesAnotherDrop();
    void undecodableBytesShownDistinctly();
    void startArguments_data();
    void startArguments();
    void startPathsAddedAsDropped();
};

void DropTest::dropFiles_data() {
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("rows");  // in this order

    QTest::newRow("files as delivered, in the delivered order")
        << QStringList{"a.xml", "notes.txt", "~$b.xml", ".h.xml"}
        << QStringList{"a.xml", "notes.txt", "~$b.xml", ".h.xml"}
        << QStringList{"a.xml", "notes.txt", "~$b.xml", ".h.xml"};
    QTest::newRow("the same file twice")
        << QStringList{"a.xml"} << QStringList{"a.xml", "a.xml"} << QStringList{"a.xml", "a.xml"};
    QTest::newRow("a vanished path is passed over")
        << QStringList{"a.xml", "c.xml"} << QStringList{"a.xml", "gone.xml", "c.xml"}
        << QStringList{"a.xml", "c.xml"};
    QTest::newRow("two folders, one after the other")
        << QStringList{"f1/one.xml", "f1/sub/deep.txt", "f2/two.txt"} << QStringList{"f2", "f1"}
        << QStringList{"f2/two.txt", "f1/one.xml", "f1/sub/deep.txt"};
    QTest::newRow("files and folders mixed")
        << QStringList{"a.xml", "f/x.xml"} << QStringList{"f", "a.xml", "f"}
        << QStringList{"f/x.xml", "a.xml", "f/x.xml"};
    QTest::newRow("a folder sent with a final separator")
        << QStringList{"f/x.xml"} << QStringList{"f/"} << QStringList{"f/x.xml"};
}

void DropTest::dropFiles() {
    QFETCH(QStringList, tree);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, rows);
    Tree files(tree);
    auto data = filesData(files, dropped);
    QVERIFY(dropOn(m_window->list(), data.get()));
    QCOMPARE(files.relative(mv::test::rows(m_window->list())), rows);
    QVERIFY(m_window->dialogs.shown.isEmpty());
}

void DropTest::dropFolder_data() {
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("rows");  // in any order

    QTest::newRow("every file, whatever its extension")
        << QStringList{"f/a.xml", "f/readme.txt", "f/b.XML", "f/noext"}
        << QStringList{"f/a.xml", "f/b.XML", "f/noext", "f/readme.txt"};
    QTest::newRow("no ~ files, no writable dot-files")
        << QStringList{"f/a.xml", "f/~$b.xml", "f/.c.xml", "ro:f/.d.xml"}
        << QStringList{"f/.d.xml", "f/a.xml"};
    QTest::newRow("the whole tree") << QStringList{"f/a.txt", "f/s/b.txt", "f/s/t/c.txt"}
                                    << QStringList{"f/a.txt", "f/s/b.txt", "f/s/t/c.txt"};
    QTest::newRow("empty folder") << QStringList{"f/"} << QStringList{};
}

void DropTest::dropFolder() {
    QFETCH(QStringList, tree);
    QFETCH(QStringList, rows);
    Tree files(tree);
    auto data = filesData(files, {"f"});
    QVERIFY(dropOn(m_window->list(), data.get()));
    QCOMPARE(sorted(files.relative(mv::test::rows(m_window->list()))), rows);
    QVERIFY(m_window->dialogs.shown.isEmpty());
}

void DropTest::notFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("plain text") << "text";
    QTest::newRow("a web address") << "web";
    QTest::newRow("a file and a web address") << "mixed";
    QTest::newRow("an empty list of files") << "empty";
}

void DropTest::notFiles() {
    QFETCH(QString, kind);
    Tree files({"a.xml"});
    QMimeData data;
    if (kind == u"text") data.setText(files.path("a.xml"));
    if (kind == u"web") data.setUrls({QUrl(QStringLiteral("https://example.org/a.xml"))});
    if (kind == u"mixed") {
        data.setUrls({QUrl::fromLocalFile(files.path("a.xml")),
                      QUrl(QStringLiteral("https://example.org/a.xml"))});
    }
    if (kind == u"empty") data.setData(QStringLiteral("text/uri-list"), QByteArray());
    QVERIFY(!mv::filelist::CanDropOnList(&data));
    QVERIFY(!dragOver(m_window->list(), &data));

    // Even if it arrived, nothing would be added.
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window->list(), &drop);
    QCOMPARE(m_window->list()->rowCount(), 0);
    QVERIFY(m_window->dialogs.shown.isEmpty());
}

void DropTest::busyPointerIsLeftAlone() {
    Tree files({"a.xml", "f/b.xml"});
    QList<Pointer> seen;
    connect(m_window->list()->model(), &QAbstractItemModel::rowsInserted, this,
            [&] { seen.append(m_window->form().pointer()); });
    auto data = filesData(files, {"f", "a.xml"});
    QVERIFY(dropOn(m_window->list(), data.get()));
    QCOMPARE(seen, QList<Pointer>(2, Pointer::Default));

    // During a scan or run the drop still goes ahead, and the hourglass stays.
    m_window->form().setPointer(Pointer::Hourglass);
    QVERIFY(dropOn(m_window->list(), data.get()));
    QCOMPARE(m_window->list()->rowCount(), 4);
    QCOMPARE(m_window->form().pointer(), Pointer::Hourglass);
}

void DropTest::reorderAfterDrop() {
    Tree files({"a.xml", "b.xml"});
    auto data = filesData(files, {"a.xml", "b.xml"});
    QVERIFY(dropOn(m_window->list(), data.get()));
    auto* list = m_window->list();
    mv::test::mouseOnList(list, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    mv::test::mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    mv::test::mouseOnList(list, QEvent::MouseButtonRelease, 1, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(files.relative(mv::test::rows(list)), (QStringList{"b.xml", "a.xml"}));
}

void DropTest::namesThatAreNotUtf8_data() {
    QTest::addColumn<QByteArray>("dropped");      // percent-encoded, under the tree
    QTest::addColumn<QList<QByteArray>>("rows");  // native names under the tree
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("a Latin-1 file name")
        << QByteArray("caf%E9.xml") << QList<QByteArray>{"caf\xE9.xml"} << QByteArray();
    QTest::newRow("a Latin-1 folder name")
        << QByteArray("d%E9") << QList<QByteArray>{"d\xE9/caf\xE9.xml"} << QByteArray();
    QTest::newRow("UTF-8 stays UTF-8")
        << QByteArray("na%C3%AFve.xml") << QList<QByteArray>{"na\xC3\xAFve.xml"} << QByteArray();
    QTest::newRow("sent from localhost")
        << QByteArray("caf%E9.xml") << QList<QByteArray>{"caf\xE9.xml"} << QByteArray("localhost");
}

void DropTest::namesThatAreNotUtf8() {
    QFETCH(QByteArray, dropped);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(QByteArray, host);
    Tree files;
    const QByteArray root = files.path().toLocal8Bit();
    QVERIFY(::mkdir((root + "/d\xE9").constData(), 0755) == 0);
    for (const char* name : {"/caf\xE9.xml", "/d\xE9/caf\xE9.xml", "/na\xC3\xAFve.xml"}) {
        const int fd = ::open((root + name).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 "file://" + host + QUrl::fromLocalFile(files.path()).path().toUtf8() + '/' +
                     dropped + "\r\n");
    QVERIFY(dropOn(m_window->list(), &data));
    QStringList expected;
    for (const QByteArray& row : rows) {
        const QByteArray full = root + '/' + row;
        expected.append(QString::fromStdU16String(mv::engine::fromNative(full.toStdString())));
    }
    QCOMPARE(mv::test::rows(m_window->list()), expected);
}

void DropTest::closingDuringWalkEndsAtOnce_data() {
    QTest::addColumn<bool>("byDrop");
    QTest::newRow("folder scan") << false;
    QTest::newRow("dropped folder") << true;
}

void DropTest::closingDuringWalkEndsAtOnce() {
    QFETCH(bool, byDrop);
    Tree files({"f/a.xml", "f/s/b.xml", "f/s/t/c.xml"});
    int ended = 0;
    int rowsWhenEnded = -1;
    m_window->form().setEndProgram([&] {
        if (ended++ == 0) rowsWhenEnded = m_window->list()->rowCount();
    });
    m_window->form().show();
    QTimer::singleShot(0, this, [&] { m_window->form().close(); });
    if (byDrop) {
        auto data = filesData(files, {"f"});
        QVERIFY(dropOn(m_window->list(), data.get()));
    } else {
        m_window->dialogs.folderAnswers.append(files.path("f"));
        QTest::mouseClick(m_window->find<QPushButton>("PushButton9"), Qt::LeftButton);
    }
    QCOMPARE(ended, 1);
    QVERIFY(rowsWhenEnded < 3);  // before the walk was through
    // Closing when idle is an ordinary close.
    m_window->form().show();
    m_window->form().close();
    QCOMPARE(ended, 1);
}

// Taking such a drop would answer Move, and the source would then remove
// the files it dragged.
void DropTest::dropOfferingOnlyMoveIsRefused() {
    Tree files({"a.xml"});
    auto data = filesData(files, {"a.xml"});
    QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window->list()->viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QDragEnterEvent offersCopy(QPoint(5, 5), Qt::MoveAction | Qt::CopyAction, data.get(),
                               Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window->list()->viewport(), &offersCopy);
    QVERIFY(offersCopy.isAccepted());
    QCOMPARE(offersCopy.dropAction(), Qt::CopyAction);
}

void DropTest::walkShowsProgressAndRefusesAnotherDrop() {
    Tree files({"f/a.xml", "f/s/b.xml", "f/s/t/c.xml", "f/s/t/u/d.xml", "g.xml"});
    auto* bar = m_window->form().ProgressBar1();
    QStringList captions;
    bool secondTaken = true;
    auto second = filesData(files, {"g.xml"});
    QTimer during;
    connect(&during, &QTimer::timeout, this, [&] {
        if (!m_window->list()->isWalking()) return;
        captions.append(bar->text());
        if (captions.size() == 1) secondTaken = dragOver(m_window->list(), second.get());
    });
    during.start(0);
    auto data = filesData(files, {"f"});
    QVERIFY(dropOn(m_window->list(), data.get()));
    QVERIFY(!captions.isEmpty());
    QVERIFY2(captions.constFirst().startsWith(u"Looking for files: "), qPrintable(captions[0]));
    QVERIFY(captions.constFirst().endsWith(u" found"));
    QVERIFY(!secondTaken);
    QCOMPARE(m_window->list()->rowCount(), 4);
    QCOMPARE(bar->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(m_window->form().pointer(), Pointer::Default);
    QVERIFY(dropOn(m_window->list(), second.get()));  // taken once the walk is over
}

// Two names that differ in one byte that is not UTF-8 look different, in the
// row and its tooltip, while the row keeps the exact name for the run.
void DropTest::undecodableBytesShownDistinctly() {
    auto* list = m_window->list();
    for (const char* name : {"/x/caf\xE9.xml", "/x/caf\xE8.xml"}) {
        list->append(QString::fromStdU16String(mv::engine::fromNative(name)));
    }
    const QStringList shown = {list->topLevelItem(0)->text(0), list->topLevelItem(1)->text(0)};
    QCOMPARE(shown,
             QStringList({QStringLiteral("/x/caf\\xE9.xml"), QStringLiteral("/x/caf\\xE8.xml")}));
    QCOMPARE(list->topLevelItem(1)->data(0, Qt::ToolTipRole).toString(), shown[1]);
    QCOMPARE(mv::engine::toNative(list->rowText(1).toStdU16String()), "/x/caf\xE9.xml");
    // Swapping rows by the mouse moves the exact names.
    mv::test::mouseOnList(list, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    mv::test::mouseOnList(list, QEvent::MouseMove, 1, Qt::LeftButton);
    mv::test::mouseOnList(list, QEvent::MouseButtonRelease, 1, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(mv::engine::toNative(list->rowText(2).toStdU16String()), "/x/caf\xE9.xml");
}

void DropTest::startArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("usageError");
    QTest::newRow("absolute and relative") << QStringList{"/a/b.xml", "c.xml", "d/"}
                                           << QStringList{"/a/b.xml", "/w/c.xml", "/w/d/"} << false;
    QTest::newRow("a lone dash is a name") << QStringList{"-"} << QStringList{"/w/-"} << false;
    QTest::newRow("after --, dashes are names")
        << QStringList{"--", "-x.xml"} << QStringList{"/w/-x.xml"} << false;
    QTest::newRow("unknown option")
        << QStringList{"a.xml", "--frobnicate"} << QStringList{} << true;
}

void DropTest::startArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, paths);
    QFETCH(bool, usageError);
    std::vector<std::string> argv;
    for (const QString& a : arguments) argv.push_back(a.toStdString());
    const mv::app::StartArguments start = mv::app::parseStartArguments(argv, "/w");
    QCOMPARE(start.paths, paths);
    QCOMPARE(!start.error.empty(), usageError);
}

void DropTest::startPathsAddedAsDropped() {
    Tree files({"f/a.xml", "f/s/b.txt", "g.xml"});
    m_window->form().addPaths({files.path("g.xml"), files.path("f"), files.path("gone.xml")});
    QCOMPARE(files.relative(mv::test::rows(m_window->list())),
             QStringList({"g.xml", "f/a.xml", "f/s/b.txt"}));
}

QTEST_MAIN(DropTest)
#include "drop_test.moc"
