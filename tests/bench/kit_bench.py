#!/usr/bin/env python3
"""Whole-program benchmark of kitfetcher under Wine (a program, not a timed test).

In one run it measures:
  1. an online kit of 256 MiB fetched end to end from the local server, against
     curl fetching the same bytes and against a bare URLDownloadToCacheFileW of
     its big file in a process of its own, with the log's phases (size queries,
     digest checks, downloads, copies, autorun programs) summed up;
  2. an offline kit of 1 GiB copied into the local setup folder, against cp and
     against bare CopyFileExW calls in processes of their own;
  3. start to the first paint of the progress dialog, against start to exit of
     a trivial Windows program (Wine's own start-up cost).
The ratios to the bare calls are throughput ratios (bare time / whole-program
time): 1.00 means the whole program moves the bytes as fast as the bare call.
With --signed the online kit is signed (kitpack keygen, its manifest signed with
openssl) and the package pins the key, so that kitfetcher checks the manifest and
hashes every file it places.
Usage: kit_bench.py [--arch win32|wow64] [--online-mib 256] [--offline-mib 1024] [--rounds N] [--signed]
Expects a build in build/ (tools/run_tests.sh or tools/demo.sh makes one)."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
from collections import namedtuple
from statistics import median

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))

import harness  # noqa: E402
import samplekit as sk  # noqa: E402
from kit_http_server import KitServer  # noqa: E402

CHUNK = 8 * 1024 * 1024
KITPACK = os.environ.get('KIT_KITPACK') or os.path.join(harness.BUILD_DIR, 'kitpack', 'kitpack')

# kitfetcher's seconds from its start to its end and to the first paint of the progress dialog (None if never).
TimedRun = namedtuple('TimedRun', 'elapsed first_paint events')
# A bare call's process: its wall-clock seconds, and the seconds it measured around the call itself.
BareRun = namedtuple('BareRun', 'wall inner')
# One round of the online kit: its bytes; kitfetcher's, curl's and the sizing pass's seconds; the seconds of each
# phase of the log; the bare download (BareRun); the body bytes the server sent for payload.exe to kitfetcher.
OnlineRun = namedtuple('OnlineRun', 'size kit_time curl_time first_paint sizing phases bare sent')
# One round of the offline kit: its bytes, kitfetcher's and cp's seconds, and the bare copies' (BareRun, summed).
OfflineRun = namedtuple('OfflineRun', 'size kit_time cp_time bare')


def padded_program(path, mib):
    """A runnable stand-in of about `mib` MiB: record_start with data appended."""
    shutil.copy(harness.helper_exe('record_start'), path)
    block = os.urandom(CHUNK)
    with open(path, 'ab') as f:
        for _ in range(mib * 1024 * 1024 // CHUNK):
            f.write(block)


def big_file(path, mib):
    block = os.urandom(CHUNK)
    with open(path, 'wb') as f:
        for _ in range(mib * 1024 * 1024 // CHUNK):
            f.write(block)


def timed_run(prefix, args, rules=('box * => ok',)):
    ui = harness.UiRun(prefix, list(rules), timeout=1800)
    start = time.time()
    proc = prefix.wine_background(args)
    first_paint = None
    while proc.poll() is None:
        if first_paint is None and harness.progress_states(ui.events()):
            first_paint = time.time() - start
        time.sleep(0.05)
    elapsed = time.time() - start
    return TimedRun(elapsed, first_paint, ui.finish())


def sign(kit, files, work):
    """Signs the kit folder as kitpack build --sign does; the trust element that pins the key."""
    key = os.path.join(work, 'bench-%d.pem' % time.time_ns())
    trust = subprocess.run([KITPACK, 'keygen', key], check=True, stdout=subprocess.PIPE,
                           text=True).stdout.strip().splitlines()[-1]
    lines = ['kitmanifest 1', 'product ' + sk.PRODUCT_CODE, 'serial 1']
    for name, rel, _ in files:
        digest = hashlib.sha256()
        path = os.path.join(kit, rel, name)
        with open(path, 'rb') as f:
            for block in iter(lambda: f.read(CHUNK), b''):
                digest.update(block)
        lines.append('file\t%s\t%s\t%d\t%s' % (rel, name, os.path.getsize(path), digest.hexdigest()))
    manifest = os.path.join(kit, 'kitmanifest.txt')
    with open(manifest, 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')
    subprocess.run(['openssl', 'dgst', '-sha256', '-sign', key, '-out', os.path.join(kit, 'kitmanifest.sig'),
                    manifest], check=True)
    return trust


def online(args, work):
    server_root = os.path.join(work, 'server')
    kit = os.path.join(server_root, 'en')
    files = sk.kit_file_bytes(data_size=64 * 1024)
    sk.write_tree(kit, files)
    padded_program(os.path.join(kit, 'payload.exe'), args.online_mib)
    with open(os.path.join(kit, 'payload.exe.md5'), 'w') as f:
        f.write('0123456789abcdef0123456789abcdef\n')
    total = sum(os.path.getsize(os.path.join(kit, p)) for p in ('setup_kit.exe', 'extras/postinstall.exe',
                                                                  'payload.exe'))
    files = sk.FILES + [('payload.exe', '', True)]
    trust = sign(kit, files, work) if args.signed else None
    with KitServer(server_root) as server, harness.Prefix(args.arch) as prefix:
        pkg = sk.package(prefix, 'http://127.0.0.1:%d/%%s' % server.port, files=files)
        if trust:
            locations = prefix.c_path(pkg + '\\locations.xml')
            text = harness.read_text(locations).replace('<locations>\n', '<locations>\n  %s\n' % trust, 1)
            with open(locations, 'w', encoding='utf-8') as f:
                f.write(text)
        run = timed_run(prefix, [pkg + '\\kitfetcher.exe', '/log:C:\\bench.txt'])
        log = open(prefix.c_path('C:\\bench.txt'), encoding='latin-1').read()
        if args.show_log:
            print(log)
        sent = sum(server.body_bytes('/en/payload.exe'))
        sizing = phase_seconds(log, 'installstate:', 'Local md5 file is')
        phases = phase_totals(log)
        placed = sk.listing(prefix, sk.local_setup_folder())
        assert 'payload.exe.md5' in placed and 'Installer.exe' in placed, sorted(placed)
        assert not trust or 'payload.exe matches the manifest' in log, 'the signed kit was not checked'
        curl_start = time.time()
        for rel in ('setup_kit.exe', 'extras/postinstall.exe', 'payload.exe'):
            subprocess.run(['curl', '-s', '-o', os.devnull, server.url('/en/' + rel + '?curl=1')], check=True)
        curl_time = time.time() - curl_start
        bare = bare_transfer(prefix, ['download', server.url('/en/payload.exe?bare=1')])
    return OnlineRun(total, run.elapsed, curl_time, run.first_paint, sizing, phases, bare, sent)


def phase_seconds(log, first, second):
    """Seconds between the first log line containing `first` and the next containing `second`."""
    start = None
    for line in log.splitlines():
        if start is None and first in line:
            start = stamp_seconds(line)
        elif start is not None and second in line:
            return stamp_seconds(line) - start
    return float('nan')


# Log lines that open a phase of the online run: the phase lasts until the next line.
PHASES = (('size queries', 'installstate:'), ('digest checks', 'Local md5 file is'),
          ('downloads', 'Downloading:'), ('copies to the setup folder', 'Copying '),
          ('autorun programs', '] Started '))


def phase_totals(log):
    """Seconds spent in each phase of PHASES, summed over the whole log."""
    totals = dict((name, 0.0) for name, _ in PHASES)
    current = None
    previous = None
    for line in log.splitlines():
        if len(line) < 14 or line[0] != '[' or line[13] != ']':
            continue
        now = stamp_seconds(line)
        if current is not None:
            totals[current] += now - previous
        current = next((name for name, marker in PHASES if marker in line), None)
        previous = now
    return totals


def stamp_seconds(line):
    h, m, s, ms = (int(x) for x in line[1:13].split(':'))
    return h * 3600 + m * 60 + s + ms / 1000.0


def bare_transfer(prefix, args):
    """Wall-clock seconds of one bare_transfer.exe run (its own process) and the
    seconds it measured around the call itself, with the prefix's wineserver
    already up (as the UI helper keeps it for kitfetcher)."""
    ui = harness.UiRun(prefix, ['box * => ok'], target='bare_transfer.exe', timeout=1800)
    try:
        start = time.time()
        r = prefix.wine([harness.helper_exe('bare_transfer')] + args, timeout=1800, check=True)
        wall = time.time() - start
    finally:
        ui.finish()
    fields = dict(f.split('=') for f in r.stdout.decode().split())
    return BareRun(wall, float(fields['seconds']))


def offline(args, work):
    with harness.Prefix(args.arch) as prefix:
        parts = 4
        names = ['data%d.cab' % i for i in range(parts)]
        pkg = sk.package(prefix, 'http://127.0.0.1:9/%s', show_prompt='0', default_answer='0',
                         files=sk.FILES + [(n, 'data', False) for n in names])
        root = prefix.c_path(pkg)
        sk.write_tree(root, sk.kit_file_bytes(data_size=64 * 1024))
        os.makedirs(os.path.join(root, 'data'), exist_ok=True)
        for n in names:
            big_file(os.path.join(root, 'data', n), args.offline_mib // parts)
        total = sum(os.path.getsize(os.path.join(root, 'data', n)) for n in names)
        kit_time = timed_run(prefix, [pkg + '\\kitfetcher.exe']).elapsed
        placed = sk.listing(prefix, sk.local_setup_folder())
        assert all('data/' + n in placed for n in names), sorted(placed)
        target = os.path.join(work, 'cp-target')
        # Both copies land in the page cache; neither waits for the disk.
        cp_start = time.time()
        subprocess.run(['cp', '-r', os.path.join(root, 'data'), target], check=True)
        cp_time = time.time() - cp_start
        bare = []
        for n in names:
            bare.append(bare_transfer(prefix, ['copy', root_windows(pkg, 'data', n), 'C:\\bare-' + n]))
            os.unlink(prefix.c_path('C:\\bare-' + n))
    return OfflineRun(total, kit_time, cp_time, BareRun(sum(b.wall for b in bare), sum(b.inner for b in bare)))


def root_windows(folder, *parts):
    return '\\'.join((folder,) + parts)


def bare_start(args):
    """Start of a trivial program until it has written its record, with the
    prefix's wineserver already up (as the UI helper keeps it for kitfetcher)."""
    with harness.Prefix(args.arch) as prefix:
        ui = harness.UiRun(prefix, ['box * => ok'], target='record_start.exe')
        program = prefix.c_path('C:\\record_start.exe')
        shutil.copy(harness.helper_exe('record_start'), program)
        record = program + '.started.txt'
        start = time.time()
        proc = prefix.wine_background(['C:\\record_start.exe'])
        while not os.path.exists(record) and time.time() - start < 60:
            time.sleep(0.01)
        elapsed = time.time() - start
        proc.wait(timeout=60)
        ui.finish()
        return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--arch', default='win32', choices=('win32', 'wow64'))
    parser.add_argument('--online-mib', type=int, default=256)
    parser.add_argument('--offline-mib', type=int, default=1024)
    parser.add_argument('--rounds', type=int, default=1, help='runs of each measurement; medians are printed')
    parser.add_argument('--show-log', action='store_true', help="print kitfetcher's log of the online run")
    parser.add_argument('--signed', action='store_true', help='sign the online kit and pin the key in the package')
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix='kitbench-')
    os.environ['KIT_TMP'] = work
    try:
        runs = [online(args, work) for _ in range(args.rounds)]
        size = runs[0].size
        kit_time = median([r.kit_time for r in runs])
        curl_time = median([r.curl_time for r in runs])
        sizing = median([r.sizing for r in runs])
        bare_wall = median([r.bare.wall for r in runs])
        bare_inner = median([r.bare.inner for r in runs])
        print('online kit   %6.0f MiB%s: kitfetcher end to end %6.2f s, curl %6.2f s, ratio %.2f' % (
            size / 2**20, ', signed' if args.signed else '', kit_time, curl_time, kit_time / curl_time))
        print('             bare URLDownloadToCacheFileW of payload.exe in its own process %.2f s (the call itself'
              ' %.2f s); bare / whole program %.2f (goal >= %.2f)' % (bare_wall, bare_inner, bare_wall / kit_time,
                                                                     0.85 if args.signed else 0.90))
        print('             of which the sizing pass (size queries) %.2f s; without it the ratio to curl is %.2f' % (
            sizing, (kit_time - sizing) / curl_time))
        print('             phases: ' + ', '.join('%s %.2f s' % (name, median([r.phases[name] for r in runs]))
                                            for name, _ in PHASES))
        print('             body bytes the server sent for payload.exe to kitfetcher, per run: %s' % ', '.join(
            '%d' % r.sent for r in runs))
        offline_runs = [offline(args, work) for _ in range(args.rounds)]
        size = offline_runs[0].size
        copy_time = median([r.kit_time for r in offline_runs])
        cp_time = median([r.cp_time for r in offline_runs])
        bare_wall = median([r.bare.wall for r in offline_runs])
        bare_inner = median([r.bare.inner for r in offline_runs])
        print('offline kit  %6.0f MiB: kitfetcher end to end %6.2f s, cp   %6.2f s, ratio %.2f' % (
            size / 2**20, copy_time, cp_time, copy_time / cp_time))
        print('             bare CopyFileExW of the same files, one process each, %.2f s (the calls themselves'
              ' %.2f s); bare / whole program %.2f' % (bare_wall, bare_inner, bare_wall / copy_time))
        paint = median([r.first_paint for r in runs])
        bare = median([bare_start(args) for _ in range(args.rounds)])
        print('start to first dialog paint %.2f s (median of %d); a trivial program starts and writes a file in '
              '%.2f s; ratio %.2f' % (paint, len(runs), bare, paint / bare))
        print('rounds %d; figures are medians; load average at the end %s' % (
            args.rounds, ' '.join('%.2f' % x for x in os.getloadavg())))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
