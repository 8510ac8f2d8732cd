# The lexer benchmark's data as JSON, loaded by json.loads: the yardstick
# of bench_lexer_bench. Prints MB/s.
import json
import time

rows, n = [], 0
size = 0
while size < 10 << 20:
    block = []
    for _ in range(100):
        block.append([f"name{n % 997}", n, n + 0.25, f"text {n}", ["a", "b", "c"]])
        n += 1
    rows.append(block)
    size += len(json.dumps(block, indent=4))
text = json.dumps(rows, indent=4)
start = time.perf_counter()
for _ in range(3):
    json.loads(text)
elapsed = (time.perf_counter() - start) / 3
print(f"{len(text) / elapsed / 1e6:.1f} MB/s over {len(text) / 1e6:.1f} MB")
