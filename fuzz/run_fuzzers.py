#!/usr/bin/env python3
"""Runs every libFuzzer target of a build for a while and prints one row per target.

  run_fuzzers.py BUILD_DIR SECONDS [TARGET...]

Each target runs on a scratch copy of fuzz/corpus/<target>/ (so the checked-in seeds stay
as they are), three at a time. A row gives the runs, the runs per second, and "clean" or
the input the fuzzer saved. The exit status is 1 when any target found something.
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

PARALLEL = 3


def run(binary, corpus, seconds, scratch):
    name = os.path.basename(binary)
    work = os.path.join(scratch, name)
    copy = os.path.join(work, 'corpus')
    artifacts = os.path.join(work, 'artifacts') + os.sep
    os.makedirs(artifacts)
    if os.path.isdir(corpus):
        shutil.copytree(corpus, copy)
    else:
        os.makedirs(copy)
    command = [binary, copy, f'-max_total_time={seconds}', '-print_final_stats=1', '-timeout=60',
               f'-artifact_prefix={artifacts}', '-close_fd_mask=1']
    env = dict(os.environ, SDL_VIDEODRIVER='dummy', SDL_AUDIODRIVER='dummy')
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                            timeout=seconds * 3 + 300)
    log = result.stderr.decode('utf-8', 'replace')
    runs = re.findall(r'stat::number_of_executed_units:\s*(\d+)', log)
    rate = re.findall(r'stat::average_exec_per_sec:\s*(\d+)', log)
    saved = re.findall(r'Test unit written to (\S+)', log)
    kept = ''
    if saved or result.returncode != 0:
        # The finding is kept beside the build, since the scratch folder goes away.
        keep = os.path.join(os.path.dirname(binary), 'findings')
        os.makedirs(keep, exist_ok=True)
        for path in saved:
            target = os.path.join(keep, name + '-' + os.path.basename(path))
            shutil.copy(path, target)
            kept = target
        with open(os.path.join(keep, name + '.log'), 'w') as out:
            out.write(log)
        if not kept:
            kept = os.path.join(keep, name + '.log')
    return name, int(runs[-1]) if runs else 0, int(rate[-1]) if rate else 0, kept


def main():
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
    found = False
    with tempfile.TemporaryDirectory(prefix='fuzz-run-') as scratch:
        with concurrent.futures.ThreadPoolExecutor(PARALLEL) as pool:
            jobs = [pool.submit(run, b, os.path.join(source, 'corpus', os.path.basename(b)), seconds, scratch)
                    for b in binaries]
            print(f'{"target":28} {"runs":>12} {"per second":>12}  result', flush=True)
            for job in jobs:
                name, runs, rate, kept = job.result()
                found |= bool(kept)
                print(f'{name:28} {runs:12} {rate:12}  {kept or "clean"}', flush=True)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
