// SIGINT, SIGTERM and SIGHUP end the window as they end the CLI: the
// temporary files in flight go, and the exit status is 128 + the signal.

#include <signal.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class SignalTest : public QObject {
    Q_OBJECT
private slots:
    void signalRemovesFilesInFlight_data();
    void signalRemovesFilesInFlight();
};

void SignalTest::signalRemovesFilesInFlight_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void SignalTest::signalRemovesFilesInFlight() {
    QFETCH(int, signal);
    QTemporaryDir out;
    QProcess window;
    window.start(QStringLiteral(MV_SIGNAL_CHILD), {out.path()});
    QVERIFY(window.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return window.canReadLine(); }, 20000));
    QCOMPARE(window.readLine(), QByteArray("ready\n"));
    const QDir::Filters all = QDir::Files | QDir::Hidden;
    QCOMPARE(QDir(out.path()).entryList(all).size(), 1);
    QCOMPARE(::kill(pid_t(window.processId()), signal), 0);
    QVERIFY(window.waitForFinished(10000));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 128 + signal);
    QCOMPARE(QDir(out.path()).entryList(all), QStringList{});
}

QTEST_MAIN(SignalTest)
#include "signal_test.moc"
