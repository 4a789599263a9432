#!/usr/bin/python3
"""A file manager's side of a drag, for the drag test: a small window that
drags the files named on its command line, offering Move first (as file
managers do), then Copy and Link. It prints "ready X Y" with the point to
press on, in screen pixels, and "result ACTION" when the drag ends; after a
Move it removes the files, as a file manager does.

Usage: drag_source.py X Y FILE..."""

import os
import shutil
import sys

from PyQt6.QtCore import QMimeData, Qt, QTimer, QUrl
from PyQt6.QtGui import QDrag
from PyQt6.QtWidgets import QApplication, QLabel


class Source(QLabel):
    def __init__(self, paths):
        super().__init__("drag these")
        self.paths = paths
        self.pressed = None
        self.dragging = False

    def mousePressEvent(self, event):
        self.pressed = event.position().toPoint()

    def mouseMoveEvent(self, event):
        if self.pressed is None or self.dragging:
            return
        if (event.position().toPoint() - self.pressed).manhattanLength() < 4:
            return
        self.dragging = True
        data = QMimeData()
        data.setUrls([QUrl.fromLocalFile(p) for p in self.paths])
        drag = QDrag(self)
        drag.setMimeData(data)
        offered = (Qt.DropAction.MoveAction | Qt.DropAction.CopyAction
                   | Qt.DropAction.LinkAction)
        result = drag.exec(offered, Qt.DropAction.MoveAction)
        print("result", result.name, flush=True)
        if result == Qt.DropAction.MoveAction:
            for p in self.paths:
                shutil.rmtree(p) if os.path.isdir(p) else os.remove(p)
        # The target fetches the data after the drop: stay a while, as a
        # file manager does.
        QTimer.singleShot(2000, QApplication.quit)


def main():
    app = QApplication(sys.argv[:1])
    source = Source(sys.argv[3:])
    source.resize(160, 120)
    source.move(int(sys.argv[1]), int(sys.argv[2]))
    source.show()

    def announce():
        centre = source.mapToGlobal(source.rect().center())
        print("ready", centre.x(), centre.y(), flush=True)

    QTimer.singleShot(500, announce)
    # A drag that never comes must not hold the test up for ever.
    QTimer.singleShot(30000, app.quit)
    sys.exit(app.exec())


if __name__ == "__main__":
    main()
