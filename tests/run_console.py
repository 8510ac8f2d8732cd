#!/usr/bin/env python3
"""Runs ixo as a user would: piped sessions of the read-eval-print loop,
scripts named on the command line, the configuration file kept between
sessions, and one session on a pseudo-terminal (line editing, Tab
completion, Ctrl-D). Every run gets a fresh HOME and a fresh working folder
holding the session's files.

usage: run_console.py IXO
"""
import concurrent.futures
import fcntl
import os
import pty
import pwd
import re
import resource
import select
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import termios

# Seconds of silence after which a session counts as hung: long, as the
# collector-stress and sanitizer builds run slowly, many sessions at once.
HANG = 300

IXO = None
CFG = os.path.join(".ixo", "Ixo-Console", "console-cfg.ixo")
CFG_HEADER = 'Ixo [\n    Purpose: "Ixo Console Configuration File"\n]\n\n'

# Files every session's working folder holds.
FILES = {
    "sub/args.ixo": 'Ixo [Title: "arguments"]\n'
                    'print mold system/options/args\n'
                    'print exists? %args.ixo\n',
    "fails.ixo": 'Ixo []\nprint "before"\n1 / 0\nprint "after"\n',
    "no-header.ixo": 'print "never"\n',
    "after.ixo": 'Ixo []\nx: 42\n',
    "not-utf8.ixo": b'Ixo []\nprint "\xff\xfe"\n',
    "interrupted.ixo": 'Ixo []\nprint "kept"\nforever []\n',
    # A write past the file-size limit raises an error like any failed
    # write, instead of the signal ending the process.
    "too-big.ixo": 'Ixo []\ne: try [write %big.txt append/dup copy "" "x" 100000]\n'
                   'print [e/type e/id e/arg1]\nprint "after"\n',
    "directives.ixo": 'Ixo []\n#do [answer: 42]\n#if answer = 42 [print "#if sees #do"]\n'
                      '#if false [print "never"]\n#macro twice: func [x] [x * 2]\nprint twice 21\n'
                      '#include %included.ixo\nprint included\nprint triple 5\n',
    # Macros whose expansion calls themselves: at one position, and ever
    # deeper through their arguments.
    "macro-loop.ixo": 'Ixo []\nprint "never"\n#macro m: func [x] [reduce [(quote m) x]]\nm 1\n',
    "macro-nest.ixo": 'Ixo []\nprint "never"\n#macro m: func [x] [reduce [(quote m) (quote m) x]]\nm 1\n',
    "included.ixo": 'Ixo []\n#macro triple: func [x] [x * 3]\nincluded: "included"\n',
    "bad-macro.ixo": 'Ixo []\nprint "never"\n#macro foo: func\n',
    # With libs/ first on the library path, where each library opened on
    # first use is a file that is no library, only what needs it fails, and
    # its error names it.
    "no-libraries.ixo": 'Ixo []\nimg: make image! [2x2 255.0.0]\n'
                        'named?: func [text] [not none? find text "libs/"]\n'
                        'foreach f [png jpeg gif tiff] [\n'
                        '    e: try [save/as none img f] print [f e/type e/id named? e/arg1]]\n'
                        'foreach [f bytes] [png #{89504E47} jpeg #{FFD8FFE0} gif #{474946383961} tiff #{49492A00}] [\n'
                        '    e: try [load/as bytes f] print [f e/type e/id named? e/arg1]]\n'
                        'e: try [checksum "abc" \'sha256] print [e/type e/id named? e/arg1]\n'
                        'e: try [read http://127.0.0.1:9/] print [e/type e/id named? e/arg2]\n'
                        'print checksum "abc" \'crc32\n'
                        'print img = load/as save/as none img \'bmp \'bmp\n',
    **{"libs/" + name: "no library\n" for name in (
        "libpng16.so.16", "libjpeg.so.62", "libgif.so.7", "libtiff.so.6", "libcrypto.so.3", "libcurl.so.4")},
}

# Piped sessions: command-line arguments, standard input, expected output
# ("{banner}" stands for the banner), expected status.
PIPED = [
    ("result", [], "1 + 2\n", "{banner}== 3\n", 0),
    ("unset result prints nothing", [], "print 1\n()\n", "{banner}1\n", 0),
    ("empty lines are ignored", [], "\n\n2\n", "{banner}== 2\n", 0),
    ("error then the loop goes on", [], "1 / 0\n7\n",
     "{banner}*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0\n"
     "*** Stack: launch launch run eval-command do-command try-do \n\n== 7\n", 0),
    ("load error", [], "1 + ]\n7\n",
     "{banner}*** Syntax Error: (line 1) missing [ at ]\n*** Where: transcode\n*** Near : transcode buffer\n"
     "*** Stack: launch launch run eval-command do-command\n== 7\n", 0),
    ("a hexadecimal letter and h is not a word", [], "Ah\nFFh\n",
     "{banner}*** Syntax Error: (line 1) invalid word at Ah\n*** Where: transcode\n*** Near : transcode buffer\n"
     "*** Stack: launch launch run eval-command do-command\n== 255\n", 0),
    ("block over lines", [], "length? [1\n2\n\n3]\n", "{banner}== 3\n", 0),
    ("paren and string over lines", [], "(1 +\n2)\n{a\nb}\n", '{banner}== 3\n== "a^/b"\n', 0),
    ("paths", [], "b: [c [d 4]]\nb/c/d\nb/(1)\nb/(\n1)\n", "{banner}== [c [d 4]]\n== 4\n== c\n== c\n", 0),
    ("raw string over lines", [], "%%{a\n}%\n}%%\n", '{banner}== "a^/}%^/"\n', 0),
    ("escape drops the command", [], "[1\n2\x1b\n3\n", "{banner}(escape)\n== 3\n", 0),
    ("halt", [], "halt\n1\n", "{banner}(halted)\n== 1\n", 0),
    ("where names the raiser after a command over lines and after halt", [], "(\n1 / 0\n)\nhalt\n2 / 0\n",
     "{banner}*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0\n"
     "*** Stack: launch launch run eval-command do-command try-do \n\n(halted)\n"
     "*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 2 / 0\n"
     "*** Stack: launch launch run eval-command do-command try-do \n\n", 0),
    ("stray exits stay in the loop", [], "exit\nbreak\n5\n",
     "{banner}*** Throw Error: return or exit not in function\n*** Where: exit\n*** Near : exit\n"
     "*** Stack: launch launch run eval-command do-command try-do \n\n"
     "*** Throw Error: no loop to break\n*** Where: break\n*** Near : break\n"
     "*** Stack: launch launch run eval-command do-command try-do \n\n== 5\n", 0),
    ("long result is cut", [], "append/dup copy \"\" #\"x\" 100\n",
     "{banner}== {" + "x" * 72 + "...\n", 0),
    ("prompt error", [], "system/console/prompt: [1 / 0]\n8\n",
     "{banner}== [1 / 0]\n*** Math Error: attempt to divide by zero\n"
     "*** Where: system/console/prompt\n*** Near : 1 / 0\n*** Stack: launch launch run \n== 8\n", 0),
    ("quit with a status", [], "quit/return 3\nprint 9\n", "{banner}", 3),
    ("end of input quits", [], "", "{banner}", 0),
    ("end of input inside a block", [], "[1\n", "{banner}", 0),
    ("script with arguments", ["sub/args.ixo", "a", "b"], "", '["a" "b"]\ntrue\n', 0),
    ("script ending in an error", ["fails.ixo"], "",
     "before\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0 print \"after\"\n"
     "*** Stack: launch launch try-do\n", 1),
    # A script that cannot be read ends the run with status 1; standard
    # input is not taken for code.
    ("missing script", ["missing.ixo"], "print 2\n",
     "*** Access Error: cannot open: %missing.ixo\n*** Where: read\n*** Near : read file\n"
     "*** Stack: launch launch read-argument\n", 1),
    ("script that is not UTF-8", ["not-utf8.ixo"], "print 2\n",
     "*** Access Error: invalid UTF-8 encoding: #{FFFE220A}\n*** Where: read\n*** Near : read file\n"
     "*** Stack: launch launch read-argument\n", 1),
    ("file without header", ["no-header.ixo"], "", "*** Error: Ixo header not found!\n", 1),
    ("--catch enters the loop", ["--catch", "after.ixo"], "x\n", "== 42\n", 0),
    ("a script is expanded before it runs", ["directives.ixo"], "",
     "#if sees #do\n42\nincluded\n15\n", 0),
    ("a preprocessor error stops the script", ["bad-macro.ixo"], "",
     "*** Preprocessor Error: Syntax error\n*** Where: #macro foo: func\n(halted)\n", 1),
    ("a macro that expands itself at one position stops", ["macro-loop.ixo"], "",
     "*** Macro Error: the expansion of m does not end\n*** Where: m 1\n(halted)\n", 1),
    ("a macro that expands itself ever deeper stops", ["macro-nest.ixo"], "",
     "*** Macro Error: the expansion of m does not end\n*** Where: m m\n(halted)\n", 1),
    ("-- ends the options", ["--", "--catch"], "",
     "*** Access Error: cannot open: %--catch\n*** Where: read\n*** Near : read file\n"
     "*** Stack: launch launch read-argument\n", 1),
    # One line that is not UTF-8 is reported like any other bad line.
    ("a line that is not UTF-8", [], b"print 1\n\xff\xfe\nprint 2\n",
     "{banner}1\n*** Access Error: invalid UTF-8 encoding: #{FFFE}\n*** Where: _read-input\n*** Near : either any [_read-input question true = \n"
     "*** Stack: launch launch run ask\n2\n", 0),
    ("a write past the file-size limit", ["too-big.ixo"], "",
     "access cannot-write big.txt\nafter\n", 0, {"fsize": 4096}),
    ("a library that cannot be loaded fails only what needs it", ["no-libraries.ixo"], "",
     "".join(f"{f} access no-codec true\n" for f in ("png", "jpeg", "gif", "tiff") * 2) +
     "access no-codec true\naccess no-connect true\n891568578\ntrue\n", 0, {"libraries": "libs"}),
] + [
    # The debugger reads its commands through ask: with piped answers no
    # prompt shows. An empty answer is one step; the stack shows by default.
    ("debug: steps, stack display, quit", [], "debug [1 + 2]\n\n-s\n\nq\n1\n",
     "{banner}-----> EVAL 1\nInput: 1 + 2\n\n-empty stack-\n\n"
     "-----> PUSH 1\nInput: 1 + 2\n\nStack: 1\n\n"
     "-----> EVAL +\nInput: + 2\n(halted)\n== 1\n", 0),
    ("debug: +s asks again, continue runs on", [], "system/tools/options/debug/show-stack?: false\n"
     "debug [1 + 2]\n+s\n\nc\nsystem/tools/options/debug/show-stack?\n",
     "{banner}== false\n-----> EVAL 1\nInput: 1 + 2\n-----> PUSH 1\nInput: 1 + 2\n\nStack: 1\n\n== false\n", 0),
    ("debug: help, unknown command, values and watches", [], "system/tools/options/debug/show-stack?: false\n"
     "x: 5\ndebug [1 + 2]\n?\nfoo\n:x\n:system/tools/indent\nw x\n\n-w x\n\nc\n",
     "{banner}== false\n== 5\n-----> EVAL 1\nInput: 1 + 2\n" + '''\t`help` or `?`: print a list of debugger's commands.
\t`next` or `n` or just ENTER: evaluate next value.
\t`continue` or `c`: exit debugging console but continue evaluation.
\t`quit` or `q`: exit debugger and stop evaluation.
\t`stack` or `s`: display the current calls and expression stack.
\t`parents` or `p`: display the parents call stack.
\t`:word`: outputs the value of `word`. If it is a `function!`, outputs the local context.
\t`:a/b/c`: outputs the value of `a/b/c` path.
\t`watch <word1> <word2>...`: watch one or more words. `w` can be used as shortcut for `watch`.
\t`-watch <word1> <word2>...`: stop watching one or more words. `-w` can be used as shortcut for `-watch`.
\t`+stack`  or `+s`: outputs expression stack on each new event.
\t`-stack`  or `-s`: do not output expression stack on each new event.
\t`+locals` or `+l`: output local context for each entry in the callstack.
\t`-locals` or `-l`: do not output local context for each entry in the callstack.
\t`+indent` or `+i`: indent the output of the expression stack.
\t`-indent` or `-i`: do not indent the output of the expression stack.
''' +
     "Unknown command!\n== 5\n== 0\n-----> PUSH 1\nInput: 1 + 2\nWatch: x: 5\n"
     "-----> EVAL +\nInput: + 2\n", 0),
    ("debug/later stops after @stop", [], "system/tools/options/debug/show-stack?: false\n"
     "debug/later [1 + 2 @stop 3 * 4]\nc\n",
     "{banner}== false\n-----> EVAL 3\nInput: 3 * 4\n", 0),
    ("debug/later stops once at an error", [], "system/tools/options/debug/show-stack?: false\n"
     "debug/later [1 / 0]\n\n7\n",
     "{banner}== false\n-----> ERROR make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg\n"
     "*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0\n"
     "*** Stack: launch launch run eval-command do-command try-do debug \n\n== 7\n", 0),
    ("debug: a function's value shows its locals", [], "system/tools/options/debug/show-stack?: false\n"
     "f: func [x] [x * 2]\ndebug [f 3]\n\n\n\n\n\n:f\nc\n",
     "{banner}== false\n== func [x][x * 2]\n-----> EVAL f\nInput: f 3\n-----> OPEN f\nInput: 3\n"
     "-----> EVAL 3\nInput: 3\n-----> PUSH 3\nInput: 3\n-----> CALL f (function!)\nInput:\n"
     "-----> EVAL x\nInput: x * 2\n  > x         : 3\n", 0),
    ("debug: a line that does not load is told and asked again", [],
     "system/tools/options/debug/show-stack?: false\ndebug [1 + 2]\nbogus [[[\n+s [\n:x [[[\nc\nprint 4\n",
     "{banner}== false\n-----> EVAL 1\nInput: 1 + 2\n" +
     ("*** Syntax Error: (line 1) missing ] at [\n*** Where: to\n"
      "*** Near : to block! either find \"+-\" first line [n\n"
      "*** Stack: launch launch run eval-command do-command try-do debug do-handler do-command \n") * 2 +
     "*** Syntax Error: (line 1) missing ] at [\n*** Where: transcode\n*** Near : out: transcode source\n"
     "*** Stack: launch launch run eval-command do-command try-do debug do-handler do-command \n4\n", 0),
    ("debug: the end of the input runs on", [], "system/tools/options/debug/show-stack?: false\n"
     "debug [1 + 2]\n",
     "{banner}== false\n-----> EVAL 1\nInput: 1 + 2\n", 0),
    ("profile prints the value, an empty line, then the table", [], "profile [1 + 2]\n",
     "{banner}== 3\n\n#1   +                | 1          | {time}\n", 0),
]

# Configuration file sessions: the file before (None: none), the input,
# what the file holds afterwards.
CONFIG = [
    ("first start writes the defaults", None, "quit\n",
     CFG_HEADER + "buffer-lines: 10000\nhistory: []\n"),
    ("history and other pairs are kept", 'Ixo []\nkeep: "me"\nhistory: ["a" "b"]\n', "",
     CFG_HEADER + 'keep: "me"\nhistory: ["a" "b"]\nbuffer-lines: 10000\n'),
    ("history is cut to 100", 'Ixo []\nhistory: [' + " ".join(f'"{i}"' for i in range(150)) + ']\n', "",
     CFG_HEADER + 'history: [' + " ".join(f'"{i}"' for i in range(100)) + ']\nbuffer-lines: 10000\n'),
    ("a file without header gives the defaults", 'history: ["x"]\n', "",
     CFG_HEADER + "buffer-lines: 10000\nhistory: []\n"),
    ("a broken file gives the defaults", 'Ixo [] history: ["x"\n', "",
     CFG_HEADER + "buffer-lines: 10000\nhistory: []\n"),
]


def prepare(folder):
    for name, text in FILES.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode())


def run_ixo(home, cwd, args, text, fsize=None, user=None, libraries=None):
    """Runs ixo with HOME set to `home` (None: HOME unset), at most `fsize`
    bytes per file written, as `user` (None: as ourselves), with the folder
    `libraries` first on the library path."""
    env = dict(os.environ)
    env.pop("HOME", None)
    if home is not None:
        env["HOME"] = home
    if libraries is not None:
        env["LD_LIBRARY_PATH"] = libraries

    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))

    data = text if isinstance(text, bytes) else text.encode()
    run = subprocess.run([IXO] + args, cwd=cwd, input=data, capture_output=True, timeout=HANG, env=env,
                         preexec_fn=limit if fsize else None, user=user)
    return run.stdout.decode("utf-8", "replace"), run.returncode


def report(name, what, got, expected):
    print(f"FAIL {name}: {what}\n  expected {expected!r}\n  got      {got!r}")
    return 1


def piped_session(shown, case):
    name, args, text, expected, status, *options = case
    with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as cwd:
        prepare(cwd)
        out, code = run_ixo(home, cwd, args, text, **(options[0] if options else {}))
    expected = expected.replace("{banner}", shown)
    failures = 0
    # A measured duration ("{time}") matches any time! value.
    pattern = "[0-9:.]+ *".join(re.escape(part) for part in expected.split("{time}"))
    if not re.fullmatch(pattern, out):
        failures += report(name, "output", out, expected)
    if code != status:
        failures += report(name, "status", code, status)
    return failures


def piped_sessions(shown):
    # Each session is its own process in its own folders: run them side by side.
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        failures = sum(pool.map(lambda case: piped_session(shown, case), PIPED))
    return failures, len(PIPED)


def config_sessions():
    failures = 0
    for name, before, text, after in CONFIG:
        with tempfile.TemporaryDirectory() as home:
            path = os.path.join(home, CFG)
            if before is not None:
                os.makedirs(os.path.dirname(path))
                with open(path, "w") as f:
                    f.write(before)
            run_ixo(home, home, [], text)
            with open(path) as f:
                got = f.read()
        if got != after:
            failures += report(name, "configuration file", got, after)
    return failures, len(CONFIG)


# A user whose home folder does not exist, for the sessions that need one
# (only root can run as another user): None when there is none.
def homeless_user():
    if os.geteuid() != 0:
        return None
    try:
        entry = pwd.getpwnam("nobody")
    except KeyError:
        return None
    return None if os.path.isdir(entry.pw_dir) else entry.pw_uid


def count_reports(out):
    return len(re.findall(r"^\*\*\* [\w ]+ Error: ", out, re.M))


def home_sessions(shown):
    """Homes that are missing, not folders, read-only or booby-trapped: the
    session runs as usual, its status is its own, nothing outside the home's
    .ixo/ folder is made or written."""
    failures = 0
    total = 0

    def check(name, what, got, expected):
        nonlocal failures
        if got != expected:
            failures += report(name, what, got, expected)

    with tempfile.TemporaryDirectory() as tmp:
        total += 1
        missing = os.path.join(tmp, "no-home")
        out, code = run_ixo(missing, tmp, [], "print 1\n")
        check("a missing home", "output", out, shown + "1\n")
        check("a missing home", "status", code, 0)
        check("a missing home", "home made", os.path.exists(missing), False)

        total += 1
        afile = os.path.join(tmp, "a-file")
        with open(afile, "w") as f:
            f.write("keep")
        out, code = run_ixo(afile, tmp, [], "print 1\n")
        check("a home that is a file", "output", out, shown + "1\n")
        check("a home that is a file", "status", code, 0)
        with open(afile) as f:
            check("a home that is a file", "file", f.read(), "keep")

    # A folder that the session may not write to: running as root, another
    # user's view of a folder of ours; else the folder made read-only.
    user = homeless_user()
    with tempfile.TemporaryDirectory() as home:
        total += 1
        os.chmod(home, 0o555)
        out, code = run_ixo(home, "/", [], "print 1\nquit/return 3\n", user=user)
        os.chmod(home, 0o700)
        name = "a read-only home"
        check(name, "output starts", out[:len(shown) + 2], shown + "1\n")
        check(name, "failed save reported once", count_reports(out), 1)
        check(name, "status", code, 3)

    # No HOME, or an empty one: the password database tells the home; for
    # a user without one there is no configuration at all.
    if user is not None:
        for home in (None, ""):
            total += 1
            name = f"HOME {'unset' if home is None else 'empty'}, no home in the password database"
            out, code = run_ixo(home, "/", [], "print system/options/cache\n", user=user)
            check(name, "output", out, shown + "none\n")
            check(name, "status", code, 0)

    with tempfile.TemporaryDirectory() as home:
        total += 1
        name = "the configuration is private"
        run_ixo(home, home, [], "")
        for path, mode in ((".ixo", 0o700), (".ixo/Ixo-Console", 0o700), (CFG, 0o600)):
            got = stat.S_IMODE(os.lstat(os.path.join(home, path)).st_mode)
            check(name, f"mode of {path}", oct(got), oct(mode))

    with tempfile.TemporaryDirectory() as home:
        total += 1
        name = "a planted link is replaced, not written through"
        path = os.path.join(home, CFG)
        os.makedirs(os.path.dirname(path))
        victim = os.path.join(home, "victim")
        with open(victim, "w") as f:
            f.write("keep")
        os.symlink(victim, path)
        run_ixo(home, home, [], "")
        with open(victim) as f:
            check(name, "linked file", f.read(), "keep")
        check(name, "configuration is a file", os.path.islink(path), False)
        with open(path) as f:
            check(name, "configuration", f.read(), CFG_HEADER + "buffer-lines: 10000\nhistory: []\n")
    return failures, total


# Output that cannot be written: name, arguments, standard input, where
# standard output goes ("full": /dev/full; a number: a file under that
# file-size limit). The run reports the failed write once on standard error
# and ends with status 1.
UNWRITABLE = [
    ("a script's output to a full disk", ["prints.ixo"], "", "full"),
    ("a piped session's output to a full disk", [], 'print "x"\nprint "y"\n', "full"),
    ("a script's output past the file-size limit", ["prints.ixo"], "", 4096),
]
UNWRITABLE_REPORT = {"full": "No space left on device", 4096: "File too large"}


def unwritable_output_sessions():
    failures = 0
    for name, args, text, target in UNWRITABLE:
        with tempfile.TemporaryDirectory() as home:
            with open(os.path.join(home, "prints.ixo"), "w") as f:
                f.write('Ixo []\nloop 100 [print append/dup copy "" "x" 99]\n')
            path = "/dev/full" if target == "full" else os.path.join(home, "out.txt")

            def limit():
                if target != "full":
                    resource.setrlimit(resource.RLIMIT_FSIZE, (target, target))

            with open(path, "wb") as out:
                run = subprocess.run([IXO] + args, cwd=home, input=text.encode(), stdout=out,
                                     stderr=subprocess.PIPE, timeout=HANG, env=dict(os.environ, HOME=home),
                                     preexec_fn=limit)
        expected = f"*** Error: cannot write to standard output: {UNWRITABLE_REPORT[target]}\n"
        if run.stderr.decode(errors="replace") != expected:
            failures += report(name, "standard error", run.stderr.decode(errors="replace"), expected)
        if run.returncode != 1:
            failures += report(name, "status", run.returncode, 1)
    return failures, len(UNWRITABLE)


def closed_pipe_session():
    """A reader that closes the pipe early ends the run by SIGPIPE, quietly."""
    with tempfile.TemporaryDirectory() as home:
        with open(os.path.join(home, "prints.ixo"), "w") as f:
            f.write('Ixo []\nforever [print "y"]\n')
        proc = subprocess.Popen([IXO, "prints.ixo"], cwd=home, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=dict(os.environ, HOME=home))
        proc.stdout.read(10)
        proc.stdout.close()
        err = proc.stderr.read().decode(errors="replace")
        status = proc.wait(timeout=HANG)
    failures = 0
    if status != -signal.SIGPIPE:
        failures += report("closed pipe", "status", status, -signal.SIGPIPE)
    if err:
        failures += report("closed pipe", "standard error", err, "")
    return failures, 1


class Terminal:
    """ixo on a pseudo-terminal; `expect` waits for a pattern in what it
    writes, answering its cursor-position queries as a terminal does."""

    def __init__(self, home, cwd=None, columns=None, args=()):
        self.master, self.slave = pty.openpty()
        if columns:
            fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        self.mode = termios.tcgetattr(self.slave)
        self.out = b""
        self.mark = 0
        # The terminal becomes the session's controlling terminal, so that
        # Ctrl-C outside the line editor sends SIGINT as at a shell.
        self.proc = subprocess.Popen([IXO, *args], cwd=cwd or home, stdin=self.slave, stdout=self.slave,
                                     stderr=self.slave, env=dict(os.environ, HOME=home, TERM="xterm"),
                                     start_new_session=True,
                                     preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))

    # Answers the match, or None when the pattern never came.
    def expect(self, pattern):
        while True:
            found = re.search(pattern, self.out[self.mark:])
            if found:
                self.mark += found.end()
                return found
            ready, _, _ = select.select([self.master], [], [], HANG)
            if not ready:
                return None
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return None
            if not chunk:
                return None
            self.out += chunk
            for _ in range(chunk.count(b"\x1b[6n")):
                os.write(self.master, b"\x1b[1;1R")

    def type(self, keys):
        os.write(self.master, keys)

    # Types each step's keys and waits for its pattern; at the first that
    # never comes, reports it under `name` and ends the session. Answers
    # the number of failures.
    def play(self, name, steps):
        for keys, pattern in steps:
            self.type(keys)
            if not self.expect(pattern):
                self.proc.kill()
                return report(name, f"after {keys!r}", self.out[self.mark:].decode("utf-8", "replace"),
                              pattern.decode())
        return 0

    def close(self):
        try:
            status = self.proc.wait(timeout=HANG)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            status = self.proc.wait()
        mode = termios.tcgetattr(self.slave)
        os.close(self.master)
        os.close(self.slave)
        return status, mode


# The terminal session: each step types keys, then waits for a pattern.
STEPS = [
    (b"", rb"Type HELP for starting information\.[\s\S]*>> "),
    (b"1 + 2\r", rb"== 3\r?\n"),
    (b"", rb">> "),
    # an open block: the continuation prompt shows its bracket
    (b"[\r", rb"\r?\n(\x1b\[[0-9;]*[A-Za-z])*\[    "),
    (b"1]\r", rb"== \[\r?\n    1\r?\n\]\r?\n"),
    (b"", rb">> "),
    # one candidate: the path completes in place, twice
    (b"system/con\t", rb"system/console"),
    (b"/def-r\t", rb"def-result"),
    (b"\r", rb'== "=="'),
    (b"", rb">> "),
    # several candidates: they are listed, and the next prompt starts
    # with their common part
    (b"prin\t", rb"prin print"),
    (b"", rb">> prin"),
    (b"t 7\r", rb"\n7\r?\n"),
    (b"", rb">> "),
    (b"\x04", rb"\n"),
]


def terminal_session():
    failures = 0
    with tempfile.TemporaryDirectory() as home:
        term = Terminal(home)
        failures += term.play("terminal", STEPS)
        status, mode = term.close()
        if failures == 0:
            if status != 0:
                failures += report("terminal", "status", status, 0)
            if mode != term.mode:
                failures += report("terminal", "terminal mode restored", mode, term.mode)
            with open(os.path.join(home, CFG)) as f:
                saved = f.read()
            history = 'history: ["print 7" "system/console/def-result" "1]" "[" "1 + 2"]'
            if history not in saved:
                failures += report("terminal", "history saved", saved, history)
    return failures, 1


# The debugger at a terminal: it asks "debug> " after each step; its
# answers leave the console history as it was.
DEBUG_STEPS = [
    (b"", rb">> "),
    (b"debug [1 + 2]\r", rb"-----> EVAL 1\r?\nInput: 1 \+ 2\r?\n\r?\n-empty stack-\r?\n\r?\n(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"\r", rb"-----> PUSH 1\r?\nInput: 1 \+ 2\r?\n\r?\nStack: 1\r?\n\r?\n(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"-s\r", rb"(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"\r", rb"-----> EVAL \+\r?\nInput: \+ 2\r?\n(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"+s\r", rb"(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"\r", rb"-----> OPEN \+\r?\nInput: 2\r?\n\r?\nStack: \+\r?\n\r?\n(\x1b\[[0-9;]*[A-Za-z])*debug> "),
    (b"q\r", rb"\(halted\)\r?\n"),
    (b"length? system/console/history\r", rb"== 2\r?\n"),
    (b"system/tools/options/debug/show-stack?\r", rb"== true\r?\n"),
    (b"", rb">> "),
    (b"\x04", rb"\n"),
]


# Ctrl-C while a command runs at a terminal: the command stops as `halt`
# stops it, the prompt comes back, and the session's words are kept. A
# loop, a wait and a loop of function calls, each stopped once it shows it
# runs.
HALT_STEPS = [
    (b"", rb">> "),
    (b"x: 42\r", rb">> "),
    (b'print "running" forever []\r', rb"running\r?\n"),
    (b"\x03", rb"\(halted\)\r?\n"),
    (b"", rb">> "),
    (b"x\r", rb"== 42\r?\n"),
    (b'print "waiting" wait 1000\r', rb"waiting\r?\n"),
    (b"\x03", rb"\(halted\)\r?\n"),
    (b'n: 0 f: does [n: n + 1] forever [f if n = 1 [print "counting"]]\r', rb"counting\r?\n"),
    (b"\x03", rb"\(halted\)\r?\n"),
    (b"n > 0\r", rb"== true\r?\n"),
    (b"", rb">> "),
    (b"\x04", rb"\n"),
]


def played_session(name, steps):
    """A terminal session that plays its steps and ends with status 0."""
    failures = 0
    with tempfile.TemporaryDirectory() as home:
        term = Terminal(home)
        failures += term.play(name, steps)
        status, _ = term.close()
        if failures == 0 and status != 0:
            failures += report(name, "status", status, 0)
    return failures, 1


def halt_terminal_session():
    return played_session("Ctrl-C at the prompt's command", HALT_STEPS)


def debug_terminal_session():
    return played_session("debug terminal", DEBUG_STEPS)


def interrupt_session():
    """Ctrl-C while a script runs: what it printed is kept, and the status
    is 128 + SIGINT."""
    failures = 0
    with tempfile.TemporaryDirectory() as home:
        prepare(home)
        term = Terminal(home, args=["interrupted.ixo"])
        if not term.expect(rb"kept\r?\n"):
            failures += report("Ctrl-C", "output", term.out.decode("utf-8", "replace"), "kept")
            term.proc.kill()
        else:
            term.type(b"\x03")
        status, _ = term.close()
        if failures == 0 and status != 128 + signal.SIGINT:
            failures += report("Ctrl-C", "status", status, 128 + signal.SIGINT)
    return failures, 1


# A window in the terminal, left in each way there is: by its end, after an
# error in an actor, by `quit` from an actor, and by SIGINT. Every way
# leaves the terminal as it was: its modes, the cursor shown, mouse
# reporting off.
UI_SCRIPT = """Ixo []
system/view/platform/mouse-event?: true
n: 0
w: make face! [type: 'window size: 12x2 text: "w" pane: reduce [
	make face! [type: 'button text: "OK" size: 4x1 offset: 1x0]
] actors: object [on-key: func [f e] [
	n: n + 1
	%s
]]]
view w
print "done"
"""
UI_CASES = [
    # name, actor code, keys, status, pattern
    ("ui end", "unview", b"x", 0, rb"done"),
    ("ui error", "if n = 1 [1 / 0] unview", b"xy", 0, rb"divide by zero[\s\S]*done"),
    ("ui quit", "quit/return 3", b"x", 3, None),
    ("ui SIGINT", "", None, 128 + signal.SIGINT, None),
]
MOUSE_ON = b"\x1b[?1000h\x1b[?1003h\x1b[?1015h\x1b[?1006h"
MOUSE_OFF = b"\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l"


def ui_sessions():
    failures = 0
    for name, actor, keys, expected, pattern in UI_CASES:
        with tempfile.TemporaryDirectory() as home:
            with open(os.path.join(home, "ui.ixo"), "w") as f:
                f.write(UI_SCRIPT % actor)
            term = Terminal(home, args=["ui.ixo"])
            if not term.expect(rb"OK"):
                failures += report(name, "frame", term.out.decode("utf-8", "replace"), "OK")
                term.proc.kill()
                term.close()
                continue
            if keys is None:
                term.proc.send_signal(signal.SIGINT)
            else:
                term.type(keys)
            if pattern and not term.expect(pattern):
                failures += report(name, "output", term.out.decode("utf-8", "replace"), pattern.decode())
            # What it wrote on its way out, up to its end.
            try:
                term.proc.wait(timeout=HANG)
            except subprocess.TimeoutExpired:
                pass
            while select.select([term.master], [], [], 0.2)[0]:
                try:
                    chunk = os.read(term.master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                term.out += chunk
            status, mode = term.close()
            out = term.out
            if status != expected:
                failures += report(name, "status", status, expected)
            if mode != term.mode:
                failures += report(name, "terminal mode restored", mode, term.mode)
            on, off = out.find(MOUSE_ON), out.rfind(MOUSE_OFF)
            if on < 0 or off < on:
                failures += report(name, "mouse reporting on, then off", out[-200:], "both, in this order")
            if out.rfind(b"\x1b[?25l") > out.rfind(b"\x1b[?25h"):
                failures += report(name, "cursor shown at the end", out[-200:], "\\x1b[?25h last")
    return failures, len(UI_CASES)


# The console's help and shell-like words on an 80-column terminal, started
# in the folder ac/s of LISTED. Each step types keys and waits for a pattern;
# a check, when given, looks at the match and answers what is wrong.
LISTED = ["alpha.txt", "beta.ixo", "gamma", "abcdefghijklmnopq", "exactly-18-chars.x",
          "a-much-longer-name-than-the-column.txt", "sub/", "sub/inner.txt"]

USAGE = ("\n\tUse HELP or ? to view built-in docs for functions, values \n"
         "\tfor contexts, or all values of a given datatype:\n\n"
         "\t\thelp append\n\t\t? system\n\t\t? function!\n\n"
         "\tTo search for values by name, use a word:\n\n\t\t? pri\n\t\t? to-\n\n"
         "\tTo also search in function specs, use a string:\n\n\t\t? \"pri\"\n\t\t? \"issue!\"\n\n"
         "\tTo buffer and return output, rather than printing results, \n\tuse help-string:\n\n"
         "\t\thelp-string append\n\n\tOther useful functions:\n\n"
         "\t\t??     - Display a word and the value it references\n"
         "\t\tprobe  - Print a molded value\n"
         "\t\tsource - Show a function's source code\n"
         "\t\twhat   - Show a list of known functions or words\n"
         "\t\tabout  - Display version number and build date\n"
         "\t\tquit   - Leave the Ixo console\n\t\n")


def shown_name(name, width):
    return name[:width - 4] + "..." if len(name) >= width else name


def check_listing(names, width, per_row):
    """A listing: rows of up to per_row entries, each a tab and the shown
    name padded to width and a space; the names in any order."""
    def check(found):
        rows = found.group(1).decode().split("\r\n")[:-1]
        entries = []
        for i, row in enumerate(rows):
            cells = row.split("\t")[1:]
            if row[:1] != "\t" or any(len(c) != width + 1 or c[-1] != " " for c in cells):
                return f"row {row!r} is not tab-separated cells of {width + 1} characters"
            if len(cells) != per_row and i != len(rows) - 1 or len(cells) > per_row:
                return f"row {row!r} does not hold {per_row} entries"
            entries += [c.rstrip() for c in cells]
        expected = sorted(shown_name(n, width) for n in names)
        if sorted(entries) != expected:
            return f"entries {sorted(entries)} instead of {expected}"
        return None
    return check


def check_fitted(found):
    lines = found.group(1).decode().split("\r\n")
    if any(len(line) > 79 for line in lines):
        return f"a line is longer than 79 columns: {max(lines, key=len)!r}"
    if not any(line.endswith("...") for line in lines):
        return "no long line ends with ..."
    return None


def check_clock(found):
    number = found.group(1).decode()
    if "." in number and len(number.replace(".", "")) > 3:
        return f"{number} is not shortened to three digits"
    return None


def help_steps(parent):
    top = [n for n in LISTED if "/" not in n or n.endswith("/")]
    prompt = rb"(?:\x1b\[[0-9;]*[A-Za-z])*>> "
    listing = rb"\r\n((?:\t[^\r\n]*\r\n)+)" + prompt
    return [
        (b"", rb"Type HELP for starting information\.[\s\S]*?>> ", None),
        (b"help\r", re.escape(("help\n" + USAGE).replace("\n", "\r\n").encode()), None),
        (b"", prompt, None),
        (b"help 42\r", rb"\r\n42 is an integer! value\.\r\n\r\n" + prompt, None),
        (b"? xyzzy\r", rb"\r\nNo matching values were found in the global context\.\r\n\r\n" + prompt, None),
        (b"? system\r", rb"\r\nSYSTEM is an object! with the following words and values:\r\n([\s\S]*?)\r\n\r\n", check_fitted),
        (b"", prompt, None),
        (b"zz: 7\r", prompt, None),
        (b"? integer!\r", rb"\r\n     zz {15}7\r\n", None),
        (b"", prompt, None),
        (b"help append\r", rb"\r\nUSAGE:\r\n     APPEND series value\r\n\r\nDESCRIPTION:\r\n", None),
        (b"", rb"\r\nARGUMENTS:\r\n[\s\S]*\r\nREFINEMENTS:\r\n[\s\S]*\r\nRETURNS:\r\n[\s\S]*?" + prompt, None),
        (b"help +\r", rb"\r\nUSAGE:\r\n     value1 \+ value2\r\n", None),
        (b"", prompt, None),
        (b"source help\r", rb"\r\nhelp: func \[", None),
        (b"", prompt, None),
        (b"about\r", rb"\r\nIxo \S+ for Linux built \S+( commit #[0-9a-f]{7})?\r\n" + prompt, None),
        # with the build's version-control record, or the notice of a build without one
        (b"about/debug\r", rb"\r\n(?:-----------IXO & PLATFORM VERSION----------- \r\nIXO: \[ branch: .* commit: #[0-9a-f]+ \] "
                           rb"\r\nPLATFORM: \[ name: .* OS: 'Linux arch: .* \] \r\n-{44}|This Ixo was built from source; "
                           rb"it holds no version-control information\.)\r\n" + prompt, None),
        (b"ls\r", listing, check_listing(top, 18, 3)),
        (b"dir\r", listing, check_listing(top, 18, 3)),
        (b"ll\r", listing, check_listing(top, 66, 1)),
        (b"ls sub\r", listing, check_listing(["inner.txt"], 18, 3)),
        (b"list-dir 42\r", rb"\*\*\* Script Error: list-dir does not allow integer! for its dir argument\r\n", None),
        (b"1 + 1\r", rb"== 2\r\n" + prompt, None),
        (b"list-dir/col %. 0\r", rb"\*\*\* Script Error: value out of range: 0\r\n", None),
        (b"1 + 2\r", rb"== 3\r\n" + prompt, None),
        (b"cd ..\r", prompt, None),
        (b"pwd\r", rb"\r\n%" + re.escape(parent.encode()) + rb"\r\n" + prompt, None),
        (b"cd nosuch\r", rb"\*\*\* Access Error: cannot open: ", None),
        (b"pwd\r", rb"\r\n%" + re.escape(parent.encode()) + rb"\r\n" + prompt, None),
        (b"expand [#if true [1]]\r", rb"\r\n\[1\]\r\n== \[1\]\r\n" + prompt, None),
        (b"clock [1 + 1]\r", rb"\r\n(\d+(?:\.\d+)?) (?:\xce\xbcs|ms)\t\[1 \+ 1\]\r\n== 2\r\n" + prompt, check_clock),
        (b"n: 0\r", prompt, None),
        (b"clock/times [n: n + 1] 0\r", rb"\[n: n \+ 1\]\r\n== 1\r\n" + prompt, None),
        (b"stats/show\r", rb"\r\n\r\n\[ Nodes  \] -- Free ----- Used ----- Total --\r\n  1: [\s\S]*?"
                          rb"\[ Series \] -- Free ----- Used ----- Total --[\s\S]*?\[ Big    \]\r\n[\s\S]*?"
                          rb"Total allocated on heap \(malloc\): +\d+\r\n" + prompt, None),
        (b'transcode-trace "a"\r', rb"\r\nLOAD     word!        a [^\r\n]*\r\n[\s\S]*?== \[a\]\r\n" + prompt, None),
        (b"q\r", rb"q\r\n", None),
    ]


def help_terminal_session():
    failures = 0
    with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as top:
        top = os.path.realpath(top)
        start = os.path.join(top, "ac", "s")
        os.makedirs(start)
        for name in LISTED:
            path = os.path.join(start, name)
            if name.endswith("/"):
                os.makedirs(path)
            else:
                open(path, "w").close()
        term = Terminal(home, cwd=start, columns=80)
        for keys, pattern, check in help_steps(os.path.join(top, "ac") + "/"):
            term.type(keys)
            found = term.expect(pattern)
            problem = (check(found) if check else None) if found else "pattern never came"
            if problem:
                failures += report("help terminal", f"after {keys!r}: {problem}",
                                   term.out[term.mark:].decode("utf-8", "replace"), pattern.decode("utf-8", "replace"))
                term.proc.kill()
                break
        status, _ = term.close()
        if failures == 0:
            if status != 0:
                failures += report("help terminal", "status after q", status, 0)
            if not os.path.exists(os.path.join(home, CFG)):
                failures += report("help terminal", "configuration saved by q", "no file", CFG)
    return failures, 1


def main():
    global IXO
    IXO = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as home:
        shown = run_ixo(home, home, [], "")[0]
    failures = 0
    if not re.fullmatch(r"--== Ixo \S+ ==-- \nType HELP for starting information\. \n\n", shown):
        failures += report("banner", "output", shown, "--== Ixo <version> ==-- ...")
    groups = (lambda: piped_sessions(shown), config_sessions, lambda: home_sessions(shown),
              terminal_session, help_terminal_session, debug_terminal_session, interrupt_session, ui_sessions,
              unwritable_output_sessions, closed_pipe_session, halt_terminal_session)
    # The groups share nothing (each its own folders and terminal): run them side by side.
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(groups)) as pool:
        results = list(pool.map(lambda group: group(), groups))
    total = 1 + sum(n for _, n in results)
    failures += sum(f for f, _ in results)
    print(f"{total - failures} of {total} console checks passed" if not failures else f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
