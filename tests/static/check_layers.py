#!/usr/bin/env python3
"""Fails when a folder of the programs includes a header from its own floor's
neighbours or from a floor above it.

Usage: check_layers.py SOURCE_ROOT

Floors, lowest first: a folder includes its own headers and those of lower
floors only. The worker (transfer) and the dialog (ui) meet through the
hand-off's interface, and the removal library shares only the contract header
with kitfetcher.
"""
import os
import re
import sys

FLOORS = [
    ['common', 'contracts'],
    ['common/runtime', 'downloader/services', 'downloader/worker_link', 'launcher', 'wipekit'],
    ['downloader/config', 'downloader/products', 'downloader/transfer', 'downloader/ui'],
    ['downloader'],
]
FLOOR = dict((folder, number) for number, folders in enumerate(FLOORS) for folder in folders)
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')


def edges(root):
    for folder in FLOOR:
        path = os.path.join(root, folder)
        for name in sorted(os.listdir(path)) if os.path.isdir(path) else []:
            if not name.endswith(('.h', '.cpp', '.rc')):
                continue
            with open(os.path.join(path, name), encoding='utf-8', errors='replace') as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m and '/' in m.group(1):
                        yield '%s/%s:%d' % (folder, name, number), folder, os.path.dirname(m.group(1))


def main():
    problems = []
    for where, source, target in edges(sys.argv[1]):
        if target == source:
            continue
        if target not in FLOOR:
            problems.append('%s includes from %s, which is on no floor' % (where, target))
        elif FLOOR[target] >= FLOOR[source]:
            problems.append('%s (floor %d) includes from %s (floor %d)' % (where, FLOOR[source], target,
                                                                           FLOOR[target]))
    for problem in problems:
        print(problem)
    print('%d problems' % len(problems))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
