#!/usr/bin/env python3
"""Whole-process timings of the interpreter benchmarks against their twins
in Python 3 (the interpreter running this script) and Lua 5.4 (Debian's
lua5.4), taken with hyperfine: the median of RUNS runs after one warm-up.

Every NAME.ixo in this folder has a NAME.py and (mostly) a NAME.lua that
do the same work and print the same result; the outputs are compared
before timing. startup.ixo does nothing: it is timed against
`python3 -c pass` and `lua5.4 -e ''`.

usage: run.py IXO [--runs N] [--all] [--load] [--objects] [NAME...]

  (no names)  the rows of the speed table: fib, int_loop, mandelbrot,
              string_append, block_append, sort_integers, map_lookup,
              object_paths, refinement_call
  --all       every benchmark of the folder
  --load      loading generated sources of 1, 5, 10 and 20 MB with `load`,
              against `json.loads` of the same data written as JSON
  --objects   a block keeping 300k, 1M and 3M small objects alive
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROWS = ["fib", "int_loop", "mandelbrot", "string_append", "block_append", "sort_integers",
        "map_lookup", "object_paths", "refinement_call"]
LUA = shutil.which("lua5.4") or "/usr/bin/lua5.4"


def median_times(commands, runs):
    """The median wall time of each command (a list of argument lists)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "times.json")
        shell_words = [" ".join(_quote(a) for a in c) for c in commands]
        subprocess.run(["hyperfine", "--shell=none", "--warmup", "1", "--runs", str(runs),
                        "--style", "none", "--export-json", out] + shell_words,
                       check=True, stdout=subprocess.DEVNULL)
        with open(out) as f:
            return [r["median"] for r in json.load(f)["results"]]


def _quote(word):
    return "'" + word.replace("'", "'\\''") + "'" if any(c in word for c in " '\"\\$") else word


def output_of(command):
    return subprocess.run(command, capture_output=True, check=True).stdout


def twins(ixo, names, runs):
    print(f"{'benchmark':16} {'ixo s':>8} {'python s':>9} {'lua s':>8} {'ixo/py':>7} {'ixo/lua':>8}")
    for name in names:
        base = os.path.join(HERE, name)
        commands = [[ixo, base + ".ixo"], [sys.executable, base + ".py"]]
        if name == "startup":
            commands[1] = [sys.executable, "-c", "pass"]
        if os.path.exists(base + ".lua"):
            commands.append([LUA, base + ".lua"])
        elif name == "startup":
            commands.append([LUA, "-e", ""])
        note = ""
        if name != "startup":
            outputs = [output_of(c) for c in commands]
            if any(o != outputs[0] for o in outputs[1:]):
                note = "  OUTPUTS DIFFER"
        times = median_times(commands, runs)
        lua_time = f"{times[2]:8.3f}" if len(times) > 2 else f"{'-':>8}"
        lua_ratio = f"{times[0] / times[2]:7.2f}x" if len(times) > 2 else f"{'-':>8}"
        print(f"{name:16} {times[0]:8.3f} {times[1]:9.3f} {lua_time} {times[0] / times[1]:6.2f}x {lua_ratio}{note}",
              flush=True)


def record(i):
    """One record of the generated load data, in Ixo source and as JSON."""
    ixo = f'[{i} "text number {i}" word-{i % 97} {i % 1000}.25 [nested {i % 7} {i % 11}] #{i % 256:02X}]\n'
    js = f'[{i}, "text number {i}", "word-{i % 97}", {i % 1000}.25, ["nested", {i % 7}, {i % 11}], "{i % 256:02X}"]'
    return ixo, js


def load(ixo, runs):
    with tempfile.TemporaryDirectory() as tmp:
        startup = median_times([[ixo, os.path.join(HERE, "startup.ixo")]], runs)[0]
        py_startup = median_times([[sys.executable, "-c", "import json"]], runs)[0]
        print(f"{'size':>6} {'records':>9} {'ixo s':>8} {'MB/s':>7} {'json s':>8} {'MB/s':>7} {'ixo/json':>9}")
        for mb in (1, 5, 10, 20):
            src, js = os.path.join(tmp, f"data{mb}.ixo"), os.path.join(tmp, f"data{mb}.json")
            count = 0
            with open(src, "w") as s, open(js, "w") as j:
                j.write("[")
                size = 0
                while size < mb * 1_000_000:
                    a, b = record(count)
                    s.write(a)
                    j.write(("," if count else "") + b + "\n")
                    size += len(a)
                    count += 1
                j.write("]")
            script = os.path.join(tmp, f"load{mb}.ixo")
            with open(script, "w") as f:
                f.write(f"Ixo []\nprint length? load %{src}\n")
            pyscript = os.path.join(tmp, f"load{mb}.py")
            with open(pyscript, "w") as f:
                f.write(f"import json\nprint(len(json.loads(open({js!r}).read())))\n")
            if output_of([ixo, script]) != output_of([sys.executable, pyscript]):
                print(f"{mb} MB: OUTPUTS DIFFER")
            t_ixo, t_py = median_times([[ixo, script], [sys.executable, pyscript]], runs)
            work_ixo, work_py = max(t_ixo - startup, 1e-9), max(t_py - py_startup, 1e-9)
            size = os.path.getsize(src) / 1e6
            print(f"{mb:4} MB {count:9} {work_ixo:8.3f} {size / work_ixo:7.1f} {work_py:8.3f} "
                  f"{os.path.getsize(js) / 1e6 / work_py:7.1f} {work_ixo / work_py:8.2f}x", flush=True)


def objects(ixo, runs):
    with tempfile.TemporaryDirectory() as tmp:
        print(f"{'objects':>9} {'ixo s':>8} {'ns/object':>10}")
        for n in (300_000, 1_000_000, 3_000_000):
            script = os.path.join(tmp, f"objects{n}.ixo")
            with open(script, "w") as f:
                f.write(f"Ixo []\nb: make block! 16\nrepeat i {n} [append b make object! [a: i]]\n"
                        f"print length? b\n")
            t = median_times([[ixo, script]], runs)[0]
            print(f"{n:9} {t:8.3f} {t / n * 1e9:10.0f}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ixo")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--load", action="store_true")
    parser.add_argument("--objects", action="store_true")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    ixo = os.path.abspath(args.ixo)
    names = args.names or (sorted(f[:-4] for f in os.listdir(HERE) if f.endswith(".ixo")) if args.all else
                           [] if args.load or args.objects else ROWS)
    if names:
        twins(ixo, names, args.runs)
    if args.load:
        load(ixo, args.runs)
    if args.objects:
        objects(ixo, args.runs)


if __name__ == "__main__":
    main()
