#!/usr/bin/env python3
"""Runs the test scripts that read the shared corpora (tests/corpora/NAME.ixo
beside NAME.out) through run_scripts.py, giving each script the corpora
folder as its argument: $IXO_CORPORA when set, else the default the build
passes (the shared folder beside the checkout). Without that folder the
tests are skipped (exit status 77).

usage: run_corpora.py IXO SCRIPTS-FOLDER DEFAULT-CORPORA-FOLDER
"""
import os
import subprocess
import sys

SKIPPED = 77


def main():
    ixo, folder, default = sys.argv[1], sys.argv[2], sys.argv[3]
    corpora = os.environ.get("IXO_CORPORA", default)
    if not os.path.isdir(corpora):
        print(f"skipped: no corpora at {corpora}")
        return SKIPPED
    runner = os.path.join(os.path.dirname(os.path.abspath(__file__)), "run_scripts.py")
    return subprocess.run([sys.executable, runner, ixo, folder, os.path.abspath(corpora)]).returncode


if __name__ == "__main__":
    sys.exit(main())
