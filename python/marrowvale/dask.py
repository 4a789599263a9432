# SPDX-License-Identifier: MIT
"""Dask: a bag of paths becomes a bag of report records, one CLI per partition.

    import dask.bag as db
    from marrowvale.dask import convert_bag
    records = convert_bag(db.from_sequence(paths, npartitions=16), "/shared/out",
                          parents=True).compute()

Every worker must see the sources and output_dir at the same paths (shared
storage) and have marrowvale-cli installed (or pass cli=its path).
"""

import marrowvale


def _convert_partition(paths, output_dir, options):
    return list(marrowvale.convert(list(paths), output_dir, **options))


def convert_bag(bag_of_paths, output_dir, **options):
    """Return a bag of report records, one per source; options are those of
    marrowvale.convert (jobs, parents, update, cli). A partition whose run
    fails raises marrowvale.RunError when the bag is computed."""
    return bag_of_paths.map_partitions(_convert_partition, output_dir, options)
