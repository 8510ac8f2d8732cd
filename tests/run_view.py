#!/usr/bin/env python3
"""Runs GUI scripts in a real terminal, as a user would: each script runs in
its own tmux server (80x24 unless the case says otherwise) with LANG=C.UTF-8
and HOME at a fresh folder; keys go in with send-keys, mouse reports as raw
bytes (send-keys -H), the screen comes back with capture-pane (-e to see the
colours). The pane's command writes the script's exit status and `stty -g`
before and after the run into files, so every case also checks that the
terminal is left as it was found.

usage: run_view.py IXO [PATTERN]   (PATTERN picks the cases whose names match)
"""
import concurrent.futures
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

# Seconds a session may take to show what a step waits for: long, as the
# collector-stress and sanitizer builds run slowly, many sessions at once.
HANG = int(os.environ.get("VIEW_HANG", "300"))
END = "END-OF-SESSION"

IXO = None


def report(name, what, got, expected):
    print(f"FAIL {name}: {what}\n  got:      {got!r}\n  expected: {expected!r}")
    return 1


class Pane:
    """One tmux server on a socket of its own, holding one pane that runs the
    script and then waits, so that its last screen can still be read."""

    def __init__(self, folder, script, width=80, height=24):
        self.folder = folder
        self.socket = os.path.join(folder, "tmux.socket")
        with open(os.path.join(folder, "case.ixo"), "w", encoding="utf-8") as f:
            f.write("Ixo []\n" + script)
        run = (f"stty -g > stty.before; {shlex.quote(IXO)} case.ixo; echo $? > status; "
               f"stty -g > stty.after; echo {END}; exec sleep {HANG * 4}")
        env = f"env LANG=C.UTF-8 HOME={shlex.quote(folder)} TERM=screen"
        self.tmux("new-session", "-d", "-x", str(width), "-y", str(height), "-c", folder,
                  f"{env} sh -c {shlex.quote(run)}")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args],
                              capture_output=True, text=True, check=False).stdout

    def screen(self, colours=False):
        return self.tmux("capture-pane", "-p", *(["-e"] if colours else []))

    # Waits until the screen matches; answers the match or None.
    def expect(self, pattern, colours=False):
        deadline = time.monotonic() + HANG
        while True:
            found = re.search(pattern, self.screen(colours))
            if found or time.monotonic() > deadline:
                return found
            time.sleep(0.05)

    def keys(self, *keys):
        self.tmux("send-keys", *keys)

    def text(self, text):
        self.tmux("send-keys", "-l", text)

    def raw(self, data):
        self.tmux("send-keys", "-H", *[f"{b:02x}" for b in data])

    def click(self, column, row, button=0):
        """A press and a release at a 0-based screen cell, as SGR reports."""
        self.raw(f"\x1b[<{button};{column + 1};{row + 1}M".encode())
        self.raw(f"\x1b[<{button};{column + 1};{row + 1}m".encode())

    def where(self, pattern):
        """The 0-based (column, row) of the first match on the screen."""
        for row, line in enumerate(self.screen().split("\n")):
            found = re.search(pattern, line)
            if found:
                return found.start(), row
        return None

    def finish(self):
        """Waits for the end of the script; answers its status and whether the
        terminal modes are as they were."""
        self.expect(END)
        try:
            with open(os.path.join(self.folder, "status")) as f:
                status = int(f.read())
            with open(os.path.join(self.folder, "stty.before")) as f:
                before = f.read()
            with open(os.path.join(self.folder, "stty.after")) as f:
                after = f.read()
        except (OSError, ValueError):
            return None, False
        finally:
            self.tmux("kill-server")
        return status, before == after


def session(name, script, steps, output=None, width=80, height=24):
    """Runs the script; each step is a function of the pane answering a
    failure text or None. At the end the status must be 0, the terminal as
    before, and the screen must match `output` when given."""
    with tempfile.TemporaryDirectory() as folder:
        pane = Pane(folder, script, width, height)
        for number, step in enumerate(steps, 1):
            failure = step(pane)
            if failure:
                shown = pane.screen()
                pane.tmux("kill-server")
                return report(name, f"step {number}", shown, failure)
        if output and not pane.expect(output):
            shown = pane.screen()
            pane.tmux("kill-server")
            return report(name, "output", shown, output)
        status, same_modes = pane.finish()
        if status != 0:
            return report(name, "exit status", status, 0)
        if not same_modes:
            return report(name, "terminal modes", "changed", "as before")
    return 0


def shows(pattern, colours=False):
    return lambda pane: None if pane.expect(pattern, colours) else f"a screen matching {pattern!r}"


def shows_only(pattern, absent):
    """The screen comes to match the pattern and then holds no `absent` text."""
    def step(pane):
        if not pane.expect(pattern):
            return f"a screen matching {pattern!r}"
        return f"a screen without {absent!r}" if absent in pane.screen() else None
    return step


def keys(*names):
    return lambda pane: pane.keys(*names) and None


def text(string):
    return lambda pane: pane.text(string) and None


def raw(data):
    return lambda pane: pane.raw(data) and None


def click_on(pattern, dx=0):
    def step(pane):
        place = pane.where(pattern)
        if not place:
            return f"something to click matching {pattern!r}"
        pane.click(place[0] + dx, place[1])
        return None
    return step


def until_shows(step, pattern, tries=20):
    """Repeats the step until the screen matches within half a second of it:
    for keys that the program may take as part of what came just before."""
    def repeat(pane):
        for _ in range(tries):
            step(pane)
            deadline = time.monotonic() + 0.5
            while time.monotonic() < deadline:
                if re.search(pattern, pane.screen()):
                    return None
                time.sleep(0.05)
        return f"a screen matching {pattern!r}"
    return repeat


def drag(pattern, by):
    """Presses on the text, moves by (dx, dy) one cell at a time, releases."""
    def step(pane):
        place = pane.where(pattern)
        if not place:
            return f"something to drag matching {pattern!r}"
        x, y = place
        pane.raw(f"\x1b[<0;{x + 1};{y + 1}M".encode())
        count = max(abs(by[0]), abs(by[1]))
        for i in range(1, count + 1):
            nx, ny = x + by[0] * i // count, y + by[1] * i // count
            pane.raw(f"\x1b[<32;{nx + 1};{ny + 1}M".encode())
        pane.raw(f"\x1b[<0;{x + by[0] + 1};{y + by[1] + 1}m".encode())
        return None
    return step


BUTTON = 'view [button "OK" [unview]]\nprint "done"\n'

CASES = [
    # Space on the focused button (the first focusable face) clicks it.
    ("button closes with Space", BUTTON, [shows(r"OK"), keys("Space"), shows(r"done")], None),
    # Enter becomes a click on a button.
    ("button closes with Enter", BUTTON, [shows(r"OK"), keys("Enter"), shows(r"done")], None),
    # The draw dialect's pen colour 255.0.0 is xterm colour 196.
    ("draw in a base, Escape closes",
     'view [base 10x3 draw [pen 255.0.0 line 0x0 3x0]]\nprint "closed"\n',
     [shows(r"\x1b\[[0-9;]*38;5;196[0-9;]*m(?:\x1b\[[0-9;]*m)*████", colours=True), keys("Escape"), shows(r"closed")], None),
    # Typing into the focused field; Tab and Shift-Tab move the focus and wrap.
    ("fields: typing, Tab and Shift-Tab",
     'view [f1: field f2: field button "B" [unview]]\nprint mold reduce [f1/text f2/text]\n',
     [shows(r"B"), text("123"), shows(r"123"), keys("Tab"), text("4"), keys("Tab", "Tab"), text("5"),
      keys("BTab", "BTab"), text("6"), keys("Tab", "Space"), shows(r'\["1235" "46"\]')], None),
    # What is typed into a field becomes its data, loaded; so does what a
    # Backspace leaves.
    ("field data", 'view [f: field button "B" [unview]]\nprint mold reduce [f/data type? f/data]\n',
     [shows(r"B"), text("123"), shows(r"123"), keys("Tab", "Space"), shows(r"\[123 integer!\]")], None),
    # On the way to "[1]" the text does not load: no error, and the window
    # stays until the button closes it.
    ("field data through texts that do not load", 'view [f: field button "B" [unview]]\nprint mold f/data\n',
     [shows(r"B"), text("[1]"), shows(r"\[1\]"), keys("Tab", "Space"), shows(r"(?m)^\[1\]\s*$")], None),
    ("field data after Backspace", 'view [f: field button "B" [unview]]\nprint mold f/data\n',
     [shows(r"B"), text("1234"), shows(r"1234"), keys("BSpace"), keys("Tab", "Space"), shows(r"(?m)^123\s*$")],
     None),
    # options/next sends the focus from the first field straight to the button.
    ("options/next overrides the tab order",
     'view [f1: field f2: field b: button "B" [unview] do [f1/options/next: b]]\n'
     'print mold reduce [f1/text f2/text]\n',
     [shows(r"B"), text("7"), keys("Tab"), text("8"), keys("Space"), shows(r'\["7" none\]')], None),
    # A click on a radio button turns off the other radio of its pane only.
    ("radio click",
     'view [r1: radio "ra" r2: radio "rb" data true c: check "cc" data true button "X" [unview]]\n'
     'print mold reduce [r1/data r2/data c/data]\n',
     [shows(r"ra"), click_on(r"ra", -2), shows(r"◉ ra"), click_on(r"X"), shows(r"\[true false true\]")],
     None),
    # A loose face with bounds stays inside its parent however far it is dragged.
    ("dragging stays in bounds",
     'view [p: panel 20x6 [b: base 4x2 "D" loose] button "X" [unview]]\n'
     'print mold reduce [b/offset/x >= 0 b/offset/y >= 0 b/offset/x + 4 <= 20 b/offset/y + 2 <= 6]\n',
     [shows(r"D"), drag(r"D", (30, 10)), click_on(r"X"), shows(r"\[true true true true\]")], None),
    # The alert box: message and OK both on the 80-column screen; Enter,
    # Escape and Space close it.
    ("alert closes with Enter", 'alert "hi"\nprint "gone"\n',
     [shows(r"hi[\s\S]*OK"), keys("Enter"), shows(r"gone")], None),
    ("alert closes with Escape", 'alert "hi"\nprint "gone"\n',
     [shows(r"hi[\s\S]*OK"), keys("Escape"), shows(r"gone")], None),
    ("alert closes with Space", 'alert "hi"\nprint "gone"\n',
     [shows(r"hi[\s\S]*OK"), keys("Space"), shows(r"gone")], None),
    # Over another window, Escape closes the alert alone.
    ("alert: Escape closes only the alert",
     'view/no-wait [button "Main" [unview]]\nalert "hi"\nprint length? system/view/screens/1/pane\nunview/all\n',
     [shows(r"hi[\s\S]*OK"), keys("Escape"), shows(r"(?m)^1\s*$")], None),
    # A modal window disables the window below; closing it enables it again.
    ("modal window",
     'w: layout [button "A" [unview]]\nview/no-wait w\n'
     'view/flags [button "M" [unview]] [modal]\nprint w/enabled?\nunview/all\n',
     [shows(r"M"), keys("Space"), shows(r"true")], None),
    # The text list focused as its window opens highlights its first item
    # and selects it; Down then selects the second.
    ("text-list focused as its window opens",
     'view [t: text-list data ["aa" "bb"] button "x" [unview]]\nprint mold t/selected\n',
     [shows(r"\x1b\[7maa\x1b", colours=True), keys("Down"), shows(r"\x1b\[7mbb\x1b", colours=True),
      keys("Tab", "Space"), shows(r"(?m)^2\s*$")], None),
    # Made into a view, a face's pair offset becomes a point2D!; a window's
    # offset becomes 0x0.
    ("offsets of a shown window and its face",
     'w: layout [b: button "x" [unview]]\nw/offset: 5x5\nview w\nprint mold reduce [b/offset w/offset]\n',
     [shows(r"x"), keys("Space"), shows(r"\[\(1, 1\) 0x0\]")], None),
    # In UI mode too, draw answers its image unchanged.
    ("draw in an actor answers the image",
     'i: make image! 3x2\nview [button "X" [r: draw i [pen 255.0.0 line 0x0 2x1] unview]]\n'
     'print mold reduce [same? r i r = make image! 3x2]\n',
     [shows(r"X"), keys("Space"), shows(r"\[true true\]")], None),
    # Alt-] sends ESC ], which opens a string that only a terminator ends:
    # once input pauses the string is dropped and Escape closes the window.
    ("Alt-] leaves the keys working", 'view [button "X" [unview]]\nprint "closed"\n',
     [shows(r"X"), raw(b"\x1b]"), until_shows(keys("Escape"), r"closed")], None),
    # A DCS string (ESC P, as Alt-Shift-P sends) ends at BEL too: the key
    # right after it is typed; one left open is dropped when input pauses.
    ("Alt-Shift-P and a string ended by BEL", 'view [f: field button "B" [unview]]\nprint mold f/text\n',
     [shows(r"B"), raw(b"\x1bPq\x07"), text("3"), shows(r"3"), raw(b"\x1bP"),
      until_shows(keys("Escape"), r'(?m)^"3"\s*$')], None),
]


def requester_cases(folder):
    """The file requester in a 100x40 pane over a small folder tree."""
    os.makedirs(os.path.join(folder, "tree", "sub"))
    for name in ("tree/a.txt", "tree/sub/c.txt"):
        with open(os.path.join(folder, name), "w") as f:
            f.write("x")
    tree = os.path.join(folder, "tree")
    # capture-pane drops the blanks at the end of a line: " Cancel " is the
    # last text of its row.
    return [
        # Enter on a folder opens it and refills both lists; %../ goes back
        # up; Enter on a file names it in the field; Open answers the
        # folder joined with that name.
        ("request-file Open", f'change-dir %{tree}/\nprint mold request-file\n',
         [shows(r" Folders [\s\S]* Files [\s\S]*Selected:[\s\S]* Open [\s\S]* Cancel\b"),
          click_on(r"sub/"), keys("Enter"), shows_only(r"c\.txt", "a.txt"),
          click_on(r"\.\./"), keys("Enter"), shows_only(r"a\.txt", "c.txt"),
          click_on(r"a\.txt"), keys("Enter"), shows(r"Selected: *a\.txt"),
          click_on(r" Open "), shows(r"(?m)tree/a\.txt\s*$")], None),
        # The folder list has the focus and its first item, %../, selected
        # as the dialog opens: Down and Enter open sub/ from the keyboard.
        ("request-file: Enter opens the selected folder", f'change-dir %{tree}/\nprint mold request-file\n',
         [shows(r" Folders [\s\S]* Cancel\b"), keys("Down", "Enter"), shows_only(r"c\.txt", "a.txt"),
          click_on(r" Cancel\b"), shows(r"(?m)^none\s*$")], None),
        ("request-file/title", f'change-dir %{tree}/\nprint mold request-file/title "Pick a log"\n',
         [shows(r"Pick a log[\s\S]* Cancel\b"), click_on(r" Cancel\b"), shows(r"(?m)^none\s*$")], None),
        ("request-dir/title", f'change-dir %{tree}/\nprint mold request-dir/title "Pick a home"\n',
         [shows(r"Pick a home[\s\S]* Cancel\b"), click_on(r" Cancel\b"), shows(r"(?m)^none\s*$")], None),
        ("request-file Cancel", f'change-dir %{tree}/\nprint mold request-file\n',
         [shows(r" Cancel\b"), click_on(r" Cancel\b"), shows(r"(?m)^none\s*$")], None),
        ("request-file/save", f'change-dir %{tree}/\nprint mold request-file/save\n',
         [shows(r" Save [\s\S]* Cancel\b"), click_on(r" Cancel\b"), shows(r"(?m)^none\s*$")], None),
        ("request-dir", f'change-dir %{tree}/\nprint mold request-dir\n',
         [shows(r" OK [\s\S]* Cancel\b"), click_on(r"sub/"), keys("Enter"), shows(r"Selected: .*sub/"),
          click_on(r" OK "), shows(r"(?m)tree/sub/\s*$")], None),
    ]


def main():
    global IXO
    IXO = os.path.abspath(sys.argv[1])
    if not shutil.which("tmux"):
        print("tmux is not installed: the terminal sessions of GUI scripts cannot run")
        return 1
    with tempfile.TemporaryDirectory() as shared:
        cases = [(name, script, steps, output, 80, 24) for name, script, steps, output in CASES]
        cases += [(name, script, steps, output, 100, 40)
                  for name, script, steps, output in requester_cases(shared)]
        options = sys.argv[2:]
        if options:
            cases = [case for case in cases if re.search(options[0], case[0])]
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            failures = sum(pool.map(lambda case: session(*case), cases))
    total = len(cases)
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
