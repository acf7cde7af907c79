#!/usr/bin/env python3
"""Demo run: a sample kit, signed by its vendor, fetched and installed end to end
from a local server.

As a vendor would: kitpack makes a key (out/demo/vendor/vendor.pem), the trust
element that pins it goes into locations.xml, and kitpack lays out and signs the
kit (out/demo/release/server for the web server, out/demo/release/offline) and
verifies it. The online package (the programs and documents of release/offline,
none of the kit) goes into a private copy of the test prefix; the kit is served
on 127.0.0.1 throttled so that the progress dialog shows for a few seconds;
kitfetcher.exe /log:... runs under the UI helper. Prints what landed where and
what kitfetcher checked, and saves a screenshot of the dialog mid-download."""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))

import harness  # noqa: E402
import samplekit  # noqa: E402
from kit_http_server import KitServer  # noqa: E402

PRODUCT_CODE = samplekit.PRODUCT_CODE
MAKER = samplekit.MAKER
KITPACK = os.environ.get('KIT_KITPACK') or os.path.join(harness.BUILD_DIR, 'kitpack', 'kitpack')


def kitpack(*args):
    r = subprocess.run([KITPACK] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode not in (0, 1):
        sys.exit('kitpack %s failed (%d):\n%s' % (args[0], r.returncode, r.stdout))
    return r.stdout


def sign_and_lay_out(out, base_url):
    """The vendor's side: kit files, a key, the description that pins it, a signed release."""
    vendor = os.path.join(out, 'vendor')
    samplekit.copy_tree(os.path.join(vendor, 'kit'), samplekit.kit_file_bytes(data_size=6 * 1024 * 1024))
    program = os.path.join(vendor, 'program')
    os.makedirs(program)
    for name in ('kitfetcher.exe', 'kitstarter.exe'):
        shutil.copy(harness.build_file(name), program)
    with open(os.path.join(program, 'contacts.xml'), 'w') as f:
        f.write(samplekit.CONTACTS)
    key = os.path.join(vendor, 'vendor.pem')
    trust = kitpack('keygen', key).strip().splitlines()[-1]
    locations = os.path.join(vendor, 'locations.xml')
    text = harness.locations_xml(base_url=base_url, maker=MAKER, product=samplekit.PRODUCT, files=samplekit.FILES,
                                 patches=(('/install/product', 'Quillnet Studio (demo)'),))
    with open(locations, 'w', encoding='utf-8') as f:
        f.write(text.replace('<locations>\n', '<locations>\n  %s\n' % trust, 1))
    release = os.path.join(out, 'release')
    kitpack('build', '--kit', os.path.join(vendor, 'kit'), '--locations', locations, '--product-code', PRODUCT_CODE,
            '--out', release, '--program-files', program, '--sign', key)
    print('kitpack verify: ' + kitpack('verify', os.path.join(release, 'server'), '--locations', locations)
          .strip().splitlines()[-1])
    return release


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--out', default=os.path.join(ROOT, 'out', 'demo'))
    parser.add_argument('--rate', type=int, default=1_500_000, help='server bytes per second')
    # An x86-64 build (a host that runs no 32-bit code) has no WOW64 to show.
    parser.add_argument('--arch', default='win32' if harness.BUILD_IS_64BIT else 'wow64', choices=('win32', 'wow64'))
    args = parser.parse_args()
    if harness.BUILD_IS_64BIT and args.arch == 'wow64':
        parser.error('an x86-64 build runs in the 64-bit prefix only: --arch win32')

    out = os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    server_root = os.path.join(out, 'release', 'server')
    os.makedirs(server_root)
    server = KitServer(server_root, default_rate=args.rate)
    server.start()
    release = sign_and_lay_out(out, 'http://127.0.0.1:%d/kit/%%s' % server.port)
    os.environ['KIT_TMP'] = out
    prefix = harness.Prefix(args.arch)
    try:
        # The online package: the release's programs and documents, none of the kit.
        pkg = 'C:\\Downloads\\QuillnetSetup'
        os.makedirs(prefix.c_path(pkg))
        for name in ('kitfetcher.exe', 'kitstarter.exe', 'contacts.xml', 'locations.xml'):
            shutil.copy(os.path.join(release, 'offline', name), prefix.c_path(pkg))
        # The user starts the package through a downloaded starter whose name carries an affiliate code and a
        # store marker; kitfetcher reads both from its parent's file name.
        parent = 'C:\\Downloads\\QuillnetStudio[demo42]_rn-1001.exe'
        shutil.copy(harness.helper_exe('start_exact'), prefix.c_path(parent))
        log = 'C:\\Downloads\\QuillnetSetup\\kitfetcher-log.txt'
        screenshot = os.path.join(out, 'progress-dialog.png')
        ui = harness.UiRun(prefix, ['box * => yes'], timeout=300)
        with open(prefix.c_path('C:\\Downloads\\start.txt'), 'w') as f:
            f.write('%s\\kitfetcher.exe /log:%s' % (pkg, log))
        proc = prefix.wine_background([parent, 'C:\\Downloads\\start.txt', '--wait'])
        shot = False
        while proc.poll() is None:
            if not shot:
                states = [s for s in harness.progress_states(ui.events())
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
        for e in harness.boxes(events):
            print('message box "%s": %s -> answered %s' % (e['caption'], e['text'], e['answer']))
        last = harness.progress_states(events)
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
        started = harness.read_started(os.path.join(local, 'Installer.exe.started.txt'))
        for record in started:
            print('Installer.exe was started: command line %s, folder %s' % (record.get('cmdline'), record.get('cwd')))
        log_copy = os.path.join(out, 'kitfetcher-log.txt')
        if os.path.exists(prefix.c_path(log)):
            shutil.copy(prefix.c_path(log), log_copy)
            checks = [line.split('] ', 1)[-1] for line in harness.read_text(log_copy, encoding='latin-1').splitlines()
                      if 'signed' in line or 'manifest' in line or 'Kits must' in line]
            print('\nwhat kitfetcher checked (from its log):')
            for line in checks:
                print('  ' + line)
        print('\nlog: %s (in the prefix: %s)' % (log_copy, log))
        print('screenshot of the progress dialog: %s' % (screenshot if shot else 'none taken'))
        print('prefix kept for a look around: %s' % prefix.path)
    finally:
        server.stop()
        subprocess.run(['wineserver', '-k'], env=prefix.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == '__main__':
    main()
