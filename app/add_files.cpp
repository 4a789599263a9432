#include "app/add_files.h"

#include <sys/stat.h>

#include <QFileInfo>

#include "engine/native_text.h"
#include "ui/qt_text.h"

namespace mv::app {

qsizetype pickedResultLength(const QStringList& picks) {
    if (picks.isEmpty()) return 0;
    if (picks.size() == 1) return picks.constFirst().size() + 1;
    qsizetype length = QFileInfo(picks.constFirst()).path().size() + 1;
    for (const QString& pick : picks) length += QFileInfo(pick).fileName().size() + 1;
    return length + 1;
}

// The same query that FileAttributes makes, asked without a failure.
bool HasBadFileName(const QString& path) {
    const std::string native = engine::toNative(ui::toU16(path));
    struct stat st {};
    return native.empty() || lstat(native.c_str(), &st) != 0;
}

QString addFilesTitle() {
    return QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
}

QString xmlFilesFilter() {
    return QStringLiteral("XML Files (*.xml)");
}

QString refusedFileMessage(const QString& path) {
    return path +
           QStringLiteral("\r\rwas not added because it has bad characters in the filename.");
}

QString tooManyFilesMessage() {
    return QStringLiteral(
        "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
}

}  // namespace mv::app
