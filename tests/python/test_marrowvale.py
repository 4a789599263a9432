# SPDX-License-Identifier: MIT
"""The Python module against the real marrowvale-cli (MV_CLI)."""

import os
import pickle
import signal
import subprocess
import tempfile
import threading
import unittest

import marrowvale

CLI = os.environ["MV_CLI"]
XML = b'<?xml version="1.0"?>\r\n<r>\r\n<a>%d</a>\r\n</r>\r\n'


def children_named(name):
    """PIDs of this process's children whose command is name."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry, "rb") as stat:
                fields = stat.read().rsplit(b")", 1)
                command = fields[0].split(b"(", 1)[1]
                parent = int(fields[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        if parent == os.getpid() and command == name:
            found.append(int(entry))
    return found


class ConvertTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.fsencode(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, relative, number=0):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as source:
            source.write(XML % number)
        return path

    def folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def test_names_travel_exactly_and_records_come_in_list_order(self):
        names = [b"plain.xml", b"with space.xml", b"line\nend.xml", b"latin-\xe9.xml",
                 b"sub/deeper.xml"]
        paths = [self.write(name, i) for i, name in enumerate(names)]
        out = self.folder(b"out")
        records = list(marrowvale.convert(reversed(paths), out, cli=CLI))
        self.assertEqual([os.fsencode(r["source"]) for r in records], paths[::-1])
        self.assertTrue(all(r["status"] == "converted" and not r["reports"] for r in records))
        reference = self.folder(b"reference")
        subprocess.run([CLI, "convert", "-q", "-j", "1", "-o", reference, paths[0]], check=True)
        with open(os.path.join(reference, b"plain.json"), "rb") as expected, \
                open(os.fsencode(records[-1]["result"]), "rb") as result:
            self.assertEqual(result.read(), expected.read())

    def test_a_source_with_a_report_is_in_its_record_not_an_exception(self):
        good = self.write(b"good.xml")
        missing = os.path.join(self.root, b"missing.xml")
        records = list(marrowvale.convert([missing, good], self.folder(b"out"), jobs=2, cli=CLI))
        self.assertEqual([r["status"] for r in records][1], "converted")
        self.assertTrue(records[0]["reports"])
        self.assertEqual(os.fsencode(records[0]["source"]), missing)

    def test_failures_of_the_run_raise_run_error(self):
        source = self.write(b"a.xml")
        with self.assertRaises(marrowvale.RunError) as caught:
            list(marrowvale.convert([source], os.path.join(self.root, b"nowhere"), cli=CLI))
        self.assertEqual(caught.exception.status, 2)
        self.assertIsNone(caught.exception.signal)
        self.assertIn("Folder does not exist", caught.exception.stderr)

    def test_a_signal_raises_run_error_with_the_signal(self):
        first = self.write(b"first.xml")
        fed, release = threading.Event(), threading.Event()

        def names():
            yield first
            fed.set()
            release.wait(30)  # keeps the CLI waiting for the rest of the list

        def kill_the_cli():
            fed.wait(30)
            for pid in children_named(b"marrowvale-cli"):
                os.kill(pid, signal.SIGTERM)
            release.set()

        killer = threading.Thread(target=kill_the_cli)
        killer.start()
        with self.assertRaises(marrowvale.RunError) as caught:
            list(marrowvale.convert(names(), self.folder(b"out"), cli=CLI))
        killer.join()
        self.assertEqual(caught.exception.signal, signal.SIGTERM)
        self.assertEqual(caught.exception.status, 128 + signal.SIGTERM)
        carried = pickle.loads(pickle.dumps(caught.exception))
        self.assertEqual((carried.status, carried.signal), (143, signal.SIGTERM))

    def test_stopping_early_ends_the_cli(self):
        paths = [self.write(b"f%d.xml" % i, i) for i in range(3)]
        records = marrowvale.convert(paths, self.folder(b"out"), cli=CLI)
        next(records)
        records.close()
        self.assertEqual(children_named(b"marrowvale-cli"), [])

    def test_parents_keeps_repeated_names_apart(self):
        paths = [self.write(b"a/x.xml", 1), self.write(b"b/x.xml", 2)]
        out = self.folder(b"out")
        records = list(marrowvale.convert(paths, out, parents=True, cli=CLI))
        self.assertEqual([r["status"] for r in records], ["converted", "converted"])
        for path, record in zip(paths, records):
            expected = os.path.join(out, path.lstrip(b"/"))[: -len(b".xml")] + b".json"
            self.assertEqual(os.path.realpath(os.fsencode(record["result"])),
                             os.path.realpath(expected))

    @unittest.skipUnless(
        b"--update" in subprocess.run([CLI, "convert", "--help"], capture_output=True).stdout,
        "this marrowvale-cli has no --update yet")
    def test_update_leaves_results_that_are_newer(self):
        source = self.write(b"a.xml")
        out = self.folder(b"out")
        list(marrowvale.convert([source], out, cli=CLI))
        (again,) = marrowvale.convert([source], out, update=True, cli=CLI)
        self.assertEqual(again["status"], "unchanged")


if __name__ == "__main__":
    unittest.main()
