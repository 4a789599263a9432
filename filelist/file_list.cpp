#include "filelist/file_list.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "filelist/list_drop.h"
#include "report/failure.h"

namespace mv::filelist {

namespace {

// A row holds the exact path; it is shown, as text and tooltip, with bytes
// that are not UTF-8 spelt out. text() is the shown form, so the list reads
// and swaps rows by path().
class PathRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QString path() const { return QTreeWidgetItem::data(0, Qt::DisplayRole).toString(); }
    QVariant data(int column, int role) const override {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return VisibleName(QTreeWidgetItem::data(column, Qt::DisplayRole).toString());
        }
        return QTreeWidgetItem::data(column, role);
    }
};

QString pathOf(const QTreeWidgetItem* item) {
    return static_cast<const PathRow*>(item)->path();
}

// Takes the drop as a copy where the source allows it, else as a link; a
// source that offers only a move is refused, since it would then remove its
// files. Returns whether the drop is taken.
bool acceptAsCopy(QDropEvent* event) {
    const Qt::DropActions offered = event->possibleActions();
    if (offered & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
    } else if (offered & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
    } else {
        event->ignore();
        return false;
    }
    event->accept();
    return true;
}

}  // namespace

FileList::FileList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);  // the order of the rows is the conversion order
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);  // a press and move reorders rows, never starts a transfer
    setAcceptDrops(true);   // files and folders from a file manager
    viewport()->setAcceptDrops(true);
    setAutoScroll(false);  // the reorder scrolls by itself, near the edges
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
    viewport()->setMouseTracking(true);  // moves without a button reset the pointer too
    setToolTip(QString::fromLatin1(kListHint));
}

void FileList::append(const QString& path) {
    auto* item = new PathRow(QStringList{path});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    addTopLevelItem(item);
}

QString FileList::rowText(int row) const {
    if (row < 1 || row > rowCount()) {
        throw report::Failure(report::FailureKind::SubscriptOutOfRange);
    }
    return pathOf(topLevelItem(row - 1));
}

bool FileList::IsListed(const QString& path) const {
    for (int i = 0; i < rowCount(); ++i) {
        if (pathOf(topLevelItem(i)) == path) return true;
    }
    return false;
}

void FileList::removeSelected() {
    if (busy() || rowCount() == 0) return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return;
    delete takeTopLevelItem(indexOfTopLevelItem(selected.constFirst()));
}

void FileList::clearRows() {
    if (busy()) return;
    clear();
}

int FileList::edgeBand() const {
    const int row = rowCount() > 0 ? visualItemRect(topLevelItem(0)).height() : 0;
    return std::max(row, fontMetrics().height());
}

void FileList::mousePressEvent(QMouseEvent* event) {
    m_pressed = true;
    QTreeWidget::mousePressEvent(event);  // selects the row pressed on
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) startReorder();
}

void FileList::startReorder() {
    viewport()->setCursor(m_dragPointer ? m_dragPointer() : QCursor(Qt::SizeVerCursor));
    const QList<QTreeWidgetItem*> selected = selectedItems();
    m_dragged = selected.isEmpty() ? QPersistentModelIndex()
                                   : QPersistentModelIndex(indexFromItem(selected.constFirst()));
}

void FileList::mouseMoveEvent(QMouseEvent* event) {
    if (m_pointerReset) m_pointerReset();
    if (!m_pressed) {
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    dragOver(itemAt(at), at.y());
}

void FileList::dragOver(QTreeWidgetItem* under, int y) {
    if (!under || !m_dragged.isValid()) return;
    QTreeWidgetItem* dragged = topLevelItem(m_dragged.row());
    if (!dragged || pathOf(dragged) == pathOf(under)) return;
    // The two rows swap texts; no row is taken out or inserted.
    const QString kept = pathOf(dragged);
    dragged->setText(0, pathOf(under));
    under->setText(0, kept);
    setCurrentItem(under);
    m_dragged = QPersistentModelIndex(indexFromItem(under));
    scrollNearEdge(indexOfTopLevelItem(under), y);
}

// Near the list's own top or bottom edge, bring the next row in the
// direction of the drag into view, wherever the window stands on the screen.
void FileList::scrollNearEdge(int row, int y) {
    const int band = edgeBand();
    if (y < band && row > 0) {
        scrollToItem(topLevelItem(row - 1), QAbstractItemView::EnsureVisible);
    } else if (y >= viewport()->height() - band && row + 1 < rowCount()) {
        scrollToItem(topLevelItem(row + 1), QAbstractItemView::EnsureVisible);
    }
}

// Without auto-scroll the view no longer follows its current row by itself;
// the keys move it, so bring it into view, except while a row is dragged,
// where the edge bands do the scrolling.
void FileList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeWidget::currentChanged(current, previous);
    if (current.isValid() && !m_pressed) scrollTo(current);
}

void FileList::mouseReleaseEvent(QMouseEvent* event) {
    m_pressed = false;
    // Back to the ordinary pointer, or the window's hourglass during a run.
    viewport()->unsetCursor();
    QTreeWidget::mouseReleaseEvent(event);
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    removeSelected();
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        removeSelected();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// Anything but a list of local files is refused, which shows the user that
// it cannot be dropped here; so is a drop while another is still walked.
void FileList::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_walking && CanDropOnList(event->mimeData())) {
        acceptAsCopy(event);
    } else {
        event->ignore();
    }
}

void FileList::dragMoveEvent(QDragMoveEvent* event) {
    if (!m_walking && CanDropOnList(event->mimeData())) {
        acceptAsCopy(event);
    } else {
        event->ignore();
    }
}

void FileList::dropEvent(QDropEvent* event) {
    if (m_walking || !CanDropOnList(event->mimeData()) || !acceptAsCopy(event)) {
        event->ignore();
        return;
    }
    addDropped(DroppedPaths(event->mimeData()));
}

void FileList::addDropped(const QStringList& paths) {
    if (m_walking) return;
    m_walking = true;
    report::SilentReport silent;
    qint64 found = 0;
    emit walkProgress(found);
    const auto drop = [&] {
        ListView1_OLEDragDrop(
            paths,
            [&](const QString& path) {
                append(path);
                emit walkProgress(++found);
            },
            m_dropReport ? *m_dropReport : silent, [] { QCoreApplication::processEvents(); });
    };
    if (m_longWork) {
        m_longWork(drop);
    } else {
        drop();
    }
    m_walking = false;
    emit walkEnded();
}

}  // namespace mv::filelist
