#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "extras/splash.h"
#include "report/failure.h"

using mv::extras::PauseSeconds;
using mv::extras::Splash;
using mv::ui::SettingKey;
using mv::ui::Settings;

class SplashTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    QStringList m_shownWhilePaused;
    double m_pausedFor = 0;

    QString programFolder() const { return m_dir.filePath(QStringLiteral("bin")); }
    void addPicture(const QString& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QVERIFY(image.save(programFolder() + "/Splash/" + name, "PNG"));
    }
    std::unique_ptr<Splash> makeSplash() {
        return std::make_unique<Splash>(*m_settings, mv::ui::ProgramFolder(programFolder()),
                                        [this](double seconds) {
                                            m_pausedFor = seconds;
                                            for (QWidget* w : QApplication::topLevelWidgets()) {
                                                if (w->isVisible())
                                                    m_shownWhilePaused << w->objectName();
                                            }
                                        });
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(programFolder() + "/Splash"));
        m_settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("settings.ini")));
        m_shownWhilePaused.clear();
        m_pausedFor = 0;
    }

    void showsThePictureForFourSecondsWithAStripBelowIt() {
        addPicture(QStringLiteral("picture.png"), 300, 120);
        auto splash = makeSplash();
        splash->SplashShow();
        QCOMPARE(m_shownWhilePaused, QStringList{QStringLiteral("Splash")});
        QCOMPARE(m_pausedFor, 4.0);
        QVERIFY(!splash->isVisible());  // hidden again, not destroyed
        QCOMPARE(splash->windowTitle(), QStringLiteral("Marrowvale"));
        // As wide as the picture, 300 twips (20 pixels) taller.
        QCOMPARE(splash->size(), QSize(300, 140));
        auto* check = splash->findChild<QCheckBox*>(QStringLiteral("Check1"));
        QVERIFY(check);
        QCOMPARE(check->text(), QStringLiteral("Hide this at next startup"));
        QCOMPARE(check->geometry(), QRect(8, 140 - 25 - 1, 281, 25));
        QVERIFY(!check->isChecked());
        auto* image = splash->findChild<QLabel*>(QStringLiteral("Image1"));
        QVERIFY(image);
        QCOMPARE(image->geometry(), QRect(0, 0, 300, 140));
    }

    void nothingIsShownWhenSwitchedOffOrWithoutAPicture_data() {
        QTest::addColumn<QString>("showAgain");
        QTest::addColumn<bool>("withPicture");
        QTest::newRow("switched off") << QStringLiteral("1") << true;
        QTest::newRow("any number but 0") << QStringLiteral("2.5") << true;
        QTest::newRow("no picture") << QStringLiteral("0") << false;
    }
    void nothingIsShownWhenSwitchedOffOrWithoutAPicture() {
        QFETCH(QString, showAgain);
        QFETCH(bool, withPicture);
        if (withPicture) addPicture(QStringLiteral("p.png"), 50, 50);
        m_settings->setText(SettingKey::ShowAgain, showAgain);
        auto splash = makeSplash();
        splash->SplashShow();
        QVERIFY(m_shownWhilePaused.isEmpty());
        QCOMPARE(m_pausedFor, 0.0);
    }

    void brokenSettingOrPictureIsRaisedToTheCaller() {
        m_settings->setText(SettingKey::ShowAgain, QStringLiteral("sometimes"));
        addPicture(QStringLiteral("p.png"), 50, 50);
        auto splash = makeSplash();
        QVERIFY_THROWS_EXCEPTION(mv::report::Failure, splash->SplashShow());
        m_settings->setText(SettingKey::ShowAgain, QStringLiteral("0"));
        QDir(programFolder() + "/Splash").removeRecursively();
        QDir().mkpath(programFolder() + "/Splash");
        QFile bad(programFolder() + "/Splash/not-a-picture.png");
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("plain text");
        bad.close();
        QVERIFY_THROWS_EXCEPTION(mv::report::Failure, splash->SplashShow());
        QVERIFY(m_shownWhilePaused.isEmpty());
    }

    void theCheckBoxStoresItsStateAtEveryClick() {
        addPicture(QStringLiteral("p.png"), 200, 100);
        auto splash = makeSplash();
        auto* check = splash->findChild<QCheckBox*>(QStringLiteral("Check1"));
        splash->SplashShow();
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
        QCOMPARE(m_settings->text(SettingKey::ShowAgain), QStringLiteral("1"));
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
        QCOMPARE(m_settings->text(SettingKey::ShowAgain), QStringLiteral("0"));
        m_shownWhilePaused.clear();
        splash->SplashShow();  // checked and unchecked again: shown next time
        QCOMPARE(m_shownWhilePaused.size(), 1);
    }

    void aPauseAcrossMidnightLastsTheFullTime() {
        // A clock that starts 1.5 s before midnight and moves 0.25 s a call.
        double now = 86398.5;
        int calls = 0;
        PauseSeconds(4, [&] {
            double t = now;
            now += 0.25;
            if (now >= 86400) now -= 86400;
            ++calls;
            return t;
        });
        QCOMPARE(calls, 1 + 16);  // the start, then 16 steps of 0.25 s, the last past midnight
    }
};

QTEST_MAIN(SplashTest)
#include "splash_test.moc"
