// A script's "alert" and "input" boxes, shown by the window.

#include <QTest>

#include "app/script_dialogs.h"
#include "fake_dialogs.h"

using mv::test::FakeDialogs;

class ScriptDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void alert_data();
    void alert();
    void input_data();
    void input();
    void parserError();
};

void ScriptDialogsTest::alert_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::newRow("own title") << "Done"
                               << "Done";
    QTest::newRow("no title: the window's caption") << ""
                                                    << "Marrowvale";
}

void ScriptDialogsTest::alert() {
    QFETCH(QString, title);
    QFETCH(QString, caption);
    FakeDialogs dialogs;
    mv::app::WindowScriptDialogs boxes(dialogs, nullptr, QStringLiteral("Marrowvale"));
    boxes.alert(title.toStdU16String(), u"3 files\r\nconverted");
    QCOMPARE(dialogs.summary(), QStringList{"information:3 files\r\nconverted"});
    QCOMPARE(dialogs.shown.first().title, caption);
}

void ScriptDialogsTest::input_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("result");
    QTest::newRow("answered") << QStringList{"zwei"} << "Ask"
                              << "Ask"
                              << "zwei";
    QTest::newRow("cancelled: empty text") << QStringList{} << "Ask"
                                           << "Ask"
                                           << "";
    QTest::newRow("no title") << QStringList{"x"} << ""
                              << "Marrowvale"
                              << "x";
}

void ScriptDialogsTest::input() {
    QFETCH(QStringList, answers);
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QFETCH(QString, result);
    FakeDialogs dialogs;
    dialogs.inputAnswers = answers;
    mv::app::WindowScriptDialogs boxes(dialogs, nullptr, QStringLiteral("Marrowvale"));
    const std::u16string got = boxes.input(u"Name?", title.toStdU16String(), u"eins");
    QCOMPARE(QString::fromStdU16String(got), result);
    QCOMPARE(dialogs.summary(), QStringList{"input:Name?"});
    QCOMPARE(dialogs.shown.first().title, caption);
    QCOMPARE(dialogs.inputPresets, QStringList{"eins"});
}

void ScriptDialogsTest::parserError() {
    FakeDialogs dialogs;
    mv::app::WindowScriptDialogs boxes(dialogs, nullptr, QStringLiteral("Marrowvale"));
    boxes.parserError(u"line 1: unexpected end");
    QCOMPARE(dialogs.summary(), QStringList{"warning:line 1: unexpected end"});
    QCOMPARE(dialogs.shown.first().title, QStringLiteral("Parser Error"));
}

QTEST_MAIN(ScriptDialogsTest)
#include "script_dialogs_test.moc"
