// marrowvale-window-run: converts files through the main window, as pressing
// "Start Converting" does, and prints the seconds the run took and how often
// the progress bar was painted. Used by bench/window_vs_cli.sh beside
// marrowvale-cli on the same files.
//
//   marrowvale-window-run OUT_DIR FILE_OR_FOLDER...
//
// A folder gives its *.xml files and those of its sub-folders, as the folder
// button lists them. The window is shown on the offscreen platform unless
// QT_QPA_PLATFORM names another, so the run paints as it would on screen.
// Every box is answered at once; error reports go to stderr and make the
// exit status 1.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>

#include "app/form1.h"
#include "app/progress_bar.h"
#include "filelist/file_list.h"
#include "ui/dialogs.h"
#include "ui/settings.h"
#include "walk/folder_scan.h"

namespace {

class AnsweringDialogs : public mv::ui::Dialogs {
public:
    int reports = 0;
    void message(QWidget*, const QString&, const QString&, mv::ui::BoxIcon) override {}
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QStringList chooseFiles(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    bool errorReport(QWidget*, const QString& text, bool) override {
        ++reports;
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return false;
    }
    QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    bool reportCount(QWidget*, const QString&, const QString&) override { return false; }
    QString chooseSaveFile(QWidget*, const QString&, const QString&) override { return {}; }
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

class StderrReport : public mv::report::ErrorReport {
public:
    void show(const std::string& description, const mv::report::Location&, int) override {
        std::fprintf(stderr, "%s\n", description.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: marrowvale-window-run OUT_DIR FILE_OR_FOLDER...\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir store;
    mv::ui::Settings settings(store.filePath(QStringLiteral("store.ini")));
    AnsweringDialogs dialogs;
    mv::app::Form1 form(dialogs, settings,
                        mv::ui::ProgramFolder(QCoreApplication::applicationDirPath()));
    form.show();

    StderrReport scanReport;
    mv::filelist::FileList* list = form.ListView1();
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo(path).isDir()) {
            list->append(path);
            continue;
        }
        mv::walk::ScanFolderTree(
            path.toStdU16String(), u"*.xml",
            [list](const std::u16string& found) { list->append(QString::fromStdU16String(found)); },
            [] {}, scanReport);
    }
    form.Option1()->setChecked(true);
    form.Text1()->setText(QString::fromLocal8Bit(argv[1]) + u'/');

    PaintCounter counter;
    form.ProgressBar1()->installEventFilter(&counter);
    QElapsedTimer run;
    run.start();
    form.findChild<QPushButton*>(QStringLiteral("PushButton7"))->click();
    std::printf("%.3f %d\n", static_cast<double>(run.nsecsElapsed()) / 1e9, counter.paints);
    return dialogs.reports > 0 ? 1 : 0;
}
