#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes COUNT small XML files into a nested tree under FOLDER: names repeat
from folder to folder and some hold spaces, as a real export's do.
Usage: make_tree.py FOLDER [COUNT]"""

import os
import sys

BASES = ["orders", "stock list", "x", "orders copy", "day end"]


def make_tree(folder, count=2000):
    folders = 455  # 7 * 13 * 5: every file of a folder has its own base name
    for i in range(count):
        sub = os.path.join(folder, "region %d" % (i % 7), "site-%d" % (i % 13), "day %d" % (i % 5))
        os.makedirs(sub, exist_ok=True)
        name = "%s.xml" % BASES[(i // folders) % len(BASES)]
        if i // folders >= len(BASES):
            name = "%d %s" % (i // folders, name)
        with open(os.path.join(sub, name), "w", encoding="ascii", newline="") as source:
            source.write('<?xml version="1.0"?>\r\n<batch>\r\n')
            for record in range(1 + i % 9):
                source.write('  <item id="%d">%d &amp; "%s"</item>\r\n' % (record, i, name))
            source.write("</batch>\r\n")


if __name__ == "__main__":
    make_tree(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 2000)
