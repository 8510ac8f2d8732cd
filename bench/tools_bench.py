#!/usr/bin/env python3
"""The slowdown that the evaluation tools add to the recursive Fibonacci of
27: ixo plain, under `profile`, under `trace` and with an empty tracing hook
(`do/trace`), against Python 3 plain, under cProfile and with an empty
`sys.settrace` function (the interpreter running this script). Each figure is the
median of RUNS whole-process wall times; the slowdown is the tool's time
over the plain time of the same language.

usage: tools_bench.py IXO [--runs N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

FIB_IXO = "fib: func [n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]]\n"
FIB_PY = "def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)\n"

CASES = {
    "ixo": ("ixo", "print fib 27\n"),
    "ixo profile": ("ixo", "profile [fib 27]\n"),
    "ixo trace": ("ixo", "trace [fib 27]\n"),
    "ixo empty hook": ("ixo", "do/trace [fib 27] func [event code offset value ref frame] []\n"),
    "python": ("py", "print(fib(27))\n"),
    "python cProfile": ("py", "import cProfile\ncProfile.run('fib(27)')\n"),
    "python settrace": ("py", "import sys\ndef hook(frame, event, arg):\n    return hook\nsys.settrace(hook)\nfib(27)\n"),
}


def median_time(command, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("ixo")
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    measured = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, (language, body) in CASES.items():
            path = os.path.join(tmp, name.replace(" ", "_") + (".ixo" if language == "ixo" else ".py"))
            with open(path, "w") as f:
                f.write("Ixo []\n" + FIB_IXO + body if language == "ixo" else FIB_PY + body)
            command = [options.ixo, path] if language == "ixo" else [sys.executable, path]
            measured[name] = median_time(command, options.runs)
            print(f"{name:16} {measured[name]:8.3f} s")
    ixo, py = measured["ixo"], measured["python"]
    print(f"ixo: profile {measured['ixo profile'] / ixo:.1f}x, trace {measured['ixo trace'] / ixo:.1f}x, "
          f"empty hook {measured['ixo empty hook'] / ixo:.1f}x; "
          f"python: cProfile {measured['python cProfile'] / py:.1f}x, settrace {measured['python settrace'] / py:.1f}x")


if __name__ == "__main__":
    main()
