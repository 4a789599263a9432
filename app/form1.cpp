#include "app/form1.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <cstdlib>

#include "app/focus_ring.h"
#include "app/progress_bar.h"
#include "app/startup.h"
#include "filelist/file_list.h"
#include "filelist/folder_browser.h"
#include "filelist/list_drop.h"
#include "paths/paths.h"
#include "report/failure.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "ui/qt_text.h"

namespace mv::app {

namespace {

constexpr int kColumnTwips = 7000;
const QString kSkinFile = QStringLiteral("x/o.cjs");
const QString kHandPointer = QStringLiteral("HAND-M.CUR");
const QString kDragPointer = QStringLiteral("drag.ico");

void endAtOnce() {
    std::fflush(nullptr);
    std::_Exit(0);
}

QString unshownReportsMessage(std::int64_t count, qsizetype files) {
    QString text =
        count == 1 ? QStringLiteral("1 further report of this run was not shown.")
                   : QStringLiteral("%1 further reports of this run were not shown.").arg(count);
    if (files > 0) {
        text += QStringLiteral(
            "\n\nThe files that had reports are listed under Show Details; Save List writes "
            "them to a text file.");
    }
    return text;
}

QString walkCaption(qint64 found) {
    return QStringLiteral("Looking for files: %1 found")
        .arg(QLocale(QLocale::English).toString(found));
}

QIcon applicationIcon() {
    QIcon icon(QStringLiteral(":/marrowvale/marrowvale.png"));
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/marrowvale/marrowvale-%1.png").arg(size));
    }
    return icon;
}

QString unwritableSettingsMessage(const QString& file) {
    return QStringLiteral(
               "The settings cannot be saved to %1. Changes made now are lost when the program "
               "ends.")
        .arg(file);
}

}  // namespace

Form1::Form1(ui::Dialogs& dialogs, ui::Settings& settings, const ui::ProgramFolder& folder,
             QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(dialogs),
      m_settings(settings),
      m_folder(folder),
      m_report(dialogs, this),
      m_host(*this),
      m_run(m_host, m_report),
      m_endProgram(endAtOnce),
      m_openFolder(openInFileManager) {
    setObjectName(QStringLiteral("Form1"));
    createControls();
    setAccessibleTexts();
    m_focusRing = new FocusRing(this);
    connectHandlers();
    Form_Load();
    m_settings.setWriteFailure([this] {
        m_dialogs.message(this, m_appTitle, unwritableSettingsMessage(m_settings.fileName()),
                          ui::BoxIcon::Warning);
    });
}

Form1::~Form1() {
    m_settings.setWriteFailure({});
}

void Form1::runLongWork(const std::function<void()>& work) {
    ++m_longWork;
    m_report.beginSession();
    if (m_longWork == 1) m_host.forgetFile();
    work();
    if (m_longWork == 1) m_host.forgetFile();
    const std::int64_t unshown = m_report.endSession();
    --m_longWork;
    m_host.flush();
    if (unshown > 0) showUnshownReports(unshown);
}

void Form1::showUnshownReports(std::int64_t unshown) {
    const ReportedFiles& files = m_report.reportedFiles();
    const bool save =
        m_dialogs.reportCount(this, unshownReportsMessage(unshown, files.files().size()),
                              files.details(kListedReportFiles));
    if (!save) return;
    const QString path =
        m_dialogs.chooseSaveFile(this, QString::fromUtf16(ui::kSaveList).chopped(1),
                                 QDir::home().filePath(QStringLiteral("reported-files.txt")));
    if (path.isEmpty()) return;
    const QString error = files.save(path);
    if (!error.isEmpty()) {
        m_dialogs.message(this, m_appTitle,
                          QStringLiteral("The list could not be saved to %1:\n%2")
                              .arg(filelist::VisibleName(path), error),
                          ui::BoxIcon::Warning);
    }
}

void Form1::addPaths(const QStringList& paths) {
    if (!paths.isEmpty()) m_listView1->addDropped(paths);
}

void Form1::walkProgress(qint64 found) {
    if (found == 0) m_captionBeforeWalk = m_progressBar1->text();
    // Drawn when the walk next lets events run, between folders.
    m_progressBar1->setCaption(walkCaption(found));
}

void Form1::walkEnded() {
    // A run that began meanwhile has put a caption of its own.
    if (m_progressBar1->text().startsWith(walkCaption(0).section(u':', 0, 0))) {
        m_progressBar1->setCaption(m_captionBeforeWalk);
    }
}

void Form1::connectHandlers() {
    connect(m_option1, &QRadioButton::clicked, this, &Form1::Option1_Click);
    connect(m_option2, &QRadioButton::clicked, this, &Form1::Option2_Click);
    connect(m_text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(m_pushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(m_pushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(m_pushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(m_pushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(m_pushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(m_pushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);

    connect(m_listView1, &filelist::FileList::walkProgress, this, &Form1::walkProgress);
    connect(m_listView1, &filelist::FileList::walkEnded, this, &Form1::walkEnded);
    m_report.setSubject([this] { return ui::toQString(m_host.currentFile()); });
    m_listView1->setBusyTest([this] { return isBusy(); });
    m_listView1->setDropReport(&m_report);
    m_listView1->setLongWork([this](const std::function<void()>& work) { runLongWork(work); });
    m_listView1->setPointerReset([this] {
        if (!isBusy()) setPointer(run::Pointer::Default);
    });
    m_listView1->setDragPointer([this] {
        QCursor cursor(Qt::SizeVerCursor);  // without drag.ico the row is dragged all the same
        report::failureOf([&] { cursor = loadPointerFile(m_folder.file(kDragPointer)); });
        return cursor;
    });
    // The pointer follows the mouse over buttons and surfaces.
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_pushButton1, m_pushButton4, m_pushButton5, m_pushButton7, m_pushButton8,
             m_pushButton9, centralWidget(), m_frame3, m_frame4, m_text1}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    // Enter and Return press the focused option as well.
    m_option1->installEventFilter(this);
    m_option2->installEventFilter(this);
}

void Form1::setPointer(run::Pointer pointer) {
    // A run sets the hourglass for every file; setting it again is not free.
    if (pointer == m_pointer && pointer == run::Pointer::Hourglass) return;
    m_pointer = pointer;
    switch (pointer) {
        case run::Pointer::Hourglass:
            setCursor(Qt::WaitCursor);
            break;
        case run::Pointer::Custom:
            setCursor(m_customPointer);
            break;
        case run::Pointer::Default:
            unsetCursor();
            break;
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Enter and Return press the focused button as the space bar does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter) && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove && !isBusy() && !qobject_cast<QRadioButton*>(watched)) {
        // A move that a button ignores travels on to the frame and window
        // beneath it, so look at what is under the pointer, not who is told.
        auto* surface = static_cast<QWidget*>(watched);
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        bool overButton = qobject_cast<QPushButton*>(surface) != nullptr;
        for (QPushButton* button : surface->findChildren<QPushButton*>()) {
            if (QRect(button->mapTo(surface, QPoint(0, 0)), button->size()).contains(at)) {
                overButton = true;
            }
        }
        setPointer(overButton ? run::Pointer::Custom : run::Pointer::Default);
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    // Runs and walks let events in between files, chunks and folders; closing
    // in the middle of one ends the program at once instead of leaving it to
    // run on without a window.
    if (m_longWork > 0) m_endProgram();
}

void Form1::Form_Load() {
    report::StepRunner step(m_report, report::locations::kFormLoad);
    step(100, [&] { ApplySkin(); });
    step(102, [&] {
        setWindowTitle(ui::toQString(kProductName));
        setWindowIcon(applicationIcon());
        SetAppTitle();
    });
    const QString hand = m_folder.file(kHandPointer);
    if (step.test(104, [&] { return paths::FileExists(ui::toU16(hand)); })) {
        step(106, [&] { m_customPointer = loadPointerFile(hand); });
    }
    step(132, [&] { m_listView1->setHeaderLabels({QStringLiteral("XML File(s)")}); });
    step(134, [&] { m_listView1->setColumnWidth(0, (kColumnTwips + 7) / 15); });
    step(136, [&] {
        const QString desktop = GetDesktopFolder();  // worked out before the store is read
        m_text1->setText(m_settings.text(ui::SettingKey::Text1, desktop));
    });
    step(138, [&] { m_option1->setChecked(m_settings.flag(ui::SettingKey::Option1)); });
    step(140, [&] { m_option2->setChecked(m_settings.flag(ui::SettingKey::Option2)); });
    if (step.test(142, [&] { return m_option1->isChecked(); })) {
        step(144, [&] { m_frame4->setEnabled(true); });
    } else {
        step(146, [&] { m_frame4->setEnabled(false); });
    }
}

void Form1::ApplySkin() {
    const QString skin = m_folder.file(kSkinFile);
    if (!QFileInfo::exists(skin)) return;
    const QColor face = palette().color(QPalette::Button);
    const QColor faceText = palette().color(QPalette::ButtonText);
    for (QWidget* surface : std::initializer_list<QWidget*>{centralWidget(), m_frame3, m_frame4,
                                                            m_option1, m_option2}) {
        fixColours(surface, face, faceText);
    }
    paintFrame(m_frame3, face, faceText);
    paintFrame(m_frame4, face, faceText);
    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        throw report::Failure(report::FailureKind::PathFileAccessError, skin.toStdString());
    }
    // Under a style sheet the window's own colour must be a rule as well.
    setStyleSheet(
        QStringLiteral("QWidget#Form1Client { background-color: %1; }\n").arg(face.name()) +
        QString::fromUtf8(file.readAll()));
}

void Form1::SetAppTitle() {
    m_appTitle = appTitleFor(ui::toQString(kProductName));
}

void Form1::storeOptions() {
    m_settings.setFlag(ui::SettingKey::Option1, m_option1->isChecked());
    m_settings.setFlag(ui::SettingKey::Option2, m_option2->isChecked());
    m_frame4->setEnabled(m_option1->isChecked());
}

void Form1::Option1_Click() {
    storeOptions();
}

void Form1::Option2_Click() {
    storeOptions();
}

void Form1::Text1_Change() {
    m_settings.setText(ui::SettingKey::Text1, m_text1->text());
}

void Form1::PushButton1_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton1Click);
    QString chosen;
    step(100, [&] {
        const QString start = m_settings.text(ui::SettingKey::LastFolderDot);
        chosen = filelist::BrowseForFolder(m_dialogs, this, QStringLiteral("Please select folder:"),
                                           start);
    });
    if (step.test(102, [&] { return chosen.isEmpty(); })) return;
    bool endsInSeparator = false;
    step(104, [&] {
        m_settings.setText(ui::SettingKey::LastFolderDot, chosen);
        endsInSeparator = chosen.endsWith(QChar(paths::kNativeSeparator));
    });
    if (!endsInSeparator) {
        step(106, [&] { m_text1->setText(chosen + QChar(paths::kNativeSeparator)); });
    } else {
        step(108, [&] { m_text1->setText(chosen); });  // the root keeps its one separator
    }
}

void Form1::PushButton4_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton4Click);
    step(100, [&] { m_listView1->clearRows(); });
}

void Form1::PushButton7_Click() {
    runLongWork([this] { m_run.PushButton7_Click(); });
}

}  // namespace mv::app
