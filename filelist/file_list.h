/* The file list (ListView1): the source files of the next conversion run, one
   row per path, in conversion order.

   Rows are appended by the adding buttons and drops, read by the run (rows
   counted from 1), removed one at a time (double-click, Delete) or all at
   once, and reordered by dragging: a press on a row makes it the dragged row,
   and every move over another row swaps the two rows' texts. Removing is
   refused while the window is busy (its hourglass shows); reordering is not,
   so the rows still to be converted can be rearranged during a run.

   Files and folders dropped from a file manager are appended (list_drop.h);
   anything else cannot be dropped. Drops neither test nor set the busy
   pointer. A drop is always taken as a copy: adding names to a list never
   takes the files away from where they were dragged. While a drop's folders
   are walked, the list reports the files found so far and refuses another
   drop.

   Long paths are shortened in the middle, where a deep tree's paths differ
   least, and each row's full path is its tooltip. Bytes of a name that are
   not UTF-8 are shown as "\xE9", each distinct, while the row keeps the
   exact name for the run. */
#pragma once

#include <QCursor>
#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <functional>

#include "report/error_report.h"

namespace mv::filelist {

inline constexpr const char* kListHint =
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.";

class FileList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    void append(const QString& path);
    int rowCount() const { return topLevelItemCount(); }
    // The text of row `row`, counted from 1; throws the subscript failure for
    // a row that does not exist.
    QString rowText(int row) const;
    // Whether some row's text equals `path` exactly.
    bool IsListed(const QString& path) const;
    // Removes the selected row, unless busy or empty.
    void removeSelected();
    // Removes every row, unless busy.
    void clearRows();
    // Appends dropped files and walks dropped folders, as a drop does.
    void addDropped(const QStringList& paths);
    // Whether a drop's folders are being walked.
    bool isWalking() const { return m_walking; }

    // Whether the window is busy: asked before removing or clearing.
    void setBusyTest(std::function<bool()> isBusy) { m_isBusy = std::move(isBusy); }
    // Called on every mouse move over the list, before anything else.
    void setPointerReset(std::function<void()> reset) { m_pointerReset = std::move(reset); }
    // Gives the pointer shown while a row is dragged, asked at every press.
    void setDragPointer(std::function<QCursor()> pointer) { m_dragPointer = std::move(pointer); }
    // Where the folder walk of a drop reports its failures; none shows nothing.
    void setDropReport(report::ErrorReport* report) { m_dropReport = report; }
    // Runs the work of a drop (its folder walk included); by default at once.
    using LongWork = std::function<void(const std::function<void()>& work)>;
    void setLongWork(LongWork longWork) { m_longWork = std::move(longWork); }

signals:
    // During a drop: `found` rows added so far. walkEnded follows the last.
    void walkProgress(qint64 found);
    void walkEnded();

public:
    // Whether a mouse button is held over the list.
    bool isPressed() const { return m_pressed; }
    // The height of the bands along the top and bottom edge where a drag
    // scrolls the list.
    int edgeBand() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool busy() const { return m_isBusy && m_isBusy(); }
    void startReorder();
    void dragOver(QTreeWidgetItem* under, int y);
    void scrollNearEdge(int row, int y);

    std::function<bool()> m_isBusy;
    std::function<void()> m_pointerReset;
    std::function<QCursor()> m_dragPointer;
    report::ErrorReport* m_dropReport = nullptr;
    LongWork m_longWork;
    bool m_pressed = false;
    bool m_walking = false;
    // Follows its row through swaps of other rows and becomes invalid when
    // the row is removed, so a removed row is never written to.
    QPersistentModelIndex m_dragged;
};

}  // namespace mv::filelist
