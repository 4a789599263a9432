#include "app/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace mv::app {

void QtDialogs::message(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtDialogs::question(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
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
    // The report's CR LF and bare CRs are line breaks on screen.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Application Error"), shown,
                    QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace mv::app
