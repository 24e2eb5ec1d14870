#!/usr/bin/env python3
"""Runs every libFuzzer target of a build for a while and prints one row per target.

  run_fuzzers.py BUILD_DIR SECONDS [TARGET...]

Each target runs on a scratch copy of fuzz/corpus/<target>/ (so the checked-in seeds stay
as they are), three at a time. A row gives the runs, the runs per second, the coverage an
empty input reaches and the coverage the run reached, and then "clean", the input the
fuzzer saved, or why the run proves nothing:
  failed at start  the target ended before its first input (a target that cannot reach
                   what it tests says so at start and exits non-zero);
  never reached its code  no input covered more than the empty input does, so whatever
                   the target checks was never run.
The exit status is 1 when any target found something or proved nothing. The editor's
target reads the sample content named by SL_CONTENT (./test fuzz-run sets it).
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

PARALLEL = 3


def fuzz(binary, corpus, options, timeout):
    env = dict(os.environ, SDL_VIDEODRIVER='dummy', SDL_AUDIODRIVER='dummy')
    result = subprocess.run([binary, corpus, '-close_fd_mask=1'] + options, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env, timeout=timeout)
    return result.returncode, result.stderr.decode('utf-8', 'replace')


def coverage(log):
    """The most edges libFuzzer reported covered ("cov: N"), 0 when it reported none."""
    return max((int(n) for n in re.findall(r'\bcov: (\d+)', log)), default=0)


def run(binary, corpus, seconds, scratch):
    name = os.path.basename(binary)
    work = os.path.join(scratch, name)
    copy = os.path.join(work, 'corpus')
    empty = os.path.join(work, 'empty')
    artifacts = os.path.join(work, 'artifacts') + os.sep
    os.makedirs(artifacts)
    os.makedirs(empty)
    if os.path.isdir(corpus):
        shutil.copytree(corpus, copy)
    else:
        os.makedirs(copy)
    # What an empty input covers: the floor that the real run must rise above.
    status, log = fuzz(binary, empty, ['-runs=0', f'-artifact_prefix={artifacts}'], 300)
    floor = coverage(log) if status == 0 else 0
    started = status == 0
    if started:
        status, log = fuzz(binary, copy, [f'-max_total_time={seconds}', '-print_final_stats=1', '-timeout=60',
                                          f'-artifact_prefix={artifacts}'], seconds * 3 + 300)
    runs = re.findall(r'stat::number_of_executed_units:\s*(\d+)', log)
    rate = re.findall(r'stat::average_exec_per_sec:\s*(\d+)', log)
    saved = re.findall(r'Test unit written to (\S+)', log)
    reached = coverage(log)
    result = 'clean'
    if saved or status != 0 or reached <= floor:
        # The finding is kept beside the build, since the scratch folder goes away.
        keep = os.path.join(os.path.dirname(binary), 'findings')
        os.makedirs(keep, exist_ok=True)
        for path in saved:
            target = os.path.join(keep, name + '-' + os.path.basename(path))
            shutil.copy(path, target)
            result = target
        log_path = os.path.join(keep, name + '.log')
        with open(log_path, 'w') as out:
            out.write(log)
        if not saved:
            if not started:
                result = 'failed at start: ' + log_path
            elif status != 0:
                result = log_path
            else:
                result = 'never reached its code: ' + log_path
    return name, int(runs[-1]) if runs else 0, int(rate[-1]) if rate else 0, floor, reached, result


def main():
    if len(sys.argv) == 2 and sys.argv[1] in ('-h', '--help'):
        sys.stdout.write(__doc__)
        return 0
    if len(sys.argv) < 3 or not sys.argv[2].isdigit():
        sys.stderr.write(__doc__)
        return 2
    build, seconds = sys.argv[1], int(sys.argv[2])
    source = os.path.dirname(os.path.abspath(__file__))
    names = sys.argv[3:] or sorted(os.path.splitext(f)[0] for f in os.listdir(source)
                                   if f.endswith('Fuzz.cpp'))
    binaries = [os.path.join(build, 'fuzz', n) for n in names]
    missing = [b for b in binaries if not os.access(b, os.X_OK)]
    if missing:
        sys.stderr.write('not built: ' + ' '.join(missing) + '\n')
        return 1
    failed = False
    with tempfile.TemporaryDirectory(prefix='fuzz-run-') as scratch:
        with concurrent.futures.ThreadPoolExecutor(PARALLEL) as pool:
            jobs = [pool.submit(run, b, os.path.join(source, 'corpus', os.path.basename(b)), seconds, scratch)
                    for b in binaries]
            print(f'{"target":28} {"runs":>12} {"per second":>12} {"empty cov":>10} {"cov":>8}  result', flush=True)
            for job in jobs:
                name, runs, rate, floor, reached, result = job.result()
                failed |= result != 'clean'
                print(f'{name:28} {runs:12} {rate:12} {floor:10} {reached:8}  {result}', flush=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
