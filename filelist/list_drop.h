/* Files and folders dropped on the list from a file manager.

   Only a list of local files (text/uri-list) can be dropped. A dropped file
   is appended exactly as delivered, whatever its name; a dropped folder is
   scanned with its whole tree as the folder button scans it, but every file
   is taken ("*.*"). A path that vanished before the drop is passed over. */
#pragma once

#include <QStringList>
#include <functional>

#include "report/error_report.h"
#include "walk/folder_scan.h"

class QMimeData;

namespace mv::filelist {

// Whether the data is a non-empty list of local files and folders.
bool CanDropOnList(const QMimeData* data);
// The dropped paths in the order they were delivered.
QStringList DroppedPaths(const QMimeData* data);

// Appends what was dropped, through `append`. Only the folder walk's own
// failures reach `report`; the drop itself shows none.
void ListView1_OLEDragDrop(const QStringList& dropped,
                           const std::function<void(const QString&)>& append,
                           report::ErrorReport& report, const walk::Yield& yield);

// A name as shown to a person: every byte that is not part of valid UTF-8
// (a lone surrogate U+DC80..U+DCFF in the exact name) is spelt "\xE9".
QString VisibleName(const QString& exact);

}  // namespace mv::filelist
