// The folder browser shared by the output-folder button and the folder scan.
#pragma once

#include <QString>

#include "ui/dialogs.h"

class QWidget;

namespace mv::filelist {

// Lets the user pick a folder, preset to `start`. Returns the folder's path,
// the root with its separator ("/") and any other folder without one, or
// empty text when the user cancelled.
QString BrowseForFolder(ui::Dialogs& dialogs, QWidget* owner, const QString& prompt,
                        const QString& start);

}  // namespace mv::filelist
