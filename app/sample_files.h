/* The example files that ship in Samples/ beside the program
   ("Load Sample/Example Files"). */
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "app/dialogs.h"

namespace mv::filelist {
class FileList;
}

namespace mv::app {

// Shows a folder in the desktop's file manager; tests give one that records.
using FolderOpener = std::function<void(const QUrl& folder)>;
// QDesktopServices::openUrl; whether the desktop managed is not examined.
void openInFileManager(const QUrl& folder);

QString openSamplesQuestion();

// Appends every file of `sampleFolder` that is not yet listed (same text,
// same letter case), in the order of the folder listing, then asks whether
// to open the folder and opens it on Yes.
void LoadSampleFiles(filelist::FileList& list, const QString& sampleFolder, Dialogs& dialogs,
                     QWidget* owner, const QString& title, const FolderOpener& open);

}  // namespace mv::app
