#!/usr/bin/env python3
"""Runs the language-level test scripts: every NAME.ixo under the given folder,
outside folders named fixtures. A script is checked three ways:

- its table lines: a line `EXPRESSION ;== RESULT` holds one case, whose
  expression must give a value that molds (flat) to RESULT; a line
  `EXPRESSION ;!! ERROR` holds one that must raise the error ERROR, written
  `ID` or `TYPE/ID`, optionally followed by the error's leading arguments,
  molded and separated by one space (`;!! script/bad-to-arg integer! "x"`).
  Each case runs where it stands, in order with the rest of the script, and
  a failure names its file and line with the expected and the actual text;
- its standard output must equal NAME.out, or be empty when there is no
  NAME.out (so a case that prints is caught);
- its exit status must be the number in NAME.status when that file exists,
  else 0.

A table line keeps the expression and the marker on one line, at the top
level of the script (not inside a block or a string that spans lines), and
the script's header `Ixo [...]` ends on its own line. The runner checks a
copy of the script in which each table line calls a checking function
defined after the header, on the same line numbers; the copy changes to the
original's folder first, so relative paths mean what they do there.

HOME and TMPDIR point at fresh temporary folders, so the console's
configuration stays out of the user's own and the files a script makes stay
out of the source tree (which may be read-only, or in use by another run).
Further arguments are passed to every script.

usage: run_scripts.py IXO SCRIPTS-FOLDER|SCRIPT [ARGUMENT...]
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

# Scripts whose every case fills the whole value stack: a collection at
# every allocation marks that stack again and again, which turns each case
# into many minutes. They run without the collector stress.
UNSTRESSED = {"stack_overflow.ixo"}

# The marker stands after white space: `;==` inside a word or a string
# without a space before it is not a case.
CASE = re.compile(r"^(?P<expr>\S.*?)\s+;(?P<kind>==|!!)(?:\s+(?P<expected>.*?))?\s*$")
HEADER = re.compile(r"^\s*Ixo\s*\[")


def table_cases(lines):
    """Answers {line number: (kind, expected, expression)} for the table lines."""
    cases = {}
    for number, line in enumerate(lines, 1):
        match = CASE.match(line)
        if match and not line.lstrip().startswith(";"):
            cases[number] = (match["kind"], match["expected"] or "", match["expr"])
    return cases


def checking_copy(lines, cases, results, folder):
    """The script with each table line turned into a call of the checking
    function, which appends one record per case to the results file: the line
    number, `==` and the flat mold of the value, or `!!` and the error's
    type/id and molded arguments separated by tabs; records end in a NUL."""
    header = next((i for i, line in enumerate(lines) if HEADER.match(line)), None)
    if header is None or line_depth(lines[header]) != 0:
        raise ValueError("a script with table lines needs an `Ixo [...]` header on one line")
    if any(number - 1 <= header for number in cases):
        raise ValueError("a table line stands before the header")
    path = results.replace("\\", "/")
    check = ("ixo-table-case: func [line [integer!] code [block!] /local r t] ["
             " set/any 'r try/all code"
             " t: either error! = type? get/any 'r ["
             " rejoin [\"!! \" r/type \"/\" r/id tab mold/flat :r/arg1 tab mold/flat :r/arg2 tab mold/flat :r/arg3]"
             " ] [rejoin [\"== \" mold/flat get/any 'r]]"
             f" write/append to file! {{{path}}} rejoin [line \" \" t #\"^@\"]"
             " ]")
    copy = list(lines)
    # A script runs in its own folder: the copy goes back to the original's.
    back = " change-dir to file! {" + os.path.abspath(folder).replace("\\", "/") + "/}"
    copy[header] = lines[header].rstrip("\n") + " " + check + back + "\n"
    for number, (_, _, expr) in cases.items():
        copy[number - 1] = f"ixo-table-case {number} [{expr}]\n"
    return copy


def line_depth(line):
    """Open brackets left at the end of a line (strings and comments skipped)."""
    depth, quoted, i = 0, False, 0
    while i < len(line):
        c = line[i]
        if quoted:
            if c == "^":
                i += 1
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted = True
        elif c == ";":
            break
        elif c == "[":
            depth += 1
        elif c == "]":
            depth -= 1
        i += 1
    return depth


def error_matches(expected, got):
    """An error expectation `ID` or `TYPE/ID`, then any leading arguments."""
    kind, _, rest = expected.partition(" ")
    type_id, *arguments = got.split("\t")
    if kind != type_id and kind != type_id.split("/", 1)[1]:
        return False
    return rest.strip() in [" ".join(arguments[:n]) for n in range(0 if not rest else 1, len(arguments) + 1)]


def check_cases(script, cases, results):
    """Reports for each case that failed or never ran."""
    got = {}
    if os.path.exists(results):
        with open(results, "rb") as f:
            for record in f.read().decode("utf-8", "replace").split("\0")[:-1]:
                number, _, text = record.partition(" ")
                got[int(number)] = text
    reports = []
    for number, (kind, expected, _) in sorted(cases.items()):
        text = got.get(number)
        if text is None:
            reports.append(f"{script}:{number}: did not run (expected {kind} {expected})")
            continue
        got_kind, got_text = text[:2], text[3:]
        if kind == "==" and got_kind == "==" and got_text == expected:
            continue
        if kind == "!!" and got_kind == "!!" and error_matches(expected, got_text):
            continue
        reports.append(f"{script}:{number}:\n  expected {kind} {expected}\n       got {got_kind} "
                       + got_text.replace("\t", " "))
    return reports


def run_script(ixo, script, arguments):
    """Runs one script; answers whether it passed and, if not, what to report."""
    base = script[:-4]
    expected = b""
    if os.path.exists(base + ".out"):
        with open(base + ".out", "rb") as f:
            expected = f.read()
    status = 0
    if os.path.exists(base + ".status"):
        with open(base + ".status") as f:
            status = int(f.read())
    with open(script, encoding="utf-8") as f:
        lines = f.readlines()
    cases = table_cases(lines)
    with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as tmp, \
            tempfile.TemporaryDirectory() as table:
        run_path = os.path.basename(script)
        results = os.path.join(table, "results")
        if cases:
            try:
                copy = checking_copy(lines, cases, results, os.path.dirname(script))
            except ValueError as problem:
                return False, f"FAIL {script}: {problem}\n"
            run_path = os.path.join(table, os.path.basename(script))
            with open(run_path, "w", encoding="utf-8") as f:
                f.writelines(copy)
        env = dict(os.environ, HOME=home, TMPDIR=tmp)
        if os.path.basename(script) in UNSTRESSED:
            env.pop("IXO_GC_STRESS", None)
        run = subprocess.run([ixo, run_path] + arguments, cwd=os.path.dirname(script),
                             capture_output=True, timeout=1800, env=env)
        reports = check_cases(script, cases, results) if cases else []
    if run.stdout == expected and run.returncode == status and not reports:
        return True, ""
    report = f"FAIL {script}" + (f": status {run.returncode} (expected {status})\n" if run.returncode != status else "\n")
    report += "".join(line + "\n" for line in reports)
    if run.stdout != expected:
        report += ("output differs from " + os.path.basename(base) + ".out:\n" if expected
                   else "output (none expected):\n") + run.stdout.decode("utf-8", "replace")
    return False, report


def main():
    ixo, folder, arguments = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
    if os.sep in ixo:
        ixo = os.path.abspath(ixo)
    # Scripts under a folder named "fixtures" are the tests' own data,
    # run by the tests that name them.
    scripts = [folder] if os.path.isfile(folder) else []
    for root, dirs, files in os.walk(folder):
        dirs[:] = [d for d in dirs if d != "fixtures"]
        scripts += [os.path.join(root, f) for f in files if f.endswith(".ixo")]
    scripts.sort()
    # Scripts are independent processes: run them side by side, report in order.
    workers = int(os.environ.get("IXO_TEST_JOBS", os.cpu_count() or 1))
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(lambda script: run_script(ixo, script, arguments), scripts))
    failures = 0
    for script, (passed, report) in zip(scripts, results):
        if not passed:
            failures += 1
            print(report)
    print(f"{len(scripts) - failures} of {len(scripts)} scripts passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
