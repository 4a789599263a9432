/* Adding files through the open dialog ("Add XML File(s)").

   The dialog returns full paths. Its result is measured as the platform's
   open dialog writes it into its result buffer: one picked file as its path;
   several as their folder, then each name, every part closed by a NUL, and
   one more NUL at the end. A pick whose result would not fit
   kPickedResultLimit characters is refused as a whole with the hint to add
   the folder instead, so a loop over the picked names stays far below any
   counter's range. */
#pragma once

#include <QString>
#include <QStringList>

namespace mv::app {

inline constexpr qsizetype kPickedResultLimit = 32767;

// The length of the dialog's result for `picks`, counted as described above.
qsizetype pickedResultLength(const QStringList& picks);

// Whether the attributes of the path cannot be read, for whatever reason: the
// path as passed cannot reach the file. Reports nothing.
bool HasBadFileName(const QString& path);

// The texts of the dialog and of its two messages.
QString addFilesTitle();
QString xmlFilesFilter();
QString refusedFileMessage(const QString& path);
QString tooManyFilesMessage();

}  // namespace mv::app
