// "Start Converting" in the window: real files converted into a temporary
// folder through the button, the messages shown, the progress bar and
// pointer, and what the window allows while a run goes on.

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/progress_bar.h"
#include "app/reported_files.h"
#include "engine/native_text.h"
#include "window_fixture.h"

using mv::run::Pointer;
using mv::test::FakeDialogs;
using mv::test::ShownBox;
using mv::test::Window;

namespace {

// The worked example: a small garden in Windows-1252 with CR LF lines.
const QByteArray kGarden =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<garden>\r\n"
    "  <plant kind=\"herb\">Basil</plant>\r\n  <plant kind=\"tree\">Olive</plant>\r\n"
    "</garden>\r\n";
const QByteArray kGardenJson =
    " { \r\n{\"garden\":\"  plant kind=\\\"herb\\\"Basil\"},\r\n{\"plant "
    "kind=\"tree\"\":\"Olive\"},"
    "\r\n{\"garden\":\"\"}\r\n } ";
const QByteArray kNote = "<note><to>Ana</to></note>";
// The root's first child runs into the root's value.
const QByteArray kNoteJson = " { \r\n{\"note\":\"toAna\"},\r\n{\"note\":\"\"}\r\n } ";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class ConversionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void convertsIntoChosenFolder();
    void convertsBesideSources();
    void duringRun_data();
    void duringRun();
    void closingDuringRunEndsAtOnce();
    void furtherReportsCountedOnceTicked();
    void reportedFilesListedAndSaved();

private:
    void clickStart() {
        QTest::mouseClick(m_window->find<QPushButton>("PushButton7"), Qt::LeftButton);
    }
    QString src(const QString& name) const { return m_sources.filePath(name); }
    std::unique_ptr<Window> m_window;
    QTemporaryDir m_sources;
    QTemporaryDir m_out;
};

void ConversionTest::init() {
    m_window = std::make_unique<Window>();
    QVERIFY(m_sources.isValid() && m_out.isValid());
    writeFile(src(QStringLiteral("garden.xml")), kGarden);
    writeFile(src(QStringLiteral("note.v1.xml")), kNote);
    writeFile(src(QStringLiteral("empty.xml")), QByteArray());
}

void ConversionTest::cleanup() {
    m_window.reset();
    QDir(m_out.path()).removeRecursively();
    QDir().mkpath(m_out.path());
}

void ConversionTest::refusals_data() {
    QTest::addColumn<bool>("withRows");
    QTest::addColumn<QString>("folder");  // "<out>" for the temporary output folder
    QTest::addColumn<bool>("beside");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list") << false << "<out>" << false << "No files added.";
    QTest::newRow("empty list, missing folder")
        << false << "/no/such/dir/" << false << "No files added.";
    const QString missing = QStringLiteral("Folder does not exist. Please select another folder.");
    QTest::newRow("missing folder") << true << "/no/such/dir/" << false << missing;
    QTest::newRow("a file, not a folder") << true << "<file>" << false << missing;
    QTest::newRow("empty folder box") << true << "" << false << missing;
}

void ConversionTest::refusals() {
    QFETCH(bool, withRows);
    QFETCH(QString, folder);
    QFETCH(bool, beside);
    QFETCH(QString, message);
    if (folder == u"<out>") folder = m_out.path();
    if (folder == u"<file>") folder = src(QStringLiteral("garden.xml"));
    if (withRows) m_window->list()->append(src(QStringLiteral("garden.xml")));
    m_window->form().Text1()->setText(folder);
    if (beside) QTest::mouseClick(m_window->form().Option2(), Qt::LeftButton);
    clickStart();
    QCOMPARE(m_window->dialogs.summary(), QStringList{"message:" + message});
    QCOMPARE(m_window->dialogs.shown[0].title, QStringLiteral("Marrowvale"));
    QVERIFY(!m_window->form().isConverting());
    QCOMPARE(QDir(m_out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
    QCOMPARE(QDir(m_sources.path()).entryList(QDir::Files).size(), 3);
}

void ConversionTest::convertsIntoChosenFolder() {
    auto* list = m_window->list();
    list->append(src(QStringLiteral("garden.xml")));
    list->append(src(QStringLiteral("empty.xml")));
    list->append(src(QStringLiteral("note.v1.xml")));
    m_window->form().Text1()->setText(m_out.path());  // no final separator: the run adds one
    clickStart();

    QCOMPARE(readFile(m_out.filePath(QStringLiteral("garden.json"))), kGardenJson);
    QCOMPARE(readFile(m_out.filePath(QStringLiteral("note.v1.json"))), kNoteJson);
    QCOMPARE(readFile(m_out.filePath(QStringLiteral("empty.json"))), QByteArray());
    // An empty source has no last chunk: one report, then the run goes on.
    const QStringList shown = m_window->dialogs.summary();
    QCOMPARE(shown.size(), 2);
    QVERIFY(
        shown[0].startsWith(u"error:Subscript out of range\r\nin Tessaline2021/08/31.Form1."
                            u"PushButton7_Click at line 160\r\r"));
    QCOMPARE(shown[1], QStringLiteral("message:Done."));
    QCOMPARE(m_window->dialogs.shown[1].title, QStringLiteral("Marrowvale"));

    auto* bar = m_window->form().ProgressBar1();
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(m_window->form().pointer(), Pointer::Default);
    QVERIFY(!m_window->form().isConverting());
    QCOMPARE(list->rowCount(), 3);  // the list is kept for another run
}

void ConversionTest::convertsBesideSources() {
    m_window->list()->append(src(QStringLiteral("garden.xml")));
    m_window->form().Text1()->setText(QStringLiteral("/no/such/dir/"));  // not used
    QTest::mouseClick(m_window->form().Option2(), Qt::LeftButton);
    clickStart();
    QCOMPARE(m_window->dialogs.summary(), QStringList{"message:Done."});
    QCOMPARE(readFile(src(QStringLiteral("garden.json"))), kGardenJson);
}

void ConversionTest::duringRun_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QStringList>("outputs");
    const QStringList both{"garden.xml", "note.v1.xml"};
    const QStringList done{"message:Done."};
    QTest::newRow("second press is ignored")
        << "press" << done << both << QStringList{"garden.json", "note.v1.json"};
    QTest::newRow("delete is refused")
        << "delete" << done << both << QStringList{"garden.json", "note.v1.json"};
    QTest::newRow("clear is refused")
        << "clear" << done << both << QStringList{"garden.json", "note.v1.json"};
    // Rows added during a run wait for the next run: the count is fixed at the start.
    QTest::newRow("added row waits")
        << "append" << done << QStringList{"garden.xml", "note.v1.xml", "empty.xml"}
        << QStringList{"garden.json", "note.v1.json"};
    // Reordering is allowed: the second row, not yet converted, is swapped with
    // the first, already taken; the first is then converted twice.
    QTest::newRow("reorder rows still to come")
        << "reorder" << done << QStringList{"note.v1.xml", "garden.xml"}
        << QStringList{"garden.json"};
    // The options are read for every file, after the yield that shows it.
    QTest::newRow("option changed during the run") << "beside" << done << both << QStringList{};
}

void ConversionTest::duringRun() {
    QFETCH(QString, action);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QStringList, outputs);
    auto* list = m_window->list();
    list->append(src(QStringLiteral("garden.xml")));
    list->append(src(QStringLiteral("note.v1.xml")));
    list->setCurrentItem(list->topLevelItem(1));
    m_window->form().Text1()->setText(m_out.path() + u'/');

    bool acted = false;
    // Runs at the run's first yield, as a person acting during the run.
    QTimer::singleShot(0, this, [&] {
        acted = true;
        QVERIFY(m_window->form().isConverting());
        QCOMPARE(m_window->form().pointer(), Pointer::Hourglass);
        QCOMPARE(m_window->form().cursor().shape(), Qt::WaitCursor);
        QVERIFY(m_window->form().ProgressBar1()->text().startsWith(u"Processing: garden.xml"));
        mv::test::hover(m_window->find<QWidget>("PushButton8"));
        QCOMPARE(m_window->form().pointer(), Pointer::Hourglass);
        if (action == u"press") clickStart();
        if (action == u"delete") QTest::keyClick(list, Qt::Key_Delete);
        if (action == u"clear") {
            QTest::mouseClick(m_window->find<QPushButton>("PushButton4"), Qt::LeftButton);
        }
        if (action == u"append") list->append(src(QStringLiteral("empty.xml")));
        if (action == u"reorder") {
            mv::test::mouseOnList(list, QEvent::MouseButtonPress, 1, Qt::LeftButton,
                                  Qt::LeftButton);
            mv::test::mouseOnList(list, QEvent::MouseMove, 0, Qt::LeftButton);
            mv::test::mouseOnList(list, QEvent::MouseButtonRelease, 0, Qt::NoButton,
                                  Qt::LeftButton);
        }
        if (action == u"beside") QTest::mouseClick(m_window->form().Option2(), Qt::LeftButton);
    });
    clickStart();
    QVERIFY(acted);
    QCOMPARE(m_window->dialogs.summary(), messages);
    QStringList names;
    for (const QString& row : mv::test::rows(list)) names.append(QFileInfo(row).fileName());
    QCOMPARE(names, rowsAfter);
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files, QDir::Name), outputs);
    if (action == u"beside") {
        QCOMPARE(readFile(src(QStringLiteral("garden.json"))), kGardenJson);
        QCOMPARE(readFile(src(QStringLiteral("note.v1.json"))), kNoteJson);
    }
}

void ConversionTest::closingDuringRunEndsAtOnce() {
    m_window->list()->append(src(QStringLiteral("garden.xml")));
    m_window->list()->append(src(QStringLiteral("note.v1.xml")));
    m_window->form().Text1()->setText(m_out.path() + u'/');
    int ended = 0;
    QStringList presentWhenEnded{"<not ended>"};
    m_window->form().setEndProgram([&] {
        ++ended;
        presentWhenEnded = QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden);
    });
    m_window->form().show();
    QTimer::singleShot(0, this, [&] { m_window->form().close(); });
    clickStart();
    QCOMPARE(ended, 1);
    // The program ends before the first result is in place; nothing half
    // written stands in the output folder, not even a temporary file.
    QCOMPARE(presentWhenEnded, QStringList{});
    // Closing when idle is an ordinary close.
    m_window->form().show();
    m_window->form().close();
    QCOMPARE(ended, 1);
}

void ConversionTest::furtherReportsCountedOnceTicked() {
    for (int i = 0; i < 3; ++i) m_window->list()->append(src(QStringLiteral("gone.xml")));
    m_window->form().Text1()->setText(m_out.path() + u'/');
    FakeDialogs& dialogs = m_window->dialogs;
    const auto errors = [&] {
        return std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                             [](const ShownBox& box) { return box.kind == u"error"; });
    };

    // Left alone, every report is shown, each offering the check box.
    clickStart();
    const qsizetype all = errors();
    QVERIFY(all > 3);
    QCOMPARE(dialogs.quietOffers, all);
    QCOMPARE(dialogs.summary().constLast(), QStringLiteral("message:Done."));

    // Ticked on the first box: the rest are counted and given after "Done.",
    // with the files that had reports, which "Save List…" writes out.
    dialogs.shown.clear();
    dialogs.quietAnswers = {true};
    dialogs.saveListAnswers = {true};
    const QString list = m_out.filePath(QStringLiteral("reported.txt"));
    dialogs.saveFileAnswers = {list};
    clickStart();
    QStringList shown = dialogs.summary();
    QCOMPARE(shown.size(), 4);
    QVERIFY(shown[0].startsWith(u"error:"));
    QCOMPARE(shown[1], QStringLiteral("message:Done."));
    QVERIFY2(shown[2].startsWith(
                 QStringLiteral("count:%1 further reports of this run were not shown.\n\n")
                     .arg(all - 1)),
             qPrintable(shown[2]));
    QVERIFY(shown[3].startsWith(u"save:"));
    QCOMPARE(dialogs.countDetails, QStringList{src(QStringLiteral("gone.xml"))});
    QFile saved(list);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), src(QStringLiteral("gone.xml")).toUtf8() + '\n');

    // The next run shows its reports again.
    dialogs.shown.clear();
    clickStart();
    QCOMPARE(errors(), all);
}

// The count box names at most 1,000 files, each once; the saved list has
// them all, with the exact bytes of names that are not UTF-8.
void ConversionTest::reportedFilesListedAndSaved() {
    mv::app::ReportedFiles files;
    const QString odd = QString::fromStdU16String(mv::engine::fromNative("/s/caf\xE9.xml"));
    files.note(odd);
    for (int i = 0; i < 1002; ++i) files.note(QStringLiteral("/s/%1.xml").arg(i));
    files.note(odd);
    const QStringList lines = files.details(mv::app::kListedReportFiles).split(u'\n');
    QCOMPARE(lines.size(), 1001);
    QCOMPARE(lines.constFirst(), QStringLiteral("/s/caf\\xE9.xml"));
    QCOMPARE(lines.constLast(), QStringLiteral("... and 3 more; Save List... writes them all."));
    const QString path = m_out.filePath(QStringLiteral("list.txt"));
    QCOMPARE(files.save(path), QString());
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> written = saved.readAll().split('\n');
    QCOMPARE(written.size(), 1004);  // and the empty text after the last line break
    QCOMPARE(written.constFirst(), QByteArray("/s/caf\xE9.xml"));
    QVERIFY(!files.save(m_out.filePath(QStringLiteral("no/such/folder/list.txt"))).isEmpty());
}

QTEST_MAIN(ConversionTest)
#include "conversion_test.moc"
