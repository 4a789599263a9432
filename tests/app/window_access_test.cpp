// The window for every user: dark desktop palettes, the keyboard alone, and
// screen readers (through Qt's accessibility interface).

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include "app/focus_ring.h"
#include "app/progress_bar.h"
#include "ui/dialogs.h"
#include "window_fixture.h"

using mv::test::Window;

namespace {

// Pixels dark enough to read on white.
int inkOnWhite(const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 96;
    }
    return ink;
}

}  // namespace

class WindowAccessTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { QApplication::setPalette(QApplication::style()->standardPalette()); }

    void captionsReadableOnWhite_data();
    void captionsReadableOnWhite();
    void enterPressesTheFocusedButton();
    void focusRingIsVisibleOnEveryControl_data();
    void focusRingIsVisibleOnEveryControl();
    void escapeClosesBoxes_data();
    void escapeClosesBoxes();
    void screenReaderTexts();
    void captionOfOption2FitsWithAStandInFont();
};

void WindowAccessTest::captionsReadableOnWhite_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light palette") << false;
    QTest::newRow("dark palette") << true;
}

// Light text on the white surfaces the layout fixes would leave nothing dark
// to read; the option marks count too.
void WindowAccessTest::captionsReadableOnWhite() {
    QFETCH(bool, dark);
    if (dark) QApplication::setPalette(mv::test::darkPalette());
    Window window;
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));
    auto* frame = window.find<QGroupBox>("Frame3");
    const QImage caption =
        frame->grab(QRect(0, 0, frame->width() / 3, frame->fontMetrics().height())).toImage();
    QVERIFY2(inkOnWhite(caption) > 20, "the caption \"Save Option\"");
    for (const char* name : {"Option1", "Option2"}) {
        QWidget* option = window.find<QWidget>(name);
        QVERIFY2(inkOnWhite(option->grab().toImage()) > 60, name);
        const QPalette p = option->palette();
        QVERIFY2(qGray(p.color(QPalette::Base).rgb()) - qGray(p.color(QPalette::Text).rgb()) > 128,
                 name);
    }
}

void WindowAccessTest::enterPressesTheFocusedButton() {
    Window window;
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));
    auto* add = window.find<QPushButton>("PushButton8");
    add->setFocus();
    QTest::keyClick(add, Qt::Key_Return);
    auto* option2 = window.find<QRadioButton>("Option2");
    option2->setFocus();
    QTest::keyClick(option2, Qt::Key_Enter);
    QCOMPARE(window.dialogs.summary(), QStringList{QStringLiteral("files:")});
    QVERIFY(option2->isChecked());
    QCOMPARE(window.stored(mv::ui::SettingKey::Option2), QStringLiteral("True"));
}

void WindowAccessTest::focusRingIsVisibleOnEveryControl_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"ListView1", "PushButton8", "PushButton9", "PushButton4",
                             "PushButton5", "PushButton7", "Text1", "PushButton1", "Option1"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

// The ring is drawn in the highlight colour just outside the control, on
// white and on the dark palette's surfaces alike.
void WindowAccessTest::focusRingIsVisibleOnEveryControl() {
    QFETCH(QString, name);
    Window window;
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));
    QApplication::setActiveWindow(&window.form());
    auto* control = window.form().findChild<QWidget*>(name);
    control->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(window.form().focusRing()->target(), control);
    const QColor highlight = window.form().focusRing()->palette().color(QPalette::Highlight);
    const QImage surface = control->parentWidget()->grab().toImage();
    const int line = mv::app::FocusRing::kGap + mv::app::FocusRing::kWidth / 2 + 1;
    const QRect around = control->geometry().adjusted(-line, -line, line - 1, line - 1);
    for (const QPoint p :
         {QPoint(around.center().x(), around.top()), QPoint(around.center().x(), around.bottom()),
          QPoint(around.left(), around.center().y()),
          QPoint(around.right(), around.center().y())}) {
        QVERIFY2(surface.pixelColor(p) == highlight,
                 qPrintable(QStringLiteral("at %1,%2 %3")
                                .arg(p.x())
                                .arg(p.y())
                                .arg(surface.pixelColor(p).name())));
    }
}

void WindowAccessTest::escapeClosesBoxes_data() {
    QTest::addColumn<QString>("box");
    for (const char* box : {"message", "question", "error report", "report count"}) {
        QTest::newRow(box) << QString::fromLatin1(box);
    }
}

void WindowAccessTest::escapeClosesBoxes() {
    QFETCH(QString, box);
    mv::ui::QtDialogs dialogs;
    int escapes = 0;
    QTimer pressEscape;
    connect(&pressEscape, &QTimer::timeout, this, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++escapes;
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
    pressEscape.start(50);
    bool saved = true;
    if (box == u"message") dialogs.message(nullptr, QStringLiteral("T"), QStringLiteral("text"));
    if (box == u"question")
        saved = dialogs.question(nullptr, QStringLiteral("T"), QStringLiteral("?"));
    if (box == u"error report") dialogs.errorReport(nullptr, QStringLiteral("text"), true);
    if (box == u"report count") {
        saved = dialogs.reportCount(nullptr, QStringLiteral("3 further reports"),
                                    QStringLiteral("/a.xml"));
    }
    QCOMPARE(escapes, 1);
    QVERIFY(box != u"question" || !saved);
    QVERIFY(box != u"report count" || !saved);
}

void WindowAccessTest::screenReaderTexts() {
    Window window;
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));
    const auto said = [&](const char* name, QAccessible::Text text) {
        QAccessibleInterface* face =
            QAccessible::queryAccessibleInterface(window.find<QWidget>(name));
        return face ? face->text(text) : QStringLiteral("<none>");
    };
    QCOMPARE(said("ListView1", QAccessible::Name), QStringLiteral("XML files to convert"));
    QCOMPARE(said("ListView1", QAccessible::Description),
             QString::fromLatin1(mv::filelist::kListHint));
    QCOMPARE(said("Text1", QAccessible::Name), QStringLiteral("Output folder"));
    QCOMPARE(said("PushButton1", QAccessible::Name), QStringLiteral("Choose output folder"));
    QCOMPARE(said("Option1", QAccessible::Name), QStringLiteral("Save results to this folder:"));
    QCOMPARE(said("Option2", QAccessible::Name),
             QStringLiteral("Save results in folder of original file"));
    for (const char* name : {"Text1", "PushButton1", "Option1", "Option2", "ProgressBar1"}) {
        QVERIFY2(!said(name, QAccessible::Description).isEmpty(), name);
    }
    QCOMPARE(said("ProgressBar1", QAccessible::Value), QStringLiteral("Progress Bar"));
    window.form().ProgressBar1()->setCaption(QStringLiteral("Processing: note.xml"));
    QCOMPARE(said("ProgressBar1", QAccessible::Value), QStringLiteral("Processing: note.xml"));
}

// Without Liberation Sans or Arial, a wider sans stands in: the caption is
// made to fit rather than lose its last word.
void WindowAccessTest::captionOfOption2FitsWithAStandInFont() {
    QFont wide(QStringLiteral("DejaVu Sans"));
    wide.setPointSizeF(9);
    wide.setBold(true);
    if (QFontInfo(wide).family() != u"DejaVu Sans") QSKIP("DejaVu Sans is not installed");
    QRadioButton option(QStringLiteral("Save results in folder of original file"));
    option.setFont(wide);
    option.setGeometry(0, 0, 241, 17);
    QVERIFY(option.sizeHint().width() > option.width());  // the stand-in would cut it
    mv::app::fitCaption(&option);
    QVERIFY(option.sizeHint().width() <= option.width());
    QVERIFY(option.font().pointSizeF() >= 7);
}

QTEST_MAIN(WindowAccessTest)
#include "window_access_test.moc"
