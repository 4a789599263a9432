// A picture of the main window with a few rows, saved under the build folder
// (build/screenshots/form1.png). Under a real X server (QT_QPA_PLATFORM=xcb,
// e.g. inside xvfb-run) the picture is taken from the screen itself.

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
    void window();
};

void ScreenshotTest::window() {
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
    QCOMPARE(picture.size(), QSize(536, 446));
    QString target = qEnvironmentVariable("MV_SCREENSHOT");
    if (target.isEmpty()) target = QStringLiteral(MV_SCREENSHOT_DIR "/form1.png");
    QDir().mkpath(QFileInfo(target).absolutePath());
    QVERIFY(picture.save(target));
    QVERIFY(QFileInfo(target).size() > 1000);
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
