#include "ui/dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>

namespace mv::ui {

namespace {

// Boxes are given CR LF and bare CRs; on screen each is one line break.
QString shownLines(const QString& text) {
    QString shown = text;
    return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

// Room beside a title for a window manager's icon and its buttons.
constexpr int kTitleFrameExtra = 160;

}  // namespace

void fitTitle(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width =
        QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleFrameExtra;
    // The box sizes itself from its layout, so the width is a spacer's.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

std::unique_ptr<QMessageBox> errorReportBox(QWidget* owner, const QString& text, bool offerQuiet) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Application Error"),
                                      shownLines(text), QMessageBox::Ok, owner);
    if (offerQuiet) box->setCheckBox(new QCheckBox(QString::fromLatin1(kQuietReports)));
    fitTitle(*box);
    return box;
}

std::unique_ptr<QMessageBox> reportCountBox(QWidget* owner, const QString& text,
                                            const QString& details) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Application Error"),
                                      shownLines(text), QMessageBox::Ok, owner);
    box->setDetailedText(details);
    box->addButton(QString::fromUtf16(kSaveList), QMessageBox::ActionRole);
    // With two buttons the box finds no button for Escape by itself.
    box->setEscapeButton(box->button(QMessageBox::Ok));
    box->setDefaultButton(QMessageBox::Ok);
    fitTitle(*box);
    return box;
}

void QtDialogs::message(QWidget* owner, const QString& title, const QString& text, BoxIcon icon) {
    const QMessageBox::Icon shown = icon == BoxIcon::Information ? QMessageBox::Information
                                    : icon == BoxIcon::Warning   ? QMessageBox::Warning
                                                                 : QMessageBox::NoIcon;
    QMessageBox box(shown, title, shownLines(text), QMessageBox::Ok, owner);
    fitTitle(box);
    box.exec();
}

bool QtDialogs::question(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, shownLines(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
    fitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& prompt, const QString& start) {
    QFileDialog dialog(owner, prompt);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // An empty or missing start folder leaves the dialog at its own default.
    if (!start.isEmpty() && QDir(start).exists()) dialog.setDirectory(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QStringList QtDialogs::chooseFiles(QWidget* owner, const QString& title, const QString& folder,
                                   const QString& filter) {
    return QFileDialog::getOpenFileNames(owner, title, folder, filter);
}

bool QtDialogs::errorReport(QWidget* owner, const QString& text, bool offerQuiet) {
    const std::unique_ptr<QMessageBox> box = errorReportBox(owner, text, offerQuiet);
    box->exec();
    return box->checkBox() && box->checkBox()->isChecked();
}

QString QtDialogs::input(QWidget* owner, const QString& title, const QString& prompt,
                         const QString& preset) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, preset, &ok);
    return ok ? answer : QString();
}

bool QtDialogs::reportCount(QWidget* owner, const QString& text, const QString& details) {
    const std::unique_ptr<QMessageBox> box = reportCountBox(owner, text, details);
    box->exec();
    return box->clickedButton() != nullptr &&
           box->buttonRole(box->clickedButton()) == QMessageBox::ActionRole;
}

QString QtDialogs::chooseSaveFile(QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getSaveFileName(owner, title, start,
                                        QStringLiteral("Text files (*.txt);;All files (*)"));
}

}  // namespace mv::ui
