#include "app/sample_files.h"

#include <QDesktopServices>

#include "filelist/file_list.h"
#include "filelist/list_drop.h"
#include "paths/paths.h"
#include "ui/qt_text.h"
#include "walk/folder_scan.h"

namespace mv::app {

bool openInFileManager(const QUrl& folder) {
    return QDesktopServices::openUrl(folder);
}

QString openSamplesQuestion() {
    return QStringLiteral(
        "Would you like this software to open the folder where these sample files are stored "
        "(so that you can view them before working with them)?");
}

QString samplesNotOpenedMessage(const QString& folder) {
    return QStringLiteral(
               "No file manager could open the folder of the sample files. You find them in:\n%1")
        .arg(filelist::VisibleName(folder));
}

void LoadSampleFiles(filelist::FileList& list, const QString& sampleFolder, ui::Dialogs& dialogs,
                     QWidget* owner, const QString& title, const FolderOpener& open) {
    const QString prefix = sampleFolder + QChar(paths::kNativeSeparator);
    // A missing or empty folder lists nothing; the question is asked all the same.
    for (const std::u16string& name : walk::ListFolderFiles(ui::toU16(sampleFolder), u"*.*")) {
        const QString path = prefix + ui::toQString(name);
        if (paths::FileExists(ui::toU16(path)) && !list.IsListed(path)) list.append(path);
    }
    if (dialogs.question(owner, title, openSamplesQuestion()) && open &&
        !open(QUrl::fromLocalFile(prefix))) {
        dialogs.message(owner, title, samplesNotOpenedMessage(prefix));
    }
}

}  // namespace mv::app
