#include "filelist/list_drop.h"

#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "engine/native_text.h"
#include "paths/paths.h"
#include "report/locations.h"

namespace mv::filelist {

namespace {

constexpr std::u16string_view kEveryFile = u"*.*";

bool sameLocation(const report::Location& a, const report::Location& b) {
    return a.project == b.project && a.module == b.module && a.procedure == b.procedure;
}

// The scan reports the folder walk and its own steps to one sink. A drop
// shows the walk's reports and keeps quiet about the rest.
class WalkOnlyReport : public report::ErrorReport {
public:
    explicit WalkOnlyReport(report::ErrorReport& target) : m_target(target) {}
    void show(const std::string& description, const report::Location& where, int step) override {
        if (sameLocation(where, report::locations::kGetSubDirectories2016)) {
            m_target.show(description, where, step);
        }
    }

private:
    report::ErrorReport& m_target;
};

enum class Dropped { Folder, File, Gone };

Dropped kindOf(const std::u16string& path) {
    if (paths::IsFolder(path)) return Dropped::Folder;
    // A path that vanished between drag and drop is passed over.
    return paths::FileExists(path) ? Dropped::File : Dropped::Gone;
}

// The exact native name: a file manager percent-encodes the name's bytes,
// which need not be UTF-8, and QUrl::toLocalFile would turn such a byte into
// U+FFFD, naming a file that does not exist. "localhost" is this machine.
QString localPath(const QUrl& url) {
    QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    const QString host = url.host(QUrl::FullyEncoded);
    if (!host.isEmpty() && host.compare(u"localhost", Qt::CaseInsensitive) != 0) {
        bytes.prepend("//" + host.toLatin1());
    }
    return QString::fromStdU16String(
        engine::fromNative(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}

}  // namespace

bool CanDropOnList(const QMimeData* data) {
    if (data == nullptr || !data->hasFormat(QStringLiteral("text/uri-list"))) return false;
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() &&
           std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!CanDropOnList(data)) return paths;
    for (const QUrl& url : data->urls()) paths.append(localPath(url));
    return paths;
}

void ListView1_OLEDragDrop(const QStringList& droppedPaths,
                           const std::function<void(const QString&)>& appendRow,
                           report::ErrorReport& report, const walk::Yield& yield) {
    WalkOnlyReport walkReport(report);
    const walk::Append append = [&appendRow](const std::u16string& path) {
        appendRow(QString::fromStdU16String(path));
    };
    for (const QString& dropped : droppedPaths) {
        const std::u16string path = dropped.toStdU16String();
        switch (kindOf(path)) {
            case Dropped::Folder: {
                std::u16string folder = path;  // the scan adds the separator itself
                while (folder.size() > 1 && folder.back() == paths::kNativeSeparator) {
                    folder.pop_back();
                }
                walk::ScanFolderTree(folder, kEveryFile, append, yield, walkReport);
                break;
            }
            case Dropped::File:
                appendRow(dropped);
                break;
            case Dropped::Gone:
                break;
        }
    }
}

QString VisibleName(const QString& exact) {
    QString shown;
    shown.reserve(exact.size());
    for (const QChar c : exact) {
        const char16_t unit = c.unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            shown += QStringLiteral("\\x") +
                     QString::number(unit - 0xDC00, 16).toUpper().rightJustified(2, u'0');
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace mv::filelist
