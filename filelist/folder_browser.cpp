#include "filelist/folder_browser.h"

#include <QDir>

namespace mv::filelist {

QString BrowseForFolder(ui::Dialogs& dialogs, QWidget* owner, const QString& prompt,
                        const QString& start) {
    const QString chosen = dialogs.chooseFolder(owner, prompt, start);
    if (chosen.isEmpty()) return {};
    return QDir::cleanPath(chosen);  // "/data/" gives "/data"; "/" stays "/"
}

}  // namespace mv::filelist
