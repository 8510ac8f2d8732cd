#!/usr/bin/env python3
"""The JSON and CSV codecs against Python 3's json and csv modules.

Writes a generated JSON document and a CSV file with quoted values,
doubled quotes and line ends inside values (about 10 MB each) into a
temporary folder, times ixo's load-json, to-json, load-csv and to-csv over
them (codecs/json_csv.ixo, best of three inside one process), then Python's
json.loads (C accelerator), the pure-Python decoder (json.decoder's
py_scanstring with json.scanner's py_make_scanner), json.dumps (C encoder
and pure-Python encoder), csv.reader and csv.writer, best of three each,
and prints the times and ixo's time divided by Python's.

usage: json_csv_bench.py IXO
"""
import csv
import io
import json
import json.decoder
import json.encoder
import json.scanner
import os
import subprocess
import sys
import tempfile
import time

SIZE = 10 << 20


def make_json():
    rows, n, size = [], 0, 0
    while size < SIZE:
        block = []
        for _ in range(100):
            block.append({
                "id": n,
                "name": f"item {n % 997}",
                "price": n * 0.25 + 0.125,
                "ok": n % 3 == 0,
                "note": None if n % 5 else f"line\none \"quoted\" caf\u00e9 {n}",
                "tags": ["a", "b", f"t{n % 13}"],
                "pos": {"x": n % 640, "y": -(n % 480)},
            })
            n += 1
        rows.extend(block)
        size += len(json.dumps(block, indent=2))
    return json.dumps(rows, indent=2, ensure_ascii=False)


def make_csv():
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    n = 0
    while out.tell() < SIZE:
        for _ in range(1000):
            writer.writerow([n, f"name {n % 997}", f"say \"hi\", {n}", f"two\nlines {n}",
                             f"{n * 0.5}", "plain", f"caf\u00e9 {n % 7}"])
            n += 1
    return out.getvalue()


def best(function, runs=3):
    fastest = None
    for _ in range(runs):
        start = time.perf_counter()
        function()
        elapsed = time.perf_counter() - start
        fastest = elapsed if fastest is None else min(fastest, elapsed)
    return fastest


def pure_python_decoder():
    decoder = json.JSONDecoder()
    decoder.parse_string = json.decoder.py_scanstring
    decoder.scan_once = json.scanner.py_make_scanner(decoder)
    return decoder


def pure_python_dumps(value):
    # The encoder takes the pure-Python path when the C one is missing.
    saved = json.encoder.c_make_encoder
    json.encoder.c_make_encoder = None
    try:
        return json.JSONEncoder(ensure_ascii=False, check_circular=False).encode(value)
    finally:
        json.encoder.c_make_encoder = saved


def main():
    ixo = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        json_text, csv_text = make_json(), make_csv()
        json_file, csv_file = os.path.join(folder, "bench.json"), os.path.join(folder, "bench.csv")
        with open(json_file, "w", encoding="utf-8") as f:
            f.write(json_text)
        with open(csv_file, "w", encoding="utf-8", newline="") as f:
            f.write(csv_text)
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "codecs", "json_csv.ixo")
        run = subprocess.run([ixo, script, json_file, csv_file], capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(f"ixo failed ({run.returncode}):\n{run.stdout}{run.stderr}")
        ixo_times = dict(line.split() for line in run.stdout.splitlines())

    value = json.loads(json_text)
    records = list(csv.reader(io.StringIO(csv_text)))
    if int(ixo_times["json-records"]) != len(value) or int(ixo_times["csv-records"]) != len(records):
        sys.exit(f"record counts differ: {ixo_times} vs {len(value)} and {len(records)}")
    slow = pure_python_decoder()
    python = {
        "json.loads (C)": best(lambda: json.loads(json_text)),
        "json decoder (pure Python)": best(lambda: slow.decode(json_text)),
        "json.dumps (C)": best(lambda: json.dumps(value, ensure_ascii=False)),
        "json encoder (pure Python)": best(lambda: pure_python_dumps(value)),
        "csv.reader": best(lambda: list(csv.reader(io.StringIO(csv_text)))),
        "csv.writer": best(lambda: csv.writer(io.StringIO(), lineterminator="\n").writerows(records)),
    }
    print(f"JSON {len(json_text.encode()) / 1e6:.1f} MB, {len(value)} records; "
          f"CSV {len(csv_text.encode()) / 1e6:.1f} MB, {len(records)} records")
    pairs = [
        ("load-json", "json.loads (C)"), ("load-json", "json decoder (pure Python)"),
        ("to-json", "json.dumps (C)"), ("to-json", "json encoder (pure Python)"),
        ("load-csv", "csv.reader"), ("to-csv", "csv.writer"),
    ]
    for ixo_name, python_name in pairs:
        mine, theirs = float(ixo_times[ixo_name]), python[python_name]
        print(f"{ixo_name} {mine:.3f}s vs {python_name} {theirs:.3f}s: {mine / theirs:.2f}x")


if __name__ == "__main__":
    main()
