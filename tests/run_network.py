#!/usr/bin/env python3
"""Runs the network test scripts of a folder (as run_scripts.py does)
against a loopback HTTP server started here (network_server.py). Every
script gets two arguments: the server's base URL and the URL of a port where
nothing listens. No test reaches beyond 127.0.0.1.

usage: run_network.py IXO SCRIPTS-FOLDER
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import network_server  # noqa: E402


def main():
    ixo, folder = sys.argv[1], sys.argv[2]
    server, base = network_server.start()
    try:
        runner = os.path.join(os.path.dirname(os.path.abspath(__file__)), "run_scripts.py")
        # The proxy variables of the environment would send loopback requests away.
        env = {k: v for k, v in os.environ.items() if k.lower() not in ("http_proxy", "https_proxy", "all_proxy")}
        # One script at a time: the server's record of the last request is
        # shared by all.
        env["IXO_TEST_JOBS"] = "1"
        return subprocess.run([sys.executable, runner, ixo, folder, base, network_server.closed_port_url()],
                              env=env).returncode
    finally:
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
