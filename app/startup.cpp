#include "app/startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QStandardPaths>

#include "report/failure.h"

namespace mv::app {

namespace {

bool unset(const char* value) {
    return value == nullptr || *value == '\0';
}

std::uint16_t littleEndian16(const QByteArray& bytes, int at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

}  // namespace

QString appTitleFor(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0) break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

QString GetDesktopFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) {
        throw report::Failure(report::FailureKind::PathNotFound, "desktop folder");
    }
    // Many accounts have no desktop folder; a default that does not exist
    // would refuse the very first run.
    if (!QFileInfo(desktop).isDir()) desktop = QDir::homePath();
    return desktop.endsWith(u'/') ? desktop : desktop + u'/';
}

QCursor loadPointerFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw report::Failure(report::FailureKind::FileNotFound, path.toStdString());
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QImageReader reader(path, "ico");
    const QImage image = reader.read();
    // Header: reserved, type (1 icon, 2 cursor), count; then the first entry,
    // whose planes and bit-count words hold a cursor's hotspot.
    if (image.isNull() || bytes.size() < 22) {
        throw report::Failure(report::FailureKind::Unexpected,
                              "invalid picture: " + path.toStdString());
    }
    int hotX = image.width() / 2, hotY = image.height() / 2;
    if (littleEndian16(bytes, 2) == 2) {
        hotX = littleEndian16(bytes, 10);
        hotY = littleEndian16(bytes, 12);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

std::string missingDisplayLine(const char* display, const char* waylandDisplay,
                               const char* qpaPlatform) {
    if (!unset(display) || !unset(waylandDisplay) || !unset(qpaPlatform)) return {};
    return "marrowvale: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are unset); "
           "try `xvfb-run -a marrowvale`, or convert with `marrowvale-cli convert FILE...`";
}

}  // namespace mv::app
