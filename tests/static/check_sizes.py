#!/usr/bin/env python3
"""Fails when a shipped program, stripped, is larger than its limit.

Strips a copy with the cross toolchain's strip, so the answer is the same
whatever the build type; reads files only, so it runs on any host.
Usage: check_sizes.py STRIP PROGRAM=MAX_BYTES...
"""
import os
import shutil
import subprocess
import sys
import tempfile


def stripped_size(strip, program):
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, os.path.basename(program))
        shutil.copyfile(program, copy)
        subprocess.run([strip, copy], check=True)
        return os.path.getsize(copy)


def main():
    strip, limits = sys.argv[1], sys.argv[2:]
    failed = 0
    for limit in limits:
        program, most = limit.rsplit('=', 1)
        size = stripped_size(strip, program)
        verdict = 'ok' if size <= int(most) else 'TOO LARGE'
        failed += verdict != 'ok'
        print('%s: %d bytes stripped, at most %s: %s' % (os.path.basename(program), size, most, verdict))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
