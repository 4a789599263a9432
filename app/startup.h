// Start-up helpers of the main window: the application title, the desktop
// folder, the pointer files and the check for a display.
#pragma once

#include <QCursor>
#include <QString>
#include <string>

namespace mv::app {

inline constexpr const char16_t* kProductName = u"Marrowvale";

// The application title: the product name less its last word, repeated while
// longer than 40 characters. A name without a blank is kept whole.
QString appTitleFor(const QString& productName);

// The desktop folder with a final separator, or the home folder where the
// desktop folder does not exist; throws when the system names none.
QString GetDesktopFolder();

// A pointer from a Windows .cur or .ico file, with the hotspot the file
// names (the image's centre for an icon). Throws when the file is unreadable.
QCursor loadPointerFile(const QString& path);

// The line to print instead of starting, when no display can be reached;
// empty when one can. Arguments are the environment's values, or null.
std::string missingDisplayLine(const char* display, const char* waylandDisplay,
                               const char* qpaPlatform);

}  // namespace mv::app
