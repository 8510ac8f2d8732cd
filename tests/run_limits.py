#!/usr/bin/env python3
"""Runs ixo under a limit on its address space (ulimit -v), as containers
and CI runners set one: it starts with a smaller arena, says so plainly when
even the smallest does not fit, and a C++ buffer that the limit refuses
raises internal/no-memory instead of ending the process.

usage: run_limits.py IXO
"""
import os
import resource
import subprocess
import sys
import tempfile

# Address-space limit (KiB, as ulimit -v counts), the script, what the
# output must hold, expected status.
CASES = [
    ("starts under 2,000,000 KiB", 2_000_000, "Ixo []\nprint 1 + 2\n", "3\n", 0),
    ("too little address space to start", 90_000, "Ixo []\nprint 1 + 2\n",
     "*** Not enough address space to start: the runtime needs 64 MB for its memory"
     " beyond its stack (see ulimit -v)\n", 1),
    # The string fits the arena; its 600 MB of UTF-8 in a C++ buffer do not
    # fit what the limit leaves.
    ("a refused C++ buffer raises no-memory", 2_000_000,
     'Ixo []\ns: append/dup make string! 600000000 " " 600000000\n'
     "r: try [to binary! s]\nprint [r/type r/id]\nprint \"after\"\n",
     "internal no-memory\nafter\n", 0),
]


def limited(kib):
    def set_limit():
        resource.setrlimit(resource.RLIMIT_AS, (kib * 1024, kib * 1024))
    return set_limit


def main():
    ixo = os.path.abspath(sys.argv[1])
    failures = 0
    for name, kib, text, expected, status in CASES:
        with tempfile.TemporaryDirectory() as home:
            with open(os.path.join(home, "limits.ixo"), "w") as script:
                script.write(text)
            run = subprocess.run([ixo, "limits.ixo"], stdin=subprocess.DEVNULL, capture_output=True, cwd=home,
                                 env=dict(os.environ, HOME=home), preexec_fn=limited(kib))
        out = run.stdout.decode(errors="replace")
        if expected not in out or run.returncode != status:
            failures += 1
            print(f"FAIL {name}: status {run.returncode} (expected {status})\n"
                  f"--- expected to contain\n{expected}--- got\n{out}{run.stderr.decode(errors='replace')}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
