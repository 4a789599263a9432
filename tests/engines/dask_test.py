#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""dask.distributed on a LocalCluster of 2 worker processes, through the
Python module: 2,000 sources in a nested tree (repeated names, names with
spaces), each converted exactly once, results byte-identical to a plain -j 1
run. Usage: dask_test.py CLI_DIR SOURCE_DIR
(exit 77: skipped, unless MV_CLUSTER_REQUIRED is set)"""

import filecmp
import os
import subprocess
import sys
import tempfile
import time

cli = os.path.join(os.path.abspath(sys.argv[1]), "marrowvale-cli")
source_dir = sys.argv[2]
sys.path[:0] = [os.path.join(source_dir, "python"), os.path.join(source_dir, "tests/engines")]
os.environ["PYTHONPATH"] = os.pathsep.join(sys.path[:2] + [os.environ.get("PYTHONPATH", "")])
try:
    import dask.bag
    from dask.distributed import Client, LocalCluster
except ImportError:
    print("SKIP: python3-distributed is missing (make cluster-test installs it)")
    sys.exit(1 if os.environ.get("MV_CLUSTER_REQUIRED") else 77)

from make_tree import make_tree
from marrowvale.dask import convert_bag


def compare_trees(left, right):
    """Names present on one side only, and files whose bytes differ."""
    comparison = filecmp.dircmp(left, right)
    problems = comparison.left_only + comparison.right_only
    _, mismatch, errors = filecmp.cmpfiles(left, right, comparison.common_files, shallow=False)
    problems += mismatch + errors
    for sub in comparison.common_dirs:
        problems += compare_trees(os.path.join(left, sub), os.path.join(right, sub))
    return problems


def main():
    with tempfile.TemporaryDirectory() as tmp:
        data, out, reference = (os.path.join(tmp, name) for name in ("data", "out", "reference"))
        make_tree(data, 2000)
        os.makedirs(out)
        os.makedirs(reference)
        subprocess.run([cli, "convert", "-q", "-j", "1", "-o", reference, data], check=True)
        paths = sorted(os.path.join(folder, name)
                       for folder, _, names in os.walk(data) for name in names)

        started = time.monotonic()
        # The workers' space goes with the test's folder, not into /tmp.
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None,
                          local_directory=os.path.join(tmp, "dask")) as cluster, Client(cluster):
            bag = dask.bag.from_sequence(paths, npartitions=16)
            records = convert_bag(bag, out, parents=True, cli=cli).compute()
        seconds = time.monotonic() - started

        sources = [record["source"] for record in records]
        failures = [r for r in records if r["status"] != "converted" or r["reports"]]
        assert len(records) == len(paths) == 2000, "%d records for %d sources" % (len(records), len(paths))
        assert sorted(sources) == paths, "the records do not name every source once"
        assert not failures, failures[:3]
        # --parents keeps each listed path below the output folder.
        problems = compare_trees(reference, os.path.join(out, data.lstrip("/")))
        assert not problems, problems[:5]
        print("dask: 2 workers, 16 partitions, %d records, %d sources, results identical, "
              "%.1f s in compute()" % (len(records), len(set(sources)), seconds))


if __name__ == "__main__":
    main()
