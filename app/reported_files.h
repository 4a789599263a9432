// The files that had error reports during one run, scan or drop, in the
// order of their first report, each once: the box that ends a session whose
// later reports were only counted names them, so that the user can find and
// mend them.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace mv::app {

class ReportedFiles {
public:
    void note(const QString& file);
    void clear();
    bool isEmpty() const { return m_files.isEmpty(); }
    const QStringList& files() const { return m_files; }

    // The first `limit` names as shown to a person, one a line, and a last
    // line telling how many more there are.
    QString details(int limit) const;
    // Writes every name's exact bytes, one a line, replacing `path` whole
    // or not at all; the system's words for a failure, or empty text.
    QString save(const QString& path) const;

private:
    QStringList m_files;
    QSet<QString> m_seen;
};

inline constexpr int kListedReportFiles = 1000;

}  // namespace mv::app
