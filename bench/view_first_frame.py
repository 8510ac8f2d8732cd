#!/usr/bin/env python3
"""Time from start to the first frame of a GUI script, under tmux: ixo running
`view [button "OK" [unview]]` against a Python 3 twin that draws the same
button with the standard curses module. tmux copies the pane's output into a
file (pipe-pane); the clock starts when the command is typed into an idle
shell and stops when "OK" reaches that file. Space then closes either one.
Prints the median of the runs in milliseconds and the ratio.

usage: view_first_frame.py IXO [RUNS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

TWIN = r'''
import curses

def main(screen):
    curses.curs_set(0)
    screen.addstr(1, 1, " OK ", curses.A_REVERSE)
    screen.refresh()
    while screen.getch() not in (ord(" "), 10, 13):
        pass

curses.wrapper(main)
'''

SCRIPT = 'Ixo []\nview [button "OK" [unview]]\n'


def first_frame(folder, command):
    # A server of its own for every run: a killed server's socket may linger.
    socket = tempfile.mktemp(prefix="tmux.", dir=folder)
    log = os.path.join(folder, "pane.log")
    tmux = ["tmux", "-S", socket, "-f", "/dev/null"]

    def run(*args, check=True):
        subprocess.run(tmux + list(args), check=check, capture_output=True)

    run("new-session", "-d", "-x", "80", "-y", "24", "-c", folder, f"env LANG=C.UTF-8 HOME={folder} PS1='$ ' sh")
    try:
        open(log, "w").close()
        run("pipe-pane", "-o", f"cat >> {log}")
        time.sleep(0.3)
        with open(log, "rb") as f:
            f.seek(0, 2)
            start = time.perf_counter()
            run("send-keys", command, "Enter")
            seen = b""
            # Past the typed command's echo, the first "OK" is the frame's.
            while True:
                seen += f.read()
                lines = seen.split(b"\n", 1)
                if len(lines) == 2 and b"OK" in lines[1]:
                    elapsed = time.perf_counter() - start
                    break
                if time.perf_counter() - start > 60:
                    raise RuntimeError(f"no frame from {command!r}")
                time.sleep(0.0005)
        run("send-keys", "Space")
        time.sleep(0.3)
        return elapsed * 1000
    finally:
        run("kill-server", check=False)


def main():
    ixo = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 11
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "ok.ixo"), "w") as f:
            f.write(SCRIPT)
        with open(os.path.join(folder, "twin.py"), "w") as f:
            f.write(TWIN)
        ixo_times = [first_frame(folder, f"{ixo} ok.ixo") for _ in range(runs)]
        twin_times = [first_frame(folder, f"{sys.executable} twin.py") for _ in range(runs)]
    a, b = statistics.median(ixo_times), statistics.median(twin_times)
    print(f"ixo first frame:    {a:8.1f} ms (median of {runs})")
    print(f"curses twin:        {b:8.1f} ms")
    print(f"ratio ixo / twin:   {a / b:8.2f}")


if __name__ == "__main__":
    main()
