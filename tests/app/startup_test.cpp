// Before the window: finding the program's files, and the one line said
// when there is no display to open it on.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/startup.h"
#include "ui/program_folder.h"

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void programFolder_data();
    void programFolder();
    void missingDisplay_data();
    void missingDisplay();
    void noDisplayProcess();
};

void StartupTest::programFolder_data() {
    QTest::addColumn<QStringList>("present");  // files made under the tree
    QTest::addColumn<QString>("found");        // relative to the tree
    QTest::newRow("build tree: beside the program")
        << QStringList{"bin/drag.ico"} << "bin/drag.ico";
    QTest::newRow("installed: under share")
        << QStringList{"share/marrowvale/drag.ico"} << "share/marrowvale/drag.ico";
    QTest::newRow("both: beside wins")
        << QStringList{"bin/drag.ico", "share/marrowvale/drag.ico"} << "bin/drag.ico";
    QTest::newRow("neither: the path beside") << QStringList{} << "bin/drag.ico";
}

void StartupTest::programFolder() {
    QFETCH(QStringList, present);
    QFETCH(QString, found);
    QTemporaryDir tree;
    QDir(tree.path()).mkpath(QStringLiteral("bin"));
    for (const QString& file : present) {
        QDir(tree.path()).mkpath(QFileInfo(file).path());
        QFile made(tree.filePath(file));
        QVERIFY(made.open(QIODevice::WriteOnly));
    }
    const mv::ui::ProgramFolder folder(tree.filePath(QStringLiteral("bin")));
    QCOMPARE(QFileInfo(folder.file(QStringLiteral("drag.ico"))).absoluteFilePath(),
             QFileInfo(tree.filePath(found)).absoluteFilePath());
}

void StartupTest::missingDisplay_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("refused");
    QTest::newRow("nothing set") << QString() << QString() << QString() << true;
    QTest::newRow("all empty") << ""
                               << ""
                               << "" << true;
    QTest::newRow("X display") << ":0" << QString() << QString() << false;
    QTest::newRow("wayland") << QString() << "wayland-0" << QString() << false;
    QTest::newRow("platform chosen") << QString() << QString() << "offscreen" << false;
}

void StartupTest::missingDisplay() {
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(QString, platform);
    QFETCH(bool, refused);
    auto arg = [](const QString& s, QByteArray& keep) -> const char* {
        keep = s.toUtf8();
        return s.isNull() ? nullptr : keep.constData();
    };
    QByteArray a, b, c;
    const std::string line =
        mv::app::missingDisplayLine(arg(display, a), arg(wayland, b), arg(platform, c));
    QCOMPARE(!line.empty(), refused);
    if (refused) {
        QVERIFY(line.find("xvfb-run") != std::string::npos);
        QVERIFY(line.find("marrowvale-cli") != std::string::npos);
        QVERIFY(line.find('\n') == std::string::npos);
    }
}

void StartupTest::noDisplayProcess() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MV_MARROWVALE_EXE), {});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    const QByteArray err = program.readAllStandardError();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY(err.contains("xvfb-run"));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
