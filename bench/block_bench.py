# The work of block_bench.cpp with Python lists and sets: a million appends,
# 1,000 membership tests in 100,000 values (list and set), and sorting a
# million random integers. Prints milliseconds per run, best of five.
import random
import time


def best(run, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times) * 1000


def append():
    values = []
    for i in range(1000000):
        values.append(i)


cells = list(range(100000))
indexed = set(cells)
wanted = [k * 100 + 37 for k in range(1000)]


def find_list():
    for v in wanted:
        v in cells


def find_set():
    for v in wanted:
        v in indexed


generator = random.Random(20240601)
unsorted = [generator.getrandbits(31) for _ in range(1000000)]


def sort():
    unsorted[:].sort()


print(f"append 1,000,000       {best(append):9.2f} ms")
print(f"find 1,000 in list     {best(find_list):9.2f} ms")
print(f"find 1,000 in set      {best(find_set):9.3f} ms")
print(f"sort 1,000,000         {best(sort):9.2f} ms (the copy included)")
