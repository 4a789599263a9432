/* The example files that ship in Samples/ beside the program
   ("Load Sample/Example Files"). */
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "ui/dialogs.h"

namespace mv::filelist {
class FileList;
}

namespace mv::app {

// Shows a folder in the desktop's file manager and says whether one took the
// request; tests give one that records.
using FolderOpener = std::function<bool(const QUrl& folder)>;
// QDesktopServices::openUrl.
bool openInFileManager(const QUrl& folder);

QString openSamplesQuestion();
// Said when no file manager took the sample folder, naming the folder.
QString samplesNotOpenedMessage(const QString& folder);

// Appends every file of `sampleFolder` that is not yet listed (same text,
// same letter case), in the order of the folder listing, then asks whether
// to open the folder and opens it on Yes; when nothing opens it, a box says
// so and names the folder, instead of nothing happening at all.
void LoadSampleFiles(filelist::FileList& list, const QString& sampleFolder, ui::Dialogs& dialogs,
                     QWidget* owner, const QString& title, const FolderOpener& open);

}  // namespace mv::app
