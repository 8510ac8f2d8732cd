#!/usr/bin/env python3
"""1,000 sequential GETs of a 1 KB body from the loopback test server
(tests/network_server.py): ixo's `read` of the url against Python 3's
urllib.request doing the same, each a new connection per request, best of
three runs each. Prints both times and ixo's time divided by Python's.

usage: http_bench.py IXO
"""
import os
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import network_server  # noqa: E402

COUNT = 1000

SCRIPT = """Ixo []
url: to url! rejoin [first system/options/args "bench"]
best: none
loop 3 [
    start: now/precise
    loop %d [read url]
    t: difference now/precise start
    if any [none? best  t < best] [best: t]
]
print to float! best
"""


def main():
    ixo = sys.argv[1]
    server, base = network_server.start()
    proxies = urllib.request.ProxyHandler({})
    opener = urllib.request.build_opener(proxies)
    try:
        with tempfile.TemporaryDirectory() as home:
            script = os.path.join(home, "bench.ixo")
            with open(script, "w") as f:
                f.write(SCRIPT % COUNT)
            env = {k: v for k, v in os.environ.items() if k.lower() not in ("http_proxy", "all_proxy")}
            env["HOME"] = home
            run = subprocess.run([ixo, script, base], capture_output=True, text=True, env=env, check=True)
            ixo_time = float(run.stdout.split()[-1])
        best = None
        for _ in range(3):
            start = time.perf_counter()
            for _ in range(COUNT):
                with opener.open(base + "bench") as r:
                    r.read().decode("utf-8").replace("\r\n", "\n")
            t = time.perf_counter() - start
            best = t if best is None else min(best, t)
    finally:
        server.shutdown()
    print(f"{COUNT} GETs of 1 KB: ixo {ixo_time:.3f} s, Python urllib {best:.3f} s, ratio {ixo_time / best:.2f}")


if __name__ == "__main__":
    main()
