#!/usr/bin/env python3
"""Runs ixo under a limit on its address space (ulimit -v), as containers
and CI runners set one: it starts with a smaller arena, says so plainly when
even the smallest does not fit, and a C++ buffer that the limit refuses
raises internal/no-memory instead of ending the process. Across a range
of limits, start-up either refuses with the plain message or starts: never
a runtime error, and never a refusal at a limit above one that started.

usage: run_limits.py IXO
"""
import os
import resource
import subprocess
import sys
import tempfile

REFUSAL = ("*** Not enough address space to start: the runtime needs 64 MB for its memory"
           " beyond its stack (see ulimit -v)\n")


# Address-space limit (KiB, as ulimit -v counts), the script, what the
# output must hold, expected status.
CASES = [
    ("starts under 2,000,000 KiB", 2_000_000, "Ixo []\nprint 1 + 2\n", "3\n", 0),
    ("too little address space to start", 90_000, "Ixo []\nprint 1 + 2\n",
     REFUSAL, 1),
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


# Limits (KiB) from below the floor to well above it.
SCAN = range(96_000, 300_000, 4_096)


def run_limited(ixo, kib, text):
    with tempfile.TemporaryDirectory() as home:
        with open(os.path.join(home, "limits.ixo"), "w") as script:
            script.write(text)
        return subprocess.run([ixo, "limits.ixo"], stdin=subprocess.DEVNULL, capture_output=True, cwd=home,
                              env=dict(os.environ, HOME=home), preexec_fn=limited(kib))


def scan_start_up(ixo):
    """The failures of start-up across SCAN, as messages."""
    failures = []
    started_at = None
    for kib in SCAN:
        run = run_limited(ixo, kib, "Ixo []\nprint 1 + 2\n")
        out = run.stdout.decode(errors="replace") + run.stderr.decode(errors="replace")
        if (out, run.returncode) == ("3\n", 0):
            started_at = started_at or kib
        elif (out, run.returncode) == (REFUSAL, 1):
            if started_at:
                failures.append(f"FAIL refused under {kib} KiB after starting under {started_at} KiB")
        else:
            failures.append(f"FAIL under {kib} KiB: status {run.returncode}\n{out}")
    if not started_at:
        failures.append(f"FAIL never started under {SCAN.stop} KiB")
    return failures


def main():
    ixo = os.path.abspath(sys.argv[1])
    failures = 0
    for name, kib, text, expected, status in CASES:
        run = run_limited(ixo, kib, text)
        out = run.stdout.decode(errors="replace")
        if expected not in out or run.returncode != status:
            failures += 1
            print(f"FAIL {name}: status {run.returncode} (expected {status})\n"
                  f"--- expected to contain\n{expected}--- got\n{out}{run.stderr.decode(errors='replace')}")
    scan = scan_start_up(ixo)
    for message in scan:
        print(message)
    failures += 1 if scan else 0
    print(f"{len(CASES) + 1 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
