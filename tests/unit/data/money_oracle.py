#!/usr/bin/env python3
"""Writes money_oracle.inc: random money! arithmetic and rounding cases with
their results computed by Python's decimal module. Run from this folder:
    python3 money_oracle.py > money_oracle.inc
Each row: left amount, operation, right operand, expected mold/all text or
the error id. Amounts carry 5 decimals; the right operand of multiply and
divide is an integer, of round a scale."""
import random
from decimal import Decimal, getcontext, ROUND_DOWN, ROUND_HALF_UP, ROUND_HALF_EVEN, \
    ROUND_HALF_DOWN, ROUND_FLOOR, ROUND_CEILING

getcontext().prec = 80
rng = random.Random(20240611)
UNIT = Decimal("0.00001")
LIMIT = Decimal(10) ** 17


def amount(max_digits=22):
    digits = rng.randint(1, max_digits)
    coef = rng.randrange(10 ** (digits - 1), 10 ** digits)
    sign = -1 if rng.random() < 0.4 else 1
    return Decimal(sign * coef) * UNIT


def count(d):
    coef = int(abs(d) / UNIT)
    return max(len(str(coef)), 1) if coef else 1


def text(d):
    sign = "-" if d < 0 else ""
    return sign + "$" + format(abs(d).quantize(UNIT), "f")


def result(d):
    return "type-limit" if abs(d) >= LIMIT else text(d)


def money_math(a, op, b):
    if op == "add":
        return result(a + b)
    if op == "subtract":
        return result(a - b)
    if op == "multiply":
        if a == 0 or b == 0:
            return text(Decimal(0))
        if count(a) + count(b) > 28:
            return "type-limit"
        return result((a * b).quantize(UNIT, rounding=ROUND_DOWN))
    if b == 0:
        return "zero-divide"
    if a == 0:
        return text(a)
    if 22 < count(a) - count(b) + 6:
        return "type-limit"
    if op == "divide":
        return result((a / b).quantize(UNIT, rounding=ROUND_DOWN))
    return result(a % b)  # the sign of the dividend


MODES = {"nearest": ROUND_HALF_UP, "even": ROUND_HALF_EVEN, "down": ROUND_DOWN,
         "half-down": ROUND_HALF_DOWN, "floor": ROUND_FLOOR, "ceiling": ROUND_CEILING}


def money_round(a, mode, s):
    s = abs(s)
    if a == 0 or s == 0:
        return text(a)
    q = a / s
    if mode == "half-ceiling":
        r = q.quantize(Decimal(1), rounding=ROUND_CEILING) if q - q.to_integral_value(ROUND_FLOOR) == Decimal("0.5") \
            else q.quantize(Decimal(1), rounding=ROUND_HALF_UP)
    else:
        r = q.quantize(Decimal(1), rounding=MODES[mode])
    return result(r * s)


rows = []
for _ in range(300):
    op = rng.choice(["add", "subtract", "multiply", "divide", "remainder", "round"])
    a = amount()
    if op in ("add", "subtract", "remainder"):
        b = amount() if rng.random() < 0.7 else amount(8)
        if op == "remainder" and rng.random() < 0.05:
            b = Decimal(0)
        rows.append((text(a), op, text(b), money_math(a, op, b)))
    elif op in ("multiply", "divide"):
        b = Decimal(rng.choice([rng.randint(-9, 9), rng.randint(-100000, 100000), rng.randint(-2**31, 2**31 - 1)]))
        rows.append((text(a), op, str(b), money_math(a, op, b)))
    else:
        mode = rng.choice(list(MODES) + ["half-ceiling"])
        # Scales that make ties likely: a few digits, often ending in 5.
        s = Decimal(rng.choice([1, 5, 10, 25, 50, 100, 250, 1000])) * Decimal(10) ** rng.randint(-5, 3)
        if rng.random() < 0.5:
            a = (a / s).quantize(Decimal(1), rounding=ROUND_DOWN) * s + s / 2 if s / 2 % UNIT == 0 else a
            a = a if abs(a) < LIMIT else a / 1000
            a = a.quantize(UNIT, rounding=ROUND_DOWN)
        rows.append((text(a), "round/" + mode, text(s), money_round(a, mode, s)))

for r in rows:
    print('{"%s", "%s", "%s", "%s"},' % r)
