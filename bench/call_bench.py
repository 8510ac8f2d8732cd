#!/usr/bin/env python3
"""`call/wait "true"` run 1,000 times by ixo against Python 3's
subprocess.run(["true"]) doing the same; the median of five runs of each,
taken in turns so that both meet the same load. Prints both times and
ixo's time divided by Python's.

usage: call_bench.py IXO
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

COUNT = 1000
RUNS = 5

SCRIPT = """Ixo []
start: now/precise
loop %d [call/wait "true"]
print to float! difference now/precise start
"""


def main():
    ixo = sys.argv[1]
    ixo_times, python_times = [], []
    with tempfile.TemporaryDirectory() as home:
        script = os.path.join(home, "bench.ixo")
        with open(script, "w") as f:
            f.write(SCRIPT % COUNT)
        env = dict(os.environ, HOME=home)
        for _ in range(RUNS):
            run = subprocess.run([ixo, script], capture_output=True, text=True, env=env, check=True)
            ixo_times.append(float(run.stdout.split()[-1]))
            start = time.perf_counter()
            for _ in range(COUNT):
                subprocess.run(["true"])
            python_times.append(time.perf_counter() - start)
    ixo_time, python_time = statistics.median(ixo_times), statistics.median(python_times)
    print(f"{COUNT} calls of true: ixo {ixo_time:.3f} s, Python subprocess {python_time:.3f} s, "
          f"ratio {ixo_time / python_time:.2f}")


if __name__ == "__main__":
    main()
