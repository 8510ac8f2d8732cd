#!/usr/bin/env python3
"""Runs the GoogleTest units split into shards that run side by side (the
units start the runtime hundreds of times, slow under the collector-stress
and sanitizer builds). Each shard's output is shown when it fails.

usage: run_unit.py IXO_TESTS
"""
import concurrent.futures
import os
import subprocess
import sys


def main():
    program = sys.argv[1]
    shards = int(os.environ.get("IXO_TEST_JOBS", os.cpu_count() or 1))

    def run(index):
        env = dict(os.environ, GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(index))
        return subprocess.run([program], env=env, capture_output=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=shards) as pool:
        results = list(pool.map(run, range(shards)))
    failed = [r for r in results if r.returncode != 0]
    for r in failed:
        sys.stdout.write(r.stdout.decode("utf-8", "replace"))
        sys.stdout.write(r.stderr.decode("utf-8", "replace"))
    print(f"{shards - len(failed)} of {shards} unit shards passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
