// Pictures of the main window with a few rows, in a light and a dark desktop
// palette, saved under the build folder (build/screenshots/form1-light.png,
// form1-dark.png; "@2x" before ".png" at scale factor 2). MV_SCREENSHOT_DIR
// in the environment names another folder. Under a real X server
// (QT_QPA_PLATFORM=xcb, e.g. inside xvfb-run) the picture is taken from the
// screen itself.

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include "window_fixture.h"

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void window_data();
    void window();
};

void ScreenshotTest::window_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void ScreenshotTest::window() {
    QFETCH(bool, dark);
    const QPalette before = QApplication::palette();
    if (dark) QApplication::setPalette(mv::test::darkPalette());
    mv::test::Window window;
    window.form().Text1()->setText(QStringLiteral("/home/ana/Documents/json/"));
    for (const char* name :
         {"cafe-menu-1252.xml", "library.xml", "note.xml", "sensor-log.xml", "unicode-utf16.xml"}) {
        window.list()->append(QStringLiteral("/home/ana/Documents/xml/") + QLatin1String(name));
    }
    // A path longer than the column, shortened in the middle.
    window.list()->append(QStringLiteral(
        "/home/ana/Documents/xml/archive/2021/exports/quarterly/region-north/batch-07/report.xml"));
    window.list()->setCurrentItem(window.list()->topLevelItem(1));
    window.form().move(0, 0);
    window.form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form()));
    QTest::qWait(200);

    QPixmap picture;
    if (QGuiApplication::platformName() == u"xcb") {
        picture = window.form().screen()->grabWindow(window.form().winId());
    } else {
        picture = window.form().grab();
    }
    const qreal scale = window.form().devicePixelRatioF();
    QCOMPARE(picture.size(), QSize(qRound(536 * scale), qRound(446 * scale)));
    QApplication::setPalette(before);
    QString folder = qEnvironmentVariable("MV_SCREENSHOT_DIR");
    if (folder.isEmpty()) folder = QStringLiteral(MV_SCREENSHOT_DIR);
    const QString target = QStringLiteral("%1/form1-%2%3.png")
                               .arg(folder, dark ? QStringLiteral("dark") : QStringLiteral("light"),
                                    scale > 1 ? QStringLiteral("@%1x").arg(scale) : QString());
    QDir().mkpath(folder);
    QVERIFY(picture.save(target));
    QVERIFY(QFileInfo(target).size() > 1000);
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
