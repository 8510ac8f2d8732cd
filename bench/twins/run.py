#!/usr/bin/env python3
"""Whole-process timings of the interpreter benchmarks against their twins
in Python 3 and Lua 5.4 (Debian's lua5.4): every NAME.ixo in this folder
runs with the given Ixo script runner, then NAME.py and NAME.lua; the
outputs must agree. Prints the best of N runs of each and the ratios.

usage: run.py IXO-RUNNER [RUNS]
"""
import os
import shutil
import subprocess
import sys
import time


def best_time(command, runs):
    best, output = None, None
    for _ in range(runs):
        start = time.perf_counter()
        run = subprocess.run(command, capture_output=True, check=True)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
        output = run.stdout
    return best, output


def main():
    runner = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    here = os.path.dirname(os.path.abspath(__file__))
    lua = shutil.which("lua5.4")
    for name in sorted(f[:-4] for f in os.listdir(here) if f.endswith(".ixo")):
        ixo_time, ixo_out = best_time([runner, os.path.join(here, name + ".ixo")], runs)
        py_time, py_out = best_time([sys.executable, os.path.join(here, name + ".py")], runs)
        line = f"{name}: ixo {ixo_time:.3f}s, python {py_time:.3f}s ({ixo_time / py_time:.2f}x)"
        if py_out != ixo_out:
            line += f" OUTPUT DIFFERS: {ixo_out!r} vs {py_out!r}"
        if lua:
            lua_time, lua_out = best_time([lua, os.path.join(here, name + ".lua")], runs)
            line += f", lua {lua_time:.3f}s ({ixo_time / lua_time:.2f}x)"
            if lua_out != ixo_out:
                line += " LUA OUTPUT DIFFERS"
        print(line)


if __name__ == "__main__":
    main()
