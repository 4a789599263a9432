#include "app/reported_files.h"

#include <QLocale>
#include <QSaveFile>
#include <algorithm>

#include "engine/native_text.h"
#include "filelist/list_drop.h"
#include "ui/qt_text.h"

namespace mv::app {

void ReportedFiles::note(const QString& file) {
    if (file.isEmpty() || m_seen.contains(file)) return;
    m_seen.insert(file);
    m_files.append(file);
}

void ReportedFiles::clear() {
    m_files.clear();
    m_seen.clear();
}

QString ReportedFiles::details(int limit) const {
    QStringList lines;
    const int shown = std::min<int>(limit, m_files.size());
    for (int i = 0; i < shown; ++i) lines.append(filelist::VisibleName(m_files[i]));
    if (m_files.size() > shown) {
        lines.append(QStringLiteral("... and %1 more; Save List... writes them all.")
                         .arg(QLocale(QLocale::English).toString(m_files.size() - shown)));
    }
    return lines.join(u'\n');
}

QString ReportedFiles::save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    std::string bytes;
    for (const QString& name : m_files) {
        bytes += engine::toNative(ui::toU16(name));
        bytes += '\n';
    }
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.commit()) {
        return file.errorString();
    }
    return {};
}

}  // namespace mv::app
