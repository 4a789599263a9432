#include "ui/program_folder.h"

#include <QFileInfo>

namespace mv::ui {

QString ProgramFolder::file(const QString& relative) const {
    const QString beside = m_dir + u'/' + relative;
    if (QFileInfo::exists(beside)) return beside;
    const QString shared = m_dir + QStringLiteral("/../share/marrowvale/") + relative;
    if (QFileInfo::exists(shared)) return QFileInfo(shared).absoluteFilePath();
    return beside;
}

}  // namespace mv::ui
