// The main window: its controls, the settings store, the output
// options and folder box, browsing for the output folder, and the pointer.

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/dialog_report.h"
#include "app/progress_bar.h"
#include "app/startup.h"
#include "report/failure.h"
#include "report/locations.h"
#include "window_fixture.h"

using mv::run::Pointer;
using mv::test::Window;
using mv::test::WindowTest;
using mv::ui::SettingKey;

namespace {

// The colours drawn on the window's surface, inside both frames, and in the
// empty part of both option buttons.
QList<QColor> surfaceColours(mv::app::Form1& form) {
    const QImage image = form.grab().toImage();
    QList<QColor> colours;
    const auto at = [&](const char* name, QPoint local) {
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(name));
        colours.append(image.pixelColor(w->mapTo(&form, local)));
    };
    at("Form1Client", QPoint(3, 300));
    at("Frame3", QPoint(500, 100));
    at("Frame4", QPoint(448, 40));
    at("Option1", QPoint(238, 8));
    at("Option2", QPoint(238, 8));
    return colours;
}

}  // namespace

class Form1Test : public WindowTest {
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void clientAreaAndCaption();
    void tabOrder();
    void firstStartWithEmptyStore_data();
    void firstStartWithEmptyStore();
    void optionsPersistAcrossRestart_data();
    void optionsPersistAcrossRestart();
    void storedFlags_data();
    void storedFlags();
    void typingStoresEveryChange();
    void browse_data();
    void browse();
    void browseStartsAtLastChosenFolder();
    void skin_data();
    void skin();
    void appTitle_data();
    void appTitle();
    void pointerOnHover_data();
    void pointerOnHover();
    void pointerFiles_data();
    void pointerFiles();
    void errorReportBox();
    void errorReportBoxWithQuietCheck();
    void unwritableSettingsSaidOnce();

private:
    int m_boxWidth = 0;
};

void Form1Test::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("points");
    // Pixels are twips / 15, rounded to the nearest.
    QTest::newRow("list") << "ListView1"
                          << "mv::filelist::FileList" << QRect(8, 8, 520, 169) << "" << 9.0;
    QTest::newRow("add files") << "PushButton8"
                               << "QPushButton" << QRect(8, 183, 256, 27) << "Add XML File(s)"
                               << 11.25;
    QTest::newRow("add folder") << "PushButton9"
                                << "QPushButton" << QRect(272, 183, 256, 27)
                                << "Add All XML File(s) In Folder" << 11.25;
    QTest::newRow("clear") << "PushButton4"
                           << "QPushButton" << QRect(8, 217, 256, 27) << "Clear List" << 11.25;
    QTest::newRow("samples") << "PushButton5"
                             << "QPushButton" << QRect(272, 217, 256, 27)
                             << "Load Sample/Example Files" << 11.25;
    QTest::newRow("start") << "PushButton7"
                           << "QPushButton" << QRect(8, 376, 520, 27) << "Start Converting"
                           << 11.25;
    QTest::newRow("progress") << "ProgressBar1"
                              << "mv::app::ProgressBar" << QRect(8, 411, 520, 27) << "Progress Bar"
                              << 9.0;
    QTest::newRow("save frame") << "Frame3"
                                << "QGroupBox" << QRect(8, 247, 520, 121) << "Save Option" << 9.0;
    QTest::newRow("folder frame") << "Frame4"
                                  << "QGroupBox" << QRect(32, 34, 456, 54) << "" << 9.0;
    QTest::newRow("folder box") << "Text1"
                                << "QLineEdit" << QRect(16, 20, 378, 23) << "" << 9.0;
    QTest::newRow("browse") << "PushButton1"
                            << "QPushButton" << QRect(400, 20, 40, 23) << "..." << 11.25;
    QTest::newRow("option 1") << "Option1"
                              << "QRadioButton" << QRect(16, 20, 241, 17)
                              << "Save results to this folder:" << 9.0;
    QTest::newRow("option 2") << "Option2"
                              << "QRadioButton" << QRect(16, 94, 241, 17)
                              << "Save results in folder of original file" << 9.0;
}

void Form1Test::controls() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(double, points);
    auto* control = m_window->form().findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(control->geometry(), geometry);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) QCOMPARE(button->text(), caption);
    if (auto* frame = qobject_cast<QGroupBox*>(control)) QCOMPARE(frame->title(), caption);
    if (auto* bar = qobject_cast<mv::app::ProgressBar*>(control)) QCOMPARE(bar->text(), caption);
    QCOMPARE(control->font().pointSizeF(), points);
    QVERIFY(control->font().bold());
    QCOMPARE(control->font().families().value(0), QStringLiteral("Liberation Sans"));
}

void Form1Test::clientAreaAndCaption() {
    mv::app::Form1& form = m_window->form();
    QCOMPARE(form.size(), QSize(536, 446));
    QCOMPARE(form.windowTitle(), QStringLiteral("Marrowvale"));
    QVERIFY(!form.windowIcon().isNull());
    // White surfaces, as drawn: the window, both frames and beside both options.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const QColor& seen : surfaceColours(form)) QCOMPARE(seen, QColor(Qt::white));
}

void Form1Test::tabOrder() {
    const QStringList expected{"ListView1",   "PushButton8", "PushButton9", "PushButton4",
                               "PushButton5", "PushButton7", "Text1",       "PushButton1",
                               "Option1",     "Option2"};
    QStringList order;
    QWidget* w = m_window->list();
    do {
        if (w->focusPolicy() & Qt::TabFocus) order.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w != m_window->list());
    QCOMPARE(order, expected);
}

void Form1Test::firstStartWithEmptyStore_data() {
    QTest::addColumn<bool>("hasDesktop");
    QTest::newRow("desktop folder: the default") << true;
    QTest::newRow("no desktop folder: the home folder") << false;
}

void Form1Test::firstStartWithEmptyStore() {
    QFETCH(bool, hasDesktop);
    mv::test::Tree home(hasDesktop ? QStringList{"Desktop/", "a.xml"} : QStringList{"a.xml"});
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    m_window = std::make_unique<Window>();
    qputenv("HOME", oldHome);
    const QString desktop = home.path(hasDesktop ? QStringLiteral("Desktop") : QString()) + u'/';
    QCOMPARE(QDir::cleanPath(m_window->form().Text1()->text()) + u'/', desktop);
    QVERIFY(m_window->form().Text1()->text().endsWith(u'/'));
    QVERIFY(m_window->form().Option1()->isChecked());
    QVERIFY(!m_window->form().Option2()->isChecked());
    QVERIFY(m_window->find<QGroupBox>("Frame4")->isEnabled());
    QCOMPARE(m_window->list()->rowCount(), 0);
    QCOMPARE(m_window->list()->headerItem()->text(0), QStringLiteral("XML File(s)"));
    QCOMPARE(m_window->list()->columnCount(), 1);
    QCOMPARE(m_window->list()->columnWidth(0), 467);  // 7000 twips
    QVERIFY(m_window->list()->toolTip().startsWith(u"Drag and drop files here."));
    QCOMPARE(m_window->form().appTitle(), QStringLiteral("Marrowvale"));
    QCOMPARE(m_window->form().pointer(), Pointer::Default);
    QVERIFY(m_window->dialogs.shown.isEmpty());
    // Filling the box at start-up is a change like any other.
    QCOMPARE(m_window->stored(SettingKey::Text1), m_window->form().Text1()->text());
    // The very first run writes there.
    m_window->list()->append(home.path(QStringLiteral("a.xml")));
    QTest::mouseClick(m_window->find<QPushButton>("PushButton7"), Qt::LeftButton);
    QCOMPARE(m_window->dialogs.summary(), QStringList{"message:Done."});
    QVERIFY(QFileInfo::exists(desktop + QStringLiteral("a.json")));
}

void Form1Test::optionsPersistAcrossRestart_data() {
    QTest::addColumn<QString>("click");
    QTest::addColumn<bool>("first");
    QTest::addColumn<QString>("storedFirst");
    QTest::addColumn<QString>("storedSecond");
    QTest::newRow("second option") << "Option2" << false << "False"
                                   << "True";
    QTest::newRow("second then first") << "Option2,Option1" << true << "True"
                                       << "False";
    QTest::newRow("first again") << "Option1" << true << "True"
                                 << "False";
}

void Form1Test::optionsPersistAcrossRestart() {
    QFETCH(QString, click);
    QFETCH(bool, first);
    QFETCH(QString, storedFirst);
    QFETCH(QString, storedSecond);
    for (const QString& name : click.split(u',')) {
        QTest::mouseClick(m_window->find<QRadioButton>(qPrintable(name)), Qt::LeftButton);
    }
    QCOMPARE(m_window->stored(SettingKey::Option1), storedFirst);
    QCOMPARE(m_window->stored(SettingKey::Option2), storedSecond);
    QCOMPARE(m_window->find<QGroupBox>("Frame4")->isEnabled(), first);

    m_window->form().Text1()->setText(QStringLiteral("/data/out, final/"));
    m_window->restart();
    QCOMPARE(m_window->form().Option1()->isChecked(), first);
    QCOMPARE(m_window->form().Option2()->isChecked(), !first);
    QCOMPARE(m_window->find<QGroupBox>("Frame4")->isEnabled(), first);
    QCOMPARE(m_window->form().Text1()->text(), QStringLiteral("/data/out, final/"));
}

void Form1Test::storedFlags_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("firstOn");
    QTest::addColumn<bool>("secondOn");
    QTest::addColumn<QStringList>("reports");
    QTest::newRow("words") << "False"
                           << "True" << false << true << QStringList{};
    QTest::newRow("any case") << "true"
                              << "FALSE" << true << false << QStringList{};
    QTest::newRow("numbers") << "0"
                             << "-1" << false << true << QStringList{};
    QTest::newRow("nonzero is yes") << "7"
                                    << "0" << true << false << QStringList{};
    // A text that is no yes-or-no value fails its step; the option keeps its state.
    QTest::newRow("garbage") << "maybe"
                             << "1" << false << true << QStringList{"138"};
}

void Form1Test::storedFlags() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, firstOn);
    QFETCH(bool, secondOn);
    QFETCH(QStringList, reports);
    m_window->settings->setText(SettingKey::Option1, first);
    m_window->settings->setText(SettingKey::Option2, second);
    m_window->dialogs.shown.clear();
    m_window->restart();
    QCOMPARE(m_window->form().Option1()->isChecked(), firstOn);
    QCOMPARE(m_window->form().Option2()->isChecked(), secondOn);
    QStringList steps;
    for (const auto& box : m_window->dialogs.shown) {
        QVERIFY(box.text.contains(u"in Tessaline2021/08/31.Form1.Form_Load at line "));
        steps.append(box.text.section(QStringLiteral("at line "), 1).section(u'\r', 0, 0));
    }
    QCOMPARE(steps, reports);
}

void Form1Test::typingStoresEveryChange() {
    QLineEdit* box = m_window->form().Text1();
    box->clear();
    box->setFocus();
    QString typed;
    for (QChar c : QStringLiteral("/tmp/x")) {
        QTest::keyClick(box, c.toLatin1());
        typed += c;
        QCOMPARE(m_window->stored(SettingKey::Text1), typed);
    }
    m_window->restart();
    QCOMPARE(m_window->form().Text1()->text(), typed);
}

void Form1Test::browse_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("folderBox");
    QTest::addColumn<QString>("lastFolder");
    QTest::newRow("cancelled") << ""
                               << "/before/"
                               << "<none>";
    QTest::newRow("folder") << "/srv/data"
                            << "/srv/data/"
                            << "/srv/data";
    QTest::newRow("folder with separator") << "/srv/data/"
                                           << "/srv/data/"
                                           << "/srv/data";
    QTest::newRow("root") << "/"
                          << "/"
                          << "/";
    QTest::newRow("spaces and unicode") << "/srv/Ünïcode dir"
                                        << "/srv/Ünïcode dir/"
                                        << "/srv/Ünïcode dir";
}

void Form1Test::browse() {
    QFETCH(QString, answer);
    QFETCH(QString, folderBox);
    QFETCH(QString, lastFolder);
    m_window->form().Text1()->setText(QStringLiteral("/before/"));
    if (!answer.isEmpty()) m_window->dialogs.folderAnswers = {answer};
    QTest::mouseClick(m_window->find<QPushButton>("PushButton1"), Qt::LeftButton);
    QCOMPARE(m_window->dialogs.summary(), QStringList{"folder:"});
    QCOMPARE(m_window->dialogs.shown.value(0).title, QStringLiteral("Please select folder:"));
    QCOMPARE(m_window->form().Text1()->text(), folderBox);
    QCOMPARE(m_window->stored(SettingKey::LastFolderDot), lastFolder);
    QCOMPARE(m_window->stored(SettingKey::Text1), folderBox);
}

void Form1Test::browseStartsAtLastChosenFolder() {
    m_window->dialogs.folderAnswers = {QStringLiteral("/srv/a"), QStringLiteral("/srv/b")};
    QPushButton* button = m_window->find<QPushButton>("PushButton1");
    QTest::mouseClick(button, Qt::LeftButton);
    m_window->restart();
    QTest::mouseClick(m_window->find<QPushButton>("PushButton1"), Qt::LeftButton);
    QTest::mouseClick(m_window->find<QPushButton>("PushButton1"), Qt::LeftButton);  // cancelled
    QCOMPARE(m_window->dialogs.folderStarts, (QStringList{"", "/srv/a", "/srv/b"}));
    QCOMPARE(m_window->stored(SettingKey::LastFolderDot), QStringLiteral("/srv/b"));
}

void Form1Test::skin_data() {
    QTest::addColumn<QString>("skin");  // the file's text; null for no file
    QTest::addColumn<bool>("recoloured");
    QTest::addColumn<bool>("styled");
    QTest::addColumn<int>("reports");
    QTest::newRow("no skin file") << QString() << false << false << 0;
    QTest::newRow("skin file") << "QPushButton { color: red; }" << true << true << 0;
    QTest::newRow("unreadable skin (a folder)") << "<folder>" << true << false << 1;
}

void Form1Test::skin() {
    QFETCH(QString, skin);
    QFETCH(bool, recoloured);
    QFETCH(bool, styled);
    QFETCH(int, reports);
    QTemporaryDir program;
    QDir(program.path()).mkpath(QStringLiteral("x"));
    const QString skinPath = program.filePath(QStringLiteral("x/o.cjs"));
    if (skin == u"<folder>") {
        QDir().mkpath(skinPath);
    } else if (!skin.isNull()) {
        QFile file(skinPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(skin.toUtf8());
    }
    m_window->setProgramFolder(program.path());
    m_window->restart();
    const QColor face = QApplication::palette().color(QPalette::Button);
    m_window->form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window->form()));
    for (const QColor& seen : surfaceColours(m_window->form())) {
        QCOMPARE(seen, recoloured ? face : QColor(Qt::white));
    }
    QCOMPARE(!m_window->form().styleSheet().isEmpty(), styled);
    QCOMPARE(m_window->dialogs.shown.size(), reports);
    if (reports) QVERIFY(m_window->dialogs.shown[0].text.contains(u"Form_Load at line 100\r\r"));
    // Start-up goes on after the skin: the caption and the list's column are set.
    QCOMPARE(m_window->form().windowTitle(), QStringLiteral("Marrowvale"));
    QCOMPARE(m_window->list()->headerItem()->text(0), QStringLiteral("XML File(s)"));
}

void Form1Test::appTitle_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("title");
    QTest::newRow("no blank: kept whole") << "Marrowvale"
                                          << "Marrowvale";
    QTest::newRow("two words") << "Marrowvale Converter"
                               << "Marrowvale";
    QTest::newRow("30 characters in five words") << "Alpha Beta Gamma Delta Epsilonn"
                                                 << "Alpha Beta Gamma Delta";
    QTest::newRow("over 40 after one removal")
        << "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeeee"
        << "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc";
    QTest::newRow("trailing blank") << "Marrowvale "
                                    << "Marrowvale";
}

void Form1Test::appTitle() {
    QFETCH(QString, product);
    QFETCH(QString, title);
    QCOMPARE(mv::app::appTitleFor(product), title);
}

void Form1Test::pointerOnHover_data() {
    QTest::addColumn<QStringList>("hovers");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("pointer");
    QTest::addColumn<int>("shape");
    const int custom = int(Pointer::Custom), standard = int(Pointer::Default);
    const int hourglass = int(Pointer::Hourglass);
    QTest::newRow("button") << QStringList{"PushButton7"} << false << custom
                            << int(Qt::BitmapCursor);
    QTest::newRow("browse button")
        << QStringList{"PushButton1"} << false << custom << int(Qt::BitmapCursor);
    QTest::newRow("button then frame")
        << QStringList{"PushButton8", "Frame3"} << false << standard << int(Qt::ArrowCursor);
    QTest::newRow("button then window")
        << QStringList{"PushButton4", "Form1Client"} << false << standard << int(Qt::ArrowCursor);
    QTest::newRow("button then folder frame")
        << QStringList{"PushButton9", "Frame4"} << false << standard << int(Qt::ArrowCursor);
    QTest::newRow("busy: button keeps the hourglass")
        << QStringList{"PushButton7"} << true << hourglass << int(Qt::WaitCursor);
    QTest::newRow("busy: frame keeps the hourglass")
        << QStringList{"Frame3"} << true << hourglass << int(Qt::WaitCursor);
}

void Form1Test::pointerOnHover() {
    QFETCH(QStringList, hovers);
    QFETCH(bool, busy);
    QFETCH(int, pointer);
    QFETCH(int, shape);
    if (busy) m_window->form().setPointer(Pointer::Hourglass);
    for (const QString& name : hovers) mv::test::hover(m_window->find<QWidget>(qPrintable(name)));
    QCOMPARE(int(m_window->form().pointer()), pointer);
    QCOMPARE(int(m_window->form().cursor().shape()), shape);
    // The list resets the pointer too, but never the hourglass.
    mv::test::hover(m_window->list()->viewport());
    mv::test::mouseOnListAt(m_window->list(), QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    QCOMPARE(m_window->form().pointer(), busy ? Pointer::Hourglass : Pointer::Default);
}

void Form1Test::pointerFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QPoint>("hotspot");
    QTest::addColumn<bool>("loads");
    QTest::newRow("hand cursor") << "HAND-M.CUR" << QPoint(7, 0) << true;
    QTest::newRow("drag icon: centre") << "drag.ico" << QPoint(16, 16) << true;
    QTest::newRow("missing") << "no-such.cur" << QPoint() << false;
    QTest::newRow("not a picture") << "form1_test" << QPoint() << false;
}

void Form1Test::pointerFiles() {
    QFETCH(QString, file);
    QFETCH(QPoint, hotspot);
    QFETCH(bool, loads);
    const QString path = QCoreApplication::applicationDirPath() + u'/' + file;
    try {
        const QCursor cursor = mv::app::loadPointerFile(path);
        QVERIFY(loads);
        QCOMPARE(cursor.hotSpot(), hotspot);
        QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
    } catch (const mv::report::Failure&) {
        QVERIFY(!loads);
    }
}

void Form1Test::errorReportBox() {
    mv::app::DialogReport report(m_window->dialogs, &m_window->form());
    report.show("Path not found: /out", mv::report::locations::kPushButton7Click, 158);
    QCOMPARE(m_window->dialogs.shown.size(), 1);
    QCOMPARE(m_window->dialogs.shown[0].kind, QStringLiteral("error"));
    QCOMPARE(m_window->dialogs.shown[0].title, QStringLiteral("Application Error"));
    QCOMPARE(
        m_window->dialogs.shown[0].text,
        QStringLiteral("Path not found: /out\r\nin Tessaline2021/08/31.Form1.PushButton7_Click "
                       "at line 158\r\rPlease email screenshot of this message to ") +
            QString::fromLatin1(mv::report::supportEmail().data(),
                                qsizetype(mv::report::supportEmail().size())));
}

void Form1Test::errorReportBoxWithQuietCheck() {
    const QString text = QStringLiteral(
        "File not found: /in/a.xml\r\nin Tessaline2021/08/31.Form1.PushButton7_Click at line "
        "154\r\rPlease email screenshot of this message to x@y");
    const auto plain = mv::ui::errorReportBox(nullptr, text, false);
    const auto offered = mv::ui::errorReportBox(nullptr, text, true);
    // Left alone, the check box changes nothing of the report itself.
    for (QMessageBox* box : {plain.get(), offered.get()}) {
        QCOMPARE(box->text(), QStringLiteral("File not found: /in/a.xml\nin "
                                             "Tessaline2021/08/31.Form1.PushButton7_Click at "
                                             "line 154\n\nPlease email screenshot of this "
                                             "message to x@y"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Application Error"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(!plain->checkBox());
    QVERIFY(offered->checkBox());
    QCOMPARE(offered->checkBox()->text(),
             QStringLiteral("Do not show further reports in this run"));
    QVERIFY(!offered->checkBox()->isChecked());

    // Every box is wider than its title, which a window manager draws above
    // it beside an icon and its buttons.
    mv::ui::QtDialogs dialogs;
    QTimer::singleShot(0, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        m_boxWidth = box->width();
        box->accept();
    });
    dialogs.message(nullptr, QStringLiteral("A title much longer than its text"),
                    QStringLiteral("Done."));
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int titleBarButtons = 120;
    QVERIFY(m_boxWidth > QFontMetrics(bold).horizontalAdvance(
                             QStringLiteral("A title much longer than its text")) +
                             titleBarButtons);
}

void Form1Test::unwritableSettingsSaidOnce() {
    // A store under a plain file cannot be written, whoever runs the test.
    mv::test::Tree tree({"plain"});
    mv::ui::Settings store(tree.path(QStringLiteral("plain/store.ini")));
    mv::test::FakeDialogs dialogs;
    mv::app::Form1 form(dialogs, store,
                        mv::ui::ProgramFolder(QCoreApplication::applicationDirPath()));
    QVERIFY(dialogs.shown.isEmpty());  // reading the defaults is no failure
    QTest::mouseClick(form.Option2(), Qt::LeftButton);
    QTest::mouseClick(form.Option1(), Qt::LeftButton);
    form.Text1()->setText(QStringLiteral("/tmp/"));
    QCOMPARE(dialogs.summary().size(), 1);
    QCOMPARE(dialogs.shown[0].kind, QStringLiteral("warning"));
    QVERIFY(dialogs.shown[0].text.contains(tree.path(QStringLiteral("plain/store.ini"))));
    // Meanwhile the choices hold for this session.
    QCOMPARE(store.text(SettingKey::Text1), QStringLiteral("/tmp/"));
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
