#!/usr/bin/env python3
"""Whole-process timings of the interpreter benchmarks against their twins
in Python 3 and Lua 5.4 (Debian's lua5.4): every NAME.ixo in this folder
runs with the given Ixo script runner, then NAME.py and NAME.lua (a
missing twin is left out); the outputs must agree. startup.ixo does
nothing: it is timed against `python3 -c pass` and `lua5.4 -e ''`. Prints
the best of N runs of each and the ratios; names given after RUNS choose
the benchmarks.

usage: run.py IXO-RUNNER [RUNS [NAME...]]
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
    names = sys.argv[3:] or sorted(f[:-4] for f in os.listdir(here) if f.endswith(".ixo"))
    for name in names:
        twin = os.path.join(here, name)
        py_command = [sys.executable, twin + ".py"]
        lua_command = [lua, twin + ".lua"] if lua and os.path.exists(twin + ".lua") else None
        if name == "startup":
            py_command = [sys.executable, "-c", "pass"]
            lua_command = [lua, "-e", ""] if lua else None
        ixo_time, ixo_out = best_time([runner, twin + ".ixo"], runs)
        py_time, py_out = best_time(py_command, runs)
        line = f"{name}: ixo {ixo_time:.3f}s, python {py_time:.3f}s ({ixo_time / py_time:.2f}x)"
        if py_out != ixo_out:
            line += f" OUTPUT DIFFERS: {ixo_out!r} vs {py_out!r}"
        if lua_command:
            lua_time, lua_out = best_time(lua_command, runs)
            line += f", lua {lua_time:.3f}s ({ixo_time / lua_time:.2f}x)"
            if lua_out != ixo_out:
                line += " LUA OUTPUT DIFFERS"
        print(line)


if __name__ == "__main__":
    main()
