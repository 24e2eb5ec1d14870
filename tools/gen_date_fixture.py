#!/usr/bin/env python3
"""Writes tests/foundation/data/dates.txt: 10,000 pseudo-random dates as python's datetime
sees them. The tick values come from a xorshift64 generator that the date test repeats,
so only the expected fields are stored, one date per line:
YYYYMMDDHHMMSS w jjj UU WW (weekday Sunday 0, day of year, %U and %W week numbers)."""
import datetime
import os

MAX_TICKS = 3155378976000000000
MASK = (1 << 64) - 1


def xorshift(state):
    state ^= (state << 13) & MASK
    state ^= state >> 7
    state ^= (state << 17) & MASK
    return state & MASK


def main():
    out = os.path.join(os.path.dirname(__file__), "..", "tests", "foundation", "data", "dates.txt")
    state = 0x9E3779B97F4A7C15
    lines = []
    for _ in range(10000):
        state = xorshift(state)
        ticks = state % MAX_TICKS
        d = datetime.datetime(1, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
        weekday = d.isoweekday() % 7
        yday = d.timetuple().tm_yday
        weeks = d.strftime("%U%W")
        lines.append("%04d%02d%02d%02d%02d%02d %d %03d %s" % (
            d.year, d.month, d.day, d.hour, d.minute, d.second, weekday, yday, weeks))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
