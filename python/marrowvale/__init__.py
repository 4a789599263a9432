# SPDX-License-Identifier: MIT
"""Run marrowvale-cli from Python: names in, one report record per source out.

    import marrowvale
    for record in marrowvale.convert(paths, "/out", parents=True):
        if record["status"] != "converted" or record["reports"]:
            print(record["source"], record["reports"])

Names travel as bytes, NUL-separated, so any name the file system holds gets
through (spaces, line ends, bytes that are not UTF-8). A record's names decode
back to those bytes with os.fsencode(record["source"]).
"""

import json
import os
import shutil
import signal
import subprocess
import threading

__all__ = ["convert", "RunError"]


class RunError(Exception):
    """The run could not be completed: a usage error (2), a failure of the
    run itself (3) or a signal. A source that had a report is not a RunError:
    its record says so and the others are still converted (exit status 1)."""

    def __init__(self, status, stderr, signal_number=None):
        self.status = status
        self.stderr = stderr
        self.signal = signal_number
        if signal_number is not None:
            what = "ended by signal " + signal.Signals(signal_number).name
        else:
            what = "exited with status %d" % status
        message = "marrowvale-cli " + what
        if stderr.strip():
            message += ": " + stderr.strip()
        super().__init__(message)

    def __reduce__(self):
        # Engines (Dask, multiprocessing) carry it back from a worker pickled.
        return (RunError, (self.status, self.stderr, self.signal))


def _command(output_dir, jobs, parents, update, cli):
    program = cli if cli is not None else shutil.which("marrowvale-cli")
    if program is None:
        raise FileNotFoundError("marrowvale-cli is not on PATH; pass cli= its path")
    command = [os.fsdecode(program), "convert", "-q", "-0", "--files-from", "-",
               "--report", "-", "-j", str(jobs)]
    if output_dir is not None:
        command += ["-o", os.fsdecode(output_dir)]
    if parents:
        command.append("--parents")
    if update:
        command.append("--update")
    return command


def _feed(stdin, paths, failure):
    try:
        for path in paths:
            stdin.write(os.fsencode(path) + b"\0")
            # Each name at once: the CLI converts while a slow list goes on.
            stdin.flush()
    except BrokenPipeError:
        pass  # the CLI ended early; its exit status tells why
    except BaseException as error:  # noqa: BLE001 - handed to the reading side
        failure.append(error)
    finally:
        try:
            stdin.close()
        except BrokenPipeError:
            pass


def _drain(stream, chunks):
    chunks.append(stream.read())


def convert(paths, output_dir=None, *, jobs=1, parents=False, update=False, cli=None):
    """Convert the files (and folders) named in paths; yield each source's
    report record as a dict, in list order, as soon as the source is done.

    output_dir None writes each result beside its source. parents=True keeps a
    listed file's path below output_dir (as cp --parents). update=True leaves
    results that are newer than their sources (as cp -u). cli is the path of
    marrowvale-cli (default: found on PATH).

    Raises RunError when the CLI exits with 2 or 3 or is ended by a signal;
    exit status 1 (a source had a report) is visible in the records only.
    """
    command = _command(output_dir, jobs, parents, update, cli)
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    failure = []
    stderr_chunks = []
    feeder = threading.Thread(target=_feed, args=(process.stdin, paths, failure), daemon=True)
    drainer = threading.Thread(target=_drain, args=(process.stderr, stderr_chunks), daemon=True)
    feeder.start()
    drainer.start()
    finished = False
    try:
        for line in process.stdout:
            yield json.loads(line)
        finished = True
    finally:
        if not finished:
            # The caller stopped early (or a line was not JSON): end the run.
            process.kill()
        process.stdout.close()
        status = process.wait()
        feeder.join()
        drainer.join()
        process.stderr.close()
    if failure:
        raise failure[0]
    stderr = b"".join(stderr_chunks).decode("utf-8", "replace")
    if status < 0:
        raise RunError(128 - status, stderr, -status)
    if status > 128:
        raise RunError(status, stderr, status - 128)
    if status not in (0, 1):
        raise RunError(status, stderr)
