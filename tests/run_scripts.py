#!/usr/bin/env python3
"""Runs the language-level test scripts: every NAME.ixo under the given folder,
outside folders named fixtures, is run by ixo; its standard output must equal
NAME.out, and its exit status the number in NAME.status when that file exists
(else 0). HOME and TMPDIR point at fresh temporary folders, so the console's
configuration stays out of the user's own and the files a script makes stay
out of the source tree (which may be read-only, or in use by another run).
Further arguments are passed to every script.

usage: run_scripts.py IXO SCRIPTS-FOLDER [ARGUMENT...]
"""
import concurrent.futures
import os
import subprocess
import sys
import tempfile


def run_script(ixo, script, arguments):
    """Runs one script; answers whether it passed and, if not, what to report."""
    base = script[:-4]
    with open(base + ".out", "rb") as f:
        expected = f.read()
    status = 0
    if os.path.exists(base + ".status"):
        with open(base + ".status") as f:
            status = int(f.read())
    with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, HOME=home, TMPDIR=tmp)
        run = subprocess.run([ixo, os.path.basename(script)] + arguments, cwd=os.path.dirname(script),
                             capture_output=True, timeout=1800, env=env)
    if run.stdout == expected and run.returncode == status:
        return True, ""
    return False, (f"FAIL {script}: status {run.returncode} (expected {status})\n"
                   + run.stdout.decode("utf-8", "replace"))


def main():
    ixo, folder, arguments = sys.argv[1], sys.argv[2], sys.argv[3:]
    # Scripts under a folder named "fixtures" are the tests' own data,
    # run by the tests that name them.
    scripts = []
    for root, dirs, files in os.walk(folder):
        dirs[:] = [d for d in dirs if d != "fixtures"]
        scripts += [os.path.join(root, f) for f in files if f.endswith(".ixo")]
    scripts.sort()
    # Scripts are independent processes: run them side by side, report in order.
    workers = int(os.environ.get("IXO_TEST_JOBS", os.cpu_count() or 1))
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(lambda script: run_script(ixo, script, arguments), scripts))
    failures = 0
    for script, (passed, report) in zip(scripts, results):
        if not passed:
            failures += 1
            print(report)
    print(f"{len(scripts) - failures} of {len(scripts)} scripts passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
