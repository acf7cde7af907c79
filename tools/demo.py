#!/usr/bin/env python3
"""Demo run: a sample kit fetched and installed end to end from a local server.

Lays out out/demo/server (the kit on the "web server") and a package folder in a
private copy of the 64-bit test prefix, serves the kit on 127.0.0.1 throttled so
that the progress dialog shows for a few seconds, runs kitfetcher.exe /log:...
under the UI helper, saves a screenshot of the dialog mid-download and prints
what landed where."""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))

import kitbench as kb  # noqa: E402
import samplekit  # noqa: E402
from kit_http_server import KitServer  # noqa: E402

PRODUCT_CODE = samplekit.PRODUCT_CODE
MAKER = samplekit.MAKER


def build_server_tree(server_root):
    files = samplekit.kit_file_bytes(data_size=6 * 1024 * 1024)
    samplekit.write_tree(os.path.join(server_root, 'en'), files)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--out', default=os.path.join(ROOT, 'out', 'demo'))
    parser.add_argument('--rate', type=int, default=1_500_000, help='server bytes per second')
    # An x86-64 build (a host that runs no 32-bit code) has no WOW64 to show.
    parser.add_argument('--arch', default='win32' if kb.BUILD_IS_64BIT else 'wow64', choices=('win32', 'wow64'))
    args = parser.parse_args()
    if kb.BUILD_IS_64BIT and args.arch == 'wow64':
        parser.error('an x86-64 build runs in the 64-bit prefix only: --arch win32')

    out = os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    server_root = os.path.join(out, 'server')
    build_server_tree(server_root)
    server = KitServer(server_root, default_rate=args.rate)
    server.start()
    os.environ['KIT_TMP'] = out
    prefix = kb.Prefix(args.arch)
    try:
        pkg = samplekit.package(prefix, 'http://127.0.0.1:%d/%%s' % server.port,
                                patches=(('/install/product', 'Quillnet Studio (demo)'),))
        # The user starts the package through a downloaded starter whose name carries an affiliate code and a
        # store marker; kitfetcher reads both from its parent's file name.
        parent = 'C:\\Downloads\\QuillnetStudio[demo42]_rn-1001.exe'
        shutil.copy(kb.helper_exe('start_exact'), prefix.c_path(parent))
        log = 'C:\\Downloads\\QuillnetSetup\\kitfetcher-log.txt'
        screenshot = os.path.join(out, 'progress-dialog.png')
        ui = kb.UiRun(prefix, ['box * => yes'], timeout=300)
        with open(prefix.c_path('C:\\Downloads\\start.txt'), 'w') as f:
            f.write('%s\\kitfetcher.exe /log:%s' % (pkg, log))
        proc = prefix.wine_background([parent, 'C:\\Downloads\\start.txt', '--wait'])
        shot = False
        while proc.poll() is None:
            if not shot:
                states = [s for s in kb.progress_states(ui.events())
                          if s['controls'].get('1005') not in (None, 'Estimating...')]
                if states:
                    subprocess.run(['import', '-window', 'root', screenshot], check=False)
                    shot = True
            time.sleep(0.3)
        events = ui.finish()

        setup_folder = samplekit.local_setup_folder()
        local = prefix.c_path(setup_folder)
        print('kitfetcher ended with exit code %d' % proc.returncode)
        print('server requests: %s' % ', '.join(p for _, p in server.requests))
        for e in kb.boxes(events):
            print('message box "%s": %s -> answered %s' % (e['caption'], e['text'], e['answer']))
        last = kb.progress_states(events)
        if last:
            print('progress dialog "%s", last state: %s%%, speed %s, time left %s' % (
                last[-1]['caption'], last[-1]['percent'], last[-1]['controls'].get('1005'),
                last[-1]['controls'].get('-1')))
        print('\nlocal setup folder %s (%s):' % (setup_folder, local))
        for dirpath, _, files in os.walk(local):
            for name in sorted(files):
                full = os.path.join(dirpath, name)
                print('  %-40s %10d bytes' % (os.path.relpath(full, local), os.path.getsize(full)))
        descriptor = 'install_x64.xml' if args.arch == 'wow64' else 'install_x86.xml'
        if os.path.exists(os.path.join(local, descriptor)):
            print('\npatched descriptor %s:' % descriptor)
            print(open(os.path.join(local, descriptor), encoding='utf-8', errors='replace').read())
        started = kb.read_started(os.path.join(local, 'Installer.exe.started.txt'))
        for record in started:
            print('Installer.exe was started: command line %s, folder %s' % (record.get('cmdline'), record.get('cwd')))
        log_copy = os.path.join(out, 'kitfetcher-log.txt')
        if os.path.exists(prefix.c_path(log)):
            shutil.copy(prefix.c_path(log), log_copy)
        print('\nlog: %s (in the prefix: %s)' % (log_copy, log))
        print('screenshot of the progress dialog: %s' % (screenshot if shot else 'none taken'))
        print('prefix kept for a look around: %s' % prefix.path)
    finally:
        server.stop()
        subprocess.run(['wineserver', '-k'], env=prefix.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == '__main__':
    main()
