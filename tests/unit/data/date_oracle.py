#!/usr/bin/env python3
"""Writes date_oracle.inc: random dates of years 1 to 9999 with their
calendar fields and arithmetic computed by Python's datetime. Run from this
folder:
    python3 date_oracle.py > date_oracle.inc
Each row: year, month, day, weekday (1 Monday), yearday, week (weeks start
on Sunday, the first partial week is week 1), ISO week, a count of days and
the date that many days later; then a count of seconds since 1-Jan-1970 UTC
and the text of that instant."""
import datetime
import random

rng = random.Random(1215)
MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
EPOCH = datetime.datetime(1970, 1, 1)


def week(d):
    u = int(d.strftime("%U"))
    return u if datetime.date(d.year, 1, 1).weekday() == 6 else u + 1


for _ in range(300):
    d = datetime.date.fromordinal(rng.randint(1, datetime.date(9999, 12, 31).toordinal()))
    delta = rng.randint(-(d.toordinal() - 1), datetime.date(9999, 12, 31).toordinal() - d.toordinal())
    if rng.random() < 0.5:
        delta = rng.randint(-400, 400)
        delta = max(delta, -(d.toordinal() - 1))
    e = d + datetime.timedelta(days=delta)
    n = rng.randint(-2**31, 2**31 - 1)
    t = EPOCH + datetime.timedelta(seconds=n)
    text = "%d-%s-%04d/%d:%02d:%02d" % (t.day, MONTHS[t.month - 1], t.year, t.hour, t.minute, t.second)
    print("{%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, \"%s\"}," % (
        d.year, d.month, d.day, d.isoweekday(), d.timetuple().tm_yday, week(d), d.isocalendar()[1],
        delta, e.year, e.month, e.day, n, text))
