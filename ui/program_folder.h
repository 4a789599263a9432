// Where the files that ship beside the program are found: next to the
// executable (a build tree), or under ../share/marrowvale (an installed tree).
#pragma once

#include <QString>

namespace mv::ui {

class ProgramFolder {
public:
    explicit ProgramFolder(QString executableDir) : m_dir(std::move(executableDir)) {}

    // The folder of the executable, without a final separator.
    const QString& path() const { return m_dir; }
    // `relative` beside the program when it exists there, else under the
    // installed share folder when it exists there, else the path beside the
    // program (which does not exist).
    QString file(const QString& relative) const;

private:
    QString m_dir;
};

}  // namespace mv::ui
