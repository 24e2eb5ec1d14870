#!/usr/bin/env python3
"""Runs every benchmark program of a build once, with repetitions in random interleaving,
collects the ratio lines they print after their tables, and prints one table: the case,
its peer, the ratio of medians with the range of the per-round ratios, and the goal that
bench/goals.txt records for the pair, marked met or not. A goal line that no printed ratio
falls under (of the programs named; of every program when none are) is named, and fails
the run as a program that fails does, and so does a pair under a goal printed without a
ratio ("= none": one of its cases did not run): a goal the table never judges is a goal
nobody checks.

Usage: run_benchmarks.py BUILD_DIR [PROGRAM ...]
SL_BENCH_REPETITIONS (default 3) and SL_BENCH_MIN_TIME (default 0.2 s) set the runs."""
import fnmatch
import os
import re
import subprocess
import sys

ANSI_COLOUR = re.compile(r'\x1b\[[0-9;]*m')
# 'none' stands for a pair whose cases did not both run.
RATIO = re.compile(r'^(\S+)\s+/\s+(\S+)\s+=\s+([0-9.]+|none)(?:\s+\[([0-9.]+) \.\. ([0-9.]+)\] x(\d+))?\s*$')


def read_goals(path):
    """Each line: PROGRAM OURS PEER GOAL [# where it comes from]; OURS and PEER may hold
    shell patterns."""
    goals = []
    for line in open(path, encoding='utf-8'):
        line = line.split('#', 1)[0].strip()
        if not line:
            continue
        program, ours, peer, goal = line.split()
        goals.append((program, ours, peer, float(goal)))
    return goals


def goal_index(goals, program, ours, peer):
    """The index of the first goal line for the pair, or None."""
    for index, (g_program, g_ours, g_peer, _) in enumerate(goals):
        if g_program == program and fnmatch.fnmatchcase(ours, g_ours) and fnmatch.fnmatchcase(peer, g_peer):
            return index
    return None


def unmatched_goals(goals, programs, rows):
    """The goal lines that no printed row falls under: of the programs named, or of every
    program when none were (a goal of a program the build lacks is unmatched too)."""
    judged = {goal_index(goals, program, ours, peer) for program, ours, peer, *_ in rows}
    return [goal for index, goal in enumerate(goals)
            if (programs is None or goal[0] in programs) and index not in judged]


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    here = os.path.dirname(os.path.abspath(__file__))
    goals = read_goals(os.path.join(here, 'goals.txt'))
    bench_dir = os.path.join(build, 'bench')
    programs = sys.argv[2:] or sorted(
        name for name in os.listdir(bench_dir)
        if name.endswith('Bench') and os.access(os.path.join(bench_dir, name), os.X_OK))
    repetitions = os.environ.get('SL_BENCH_REPETITIONS', '3')
    min_time = os.environ.get('SL_BENCH_MIN_TIME', '0.2')
    rows = []
    failed = []
    for program in programs:
        print(f'running {program} ...', file=sys.stderr, flush=True)
        command = [os.path.join(bench_dir, program), f'--benchmark_repetitions={repetitions}',
                   '--benchmark_enable_random_interleaving=true', f'--benchmark_min_time={min_time}',
                   '--benchmark_report_aggregates_only=false']
        run = subprocess.run(command, cwd=bench_dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, errors='replace')
        if run.returncode != 0:
            failed.append(program)
        for line in run.stdout.splitlines():
            # The programs' console reporters colour their tables even into a pipe, and the
            # colour reset that ends a table starts the line after it.
            match = RATIO.match(ANSI_COLOUR.sub('', line))
            if match:
                ours, peer, median, low, high, rounds = match.groups()
                index = goal_index(goals, program, ours, peer)
                rows.append((program, ours, peer, None if median == 'none' else float(median),
                             low and float(low), high and float(high),
                             None if index is None else goals[index][3]))
    width_case = max([len(r[1]) for r in rows] + [4])
    width_peer = max([len(r[2]) for r in rows] + [4])
    print(f'{"program":20} {"case":{width_case}} {"peer":{width_peer}} {"ratio":>7} {"rounds":>15} {"goal":>6}')
    met = missed = 0
    unjudged = []
    for program, ours, peer, median, low, high, goal in rows:
        spread = f'{low:.2f}-{high:.2f}' if low is not None and low != '' else ''
        verdict = ''
        if goal is not None and median is None:
            unjudged.append((program, ours, peer))
            verdict = f'{goal:6.2f} NO RATIO'
        elif goal is not None:
            ok = median <= goal
            met += ok
            missed += not ok
            verdict = f'{goal:6.2f} {"met" if ok else "NOT MET"}'
        ratio = 'none' if median is None else f'{median:.3f}'
        print(f'{program:20} {ours:{width_case}} {peer:{width_peer}} {ratio:>7} {spread:>15} {verdict}')
    print(f'\n{len(rows)} ratios; goals met {met}, not met {missed}. A ratio is our median time over the '
          'peer\'s; below 1 ours is faster.')
    for program, ours, peer in unjudged:
        print(f'goal without a ratio (a case did not run): {program} {ours} {peer}')
    unmatched = unmatched_goals(goals, sys.argv[2:] or None, rows)
    for program, ours, peer, goal in unmatched:
        print(f'goal matches no printed ratio: {program} {ours} {peer} {goal:g}')
    if failed:
        print('programs that failed: ' + ' '.join(failed))
    return 1 if failed or unmatched or unjudged else 0


if __name__ == '__main__':
    sys.exit(main())
