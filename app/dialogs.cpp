#include "app/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace mv::app {

namespace {

// Boxes are given CR LF and bare CRs; on screen each is one line break.
QString shownLines(const QString& text) {
    QString shown = text;
    return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

}  // namespace

void QtDialogs::message(QWidget* owner, const QString& title, const QString& text, BoxIcon icon) {
    const QMessageBox::Icon shown = icon == BoxIcon::Information ? QMessageBox::Information
                                    : icon == BoxIcon::Warning   ? QMessageBox::Warning
                                                                 : QMessageBox::NoIcon;
    QMessageBox box(shown, title, shownLines(text), QMessageBox::Ok, owner);
    box.exec();
}

bool QtDialogs::question(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, shownLines(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
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

void QtDialogs::errorReport(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Application Error"), shownLines(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

QString QtDialogs::input(QWidget* owner, const QString& title, const QString& prompt,
                         const QString& preset) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, preset, &ok);
    return ok ? answer : QString();
}

}  // namespace mv::app
