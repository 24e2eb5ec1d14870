#!/usr/bin/env python3
"""Checks, without running a benchmark, what `./test bench-run` relies on: that every line
of bench/goals.txt reads and names a benchmark program that bench/ builds, that the table
reads the ratio lines in the shape the programs print (a pair without a ratio too), and
that a goal line no printed ratio falls under is reported rather than passed over.

Usage: check_goal_table.py (exits 1 and names what is wrong)"""
import os
import sys

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_benchmarks  # noqa: E402


def main():
    problems = []
    goals = run_benchmarks.read_goals(os.path.join(HERE, 'goals.txt'))
    for program, ours, peer, goal in goals:
        if not os.path.exists(os.path.join(HERE, program + '.cpp')):
            problems.append(f'goals.txt names {program}, which bench/ does not build')
        if goal <= 0:
            problems.append(f'goals.txt: {program} {ours} {peer} has goal {goal}')

    # The shape of SLBenchPrintRatio, after a colour reset left by the console reporter.
    lines = ['\x1b[0mOwn/NoDither                     / LibjpegQuantizer/NoDither        = 1.770  [1.650 .. 1.910] x3',
             'Refill/wav/p99 / block_100ms = 0.012',
             'Sprites/1                        / SdlSprites/1                     = none']
    parsed = [run_benchmarks.RATIO.match(run_benchmarks.ANSI_COLOUR.sub('', line)) for line in lines]
    if not all(parsed) or parsed[0].group(1, 2, 3) != ('Own/NoDither', 'LibjpegQuantizer/NoDither', '1.770'):
        problems.append('the table does not read the ratio lines the programs print')
    elif parsed[2].group(3) != 'none':
        problems.append('the table does not read a pair printed without a ratio')

    fake = [('P', 'a/1', 'b/1', 1.0), ('P', 'a/*', 'b/*', 2.0), ('P', 'c', 'd', 1.0), ('Q', 'x', 'y', 1.0)]
    rows = [('P', 'a/1', 'b/1', 0.5, None, None, 1.0), ('P', 'a/2', 'b/2', 0.5, None, None, 2.0)]
    if run_benchmarks.unmatched_goals(fake, None, rows) != [fake[2], fake[3]]:
        problems.append('a goal line that no printed ratio falls under is not reported')
    if run_benchmarks.unmatched_goals(fake, ['P'], rows) != [fake[2]]:
        problems.append('the goals of a program that did not run are reported when only others ran')
    # A line shadowed by an earlier one for every row judges nothing.
    if run_benchmarks.unmatched_goals(fake, ['P'], rows[:1]) != [fake[1], fake[2]]:
        problems.append('a goal line that only an earlier line judges is not reported')

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
