"""The end-to-end tests' harness: private Wine prefixes, packages, the programs
under test, and the UI-automation helper that answers their prompts.

Environment (set by ctest): KIT_BUILD_DIR (the build folder with kitfetcher.exe),
KIT_PREFIX_DIR (prepared base prefixes win32/ and wow64/, or win64/ for an x86-64
build), DISPLAY (Xvfb).

Tests name the Windows they want as 'win32' or 'wow64'. With an x86-64 build
(made where the host runs no 32-bit code) 'win32' runs in the pure 64-bit prefix,
where a 64-bit program sees what a 32-bit one sees on 32-bit Windows (no
redirection, IsWow64Process FALSE, one registry view), and 'wow64' is skipped.
"""
import collections
import json
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

BUILD_DIR = os.path.abspath(os.environ.get('KIT_BUILD_DIR',
                                           os.path.join(os.path.dirname(__file__), '..', '..', 'build')))
PREFIX_DIR = os.path.abspath(os.environ.get('KIT_PREFIX_DIR', os.path.join(BUILD_DIR, 'prefixes')))
TESTS_BIN = os.path.join(BUILD_DIR, 'tests')
SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))


def pe_is_64bit(path):
    """True for an x86-64 PE image."""
    with open(path, 'rb') as f:
        head = f.read(4096)
    pe = struct.unpack_from('<I', head, 0x3C)[0]
    return struct.unpack_from('<H', head, pe + 4)[0] == 0x8664


BUILD_IS_64BIT = os.path.isfile(os.path.join(BUILD_DIR, 'kitfetcher.exe')) and \
    pe_is_64bit(os.path.join(BUILD_DIR, 'kitfetcher.exe'))
WINE64 = '/usr/lib/wine/wine64'
# Plain `wine` tries the 32-bit loader first, which a 64-bit-only host cannot run.
WINE = WINE64 if BUILD_IS_64BIT else 'wine'

WINE_ENV = {'WINEDEBUG': '-all', 'WINEDLLOVERRIDES': 'mscoree,mshtml='}
if BUILD_IS_64BIT:
    WINE_ENV['WINELOADER'] = WINE64

# What each arch a test names runs in with this build, and why the rest are skipped.
if BUILD_IS_64BIT:
    BASE_PREFIXES = {'win32': 'win64'}
    SKIPPED_ARCHES = {'wow64': 'needs 32-bit code: 32-bit programs under WOW64'}
else:
    BASE_PREFIXES = {'win32': 'win32', 'wow64': 'wow64'}
    SKIPPED_ARCHES = {}

# Windows versions a prefix can be set to; None leaves the default (Windows 7 SP1 workstation).
VERSIONS = ('winxp', 'vista', 'vista-nosp', 'win7', 'win8', 'win2008')


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def read_text(path, encoding='utf-8'):
    with open(path, encoding=encoding, errors='replace') as f:
        return f.read()


class PrivateDisplay:
    """An Xvfb server of one test's own, for tests that look at the screen:
    windows of tests running in parallel on the shared display would cover
    what they look at."""

    def __init__(self, geometry='1280x1024x24'):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', geometry,
                                      '-nolisten', 'tcp'], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b''
        with os.fdopen(read_end, 'rb') as f:
            while not number.endswith(b'\n'):
                chunk = f.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.proc.kill()
            raise RuntimeError('Xvfb did not start')
        self.name = ':' + number.strip().decode()

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def needs_32bit_code(reason):
    """Skips the calling test where the programs under test are an x86-64 build."""
    if BUILD_IS_64BIT:
        raise unittest.SkipTest('needs 32-bit code: ' + reason)


def build_file(*parts):
    return os.path.join(BUILD_DIR, *parts)


def helper_exe(name):
    return os.path.join(TESTS_BIN, name + '.exe')


class Prefix:
    """A private copy of a prepared prefix, cheap to make: files are hard links
    except the registry and what Wine may rewrite in place."""

    def __init__(self, arch='win32', version=None, display=None):
        assert arch in ('win32', 'wow64')
        if arch in SKIPPED_ARCHES:
            raise unittest.SkipTest(SKIPPED_ARCHES[arch])
        self.arch = arch
        self.display = display
        base = os.path.join(PREFIX_DIR, BASE_PREFIXES[arch])
        if not os.path.isfile(os.path.join(base, '.kit-ready')):
            raise RuntimeError('base prefix missing: %s (run tests/bench/make_prefixes.sh)' % base)
        self.root = tempfile.mkdtemp(prefix='kitpfx-%s-' % arch, dir=os.environ.get('KIT_TMP'))
        self.path = os.path.join(self.root, 'pfx')
        subprocess.run(['cp', '-al', base, self.path], check=True)
        for dirpath, _, files in os.walk(self.path):
            for name in files:
                if name.endswith(('.reg', '.ini')):
                    full = os.path.join(dirpath, name)
                    with open(full, 'rb') as f:
                        data = f.read()
                    os.unlink(full)
                    with open(full, 'wb') as f:
                        f.write(data)
        if version:
            self.set_version(version)

    # --- running programs -------------------------------------------------
    def env(self, extra=None):
        env = dict(os.environ)
        env.update(WINE_ENV)
        env['WINEPREFIX'] = self.path
        if self.display:
            env['DISPLAY'] = self.display
        if extra:
            env.update(extra)
        return env

    def wine(self, args, timeout=120, extra_env=None, check=False, cwd=None):
        return subprocess.run([WINE] + list(args), env=self.env(extra_env), timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=check, cwd=cwd)

    def wine_background(self, args, extra_env=None):
        return subprocess.Popen([WINE] + list(args), env=self.env(extra_env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        subprocess.run(['wineserver', '-k'], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- paths ----------------------------------------------------------------
    def c_path(self, windows_path):
        """Linux path of a C:\\ path inside the prefix."""
        assert windows_path[:3].upper() == 'C:\\'
        return os.path.join(self.path, 'drive_c', *windows_path[3:].split('\\'))

    def common_files_dir(self):
        # 32-bit prefix: Common Files of Program Files; 64-bit: the 64-bit one.
        return 'C:\\Program Files\\Common Files'

    # --- registry ---------------------------------------------------------------
    def reg(self, args, check=True):
        r = self.wine(['reg'] + list(args), timeout=60)
        if check and r.returncode != 0:
            raise RuntimeError('reg %s failed: %s' % (args, r.stderr.decode(errors='replace')))
        return r

    def view_args(self, view):
        # 32-bit Windows has one registry view, whichever a test names; so has the
        # 64-bit prefix that plays it for an x86-64 build (its programs' own view).
        if not view or (self.arch == 'win32' and BUILD_IS_64BIT):
            return []
        return ['/reg:%d' % view]

    def reg_add(self, key, value, data, kind='REG_SZ', view=None):
        self.reg(['add', key, '/v', value, '/t', kind, '/d', data, '/f'] + self.view_args(view))

    def reg_query(self, key, value, view=None):
        """Data of a value as `reg query` prints it, or None when absent."""
        args = ['query', key, '/v', value] + self.view_args(view)
        r = self.reg(args, check=False)
        if r.returncode != 0:
            return None
        for line in r.stdout.decode('utf-8', errors='replace').splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == value.lower() and parts[1].startswith('REG_'):
                return parts[2] if len(parts) == 3 else ''
        return None

    def set_version(self, version):
        assert version in VERSIONS, version
        if version == 'vista-nosp':
            key = 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion'
            self.reg(['delete', 'HKCU\\Software\\Wine', '/v', 'Version', '/f'], check=False)
            self.reg_add(key, 'CurrentVersion', '6.0')
            self.reg_add(key, 'CSDVersion', '')
            self.reg_add(key, 'CurrentBuildNumber', '6000')
            self.reg_add(key, 'CurrentBuild', '6000')
        else:
            self.reg_add('HKCU\\Software\\Wine', 'Version', version)
        subprocess.run(['wineserver', '-w'], env=self.env(), timeout=60)


class UiRun:
    """The UI helper running beside a program under test."""

    def __init__(self, prefix, rules, target='kitfetcher.exe', timeout=120):
        self.prefix = prefix
        self.dir = tempfile.mkdtemp(prefix='uiauto-', dir=prefix.root)
        self.rules_path = os.path.join(self.dir, 'rules.txt')
        self.log_path = os.path.join(self.dir, 'ui.jsonl')
        self.stop_path = os.path.join(self.dir, 'stop')
        with open(self.rules_path, 'w', encoding='utf-8') as f:
            f.write('\n'.join(rules) + '\n')
        self.proc = prefix.wine_background([
            helper_exe('uiauto'), '--rules', to_z(self.rules_path), '--log', to_z(self.log_path),
            '--stop-file', to_z(self.stop_path), '--until-exit', target, '--timeout', str(timeout)])
        # The helper must be watching before the program shows anything.
        wait_until(lambda: os.path.exists(self.log_path), timeout=30)

    def finish(self, timeout=30):
        open(self.stop_path, 'w').close()
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        return self.events()

    def events(self):
        if not os.path.exists(self.log_path):
            return []
        out = []
        with open(self.log_path, encoding='utf-8', errors='replace') as f:
            for line in f:
                line = line.strip()
                if line:
                    out.append(json.loads(line))
        return out


class BackgroundRun:
    """A program of the prefix started in the background beside the UI helper, for a test that acts while it
    runs: `with BackgroundRun(prefix, args, rules) as run:`. Leaving the block kills the program if it still
    runs and stops the helper, whose record is then run.events."""

    def __init__(self, prefix, args, rules, extra_env=None):
        self.ui = UiRun(prefix, list(rules))
        self.proc = prefix.wine_background(args, extra_env=extra_env)
        self.events = None

    def box_texts(self):
        return [b['text'] for b in boxes(self.ui.events() if self.events is None else self.events)]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
        self.events = self.ui.finish()


def wait_until(condition, timeout=120, step=0.1):
    """True once condition() is; False when `timeout` seconds passed first."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(step)
    return False


def wait_for_record(path, timeout=120):
    """Waits until a record_start stand-in has written its whole record to `path`."""
    return wait_until(lambda: os.path.exists(path) and 'end=' in read_text(path), timeout, step=0.2)


Exited = collections.namedtuple('Exited', 'code probe_seen')


def start_exact(prefix, command_line, extra_env=None, probe=None):
    """Starts the exact command line and waits for that program: its exit code
    (None when it never ended) and whether `probe` (a path) existed at the
    moment it ended."""
    stamp = time.time_ns()
    cmd_file = os.path.join(prefix.root, 'cmdline-%d.txt' % stamp)
    done_file = os.path.join(prefix.root, 'done-%d.txt' % stamp)
    with open(cmd_file, 'w', encoding='utf-8') as f:
        f.write(command_line)
    args = [helper_exe('start_exact'), to_z(cmd_file), '--wait', '--done-file', to_z(done_file)]
    proc = prefix.wine_background(args, extra_env=extra_env)
    wait_until(lambda: os.path.exists(done_file), step=0.05)
    probe_seen = bool(probe) and os.path.exists(probe)
    time.sleep(0.1)
    code = int(read_text(done_file).strip() or -1) if os.path.exists(done_file) else None
    if code is None:
        proc.kill()  # the program never ended; closing the prefix ends what it started
    proc.wait(timeout=120)
    return Exited(code, probe_seen)


def lay_out_kitstarter(prefix, folder='C:\\Kit Folder'):
    """kitstarter.exe in a folder of the prefix, beside record_start stand-ins
    named setup32.exe, setup64.exe and target.exe: the folder and its Linux path."""
    root = prefix.c_path(folder)
    os.makedirs(root, exist_ok=True)
    shutil.copy(build_file('kitstarter.exe'), os.path.join(root, 'kitstarter.exe'))
    for name in ('setup32.exe', 'setup64.exe', 'target.exe'):
        shutil.copy(helper_exe('record_start'), os.path.join(root, name))
    return folder, root


def to_z(linux_path):
    """A Linux path as Wine sees it through drive Z:."""
    return 'Z:' + os.path.abspath(linux_path).replace('/', '\\')


def boxes(events):
    return [e for e in events if e.get('kind') == 'box']


def progress_states(events):
    return [e for e in events if e.get('kind') == 'progress']


class RunResult:
    def __init__(self, returncode, events, log_text, elapsed):
        self.returncode = returncode
        self.events = events
        self.log = log_text
        self.elapsed = elapsed

    @property
    def boxes(self):
        return boxes(self.events)

    @property
    def progress(self):
        return progress_states(self.events)

    def box_texts(self):
        return [b['text'] for b in self.boxes]


def run_program(prefix, exe_windows_path, args=(), rules=('box * => ok',), timeout=120,
                log_windows_path=None, extra_env=None, target=None, cwd=None):
    """Runs a program of the prefix under the UI helper and waits for it."""
    ui = UiRun(prefix, list(rules), target=target or exe_windows_path.split('\\')[-1], timeout=timeout + 30)
    start = time.time()
    try:
        r = prefix.wine([exe_windows_path] + list(args), timeout=timeout, extra_env=extra_env, cwd=cwd)
        code = r.returncode
    finally:
        events = ui.finish()
    log_text = ''
    if log_windows_path:
        p = prefix.c_path(log_windows_path)
        if os.path.exists(p):
            log_text = read_text(p, encoding='latin-1')
    return RunResult(code, events, log_text, time.time() - start)


# The programs' own message texts, typos included.
NEEDS_CONNECTION = ('This product requires an internet connection in order to install. Please check your '
                    'connection setting and try again.')
RETRY_DOWNLOAD = 'There was an error download one of the instalation file. Do you want to retry?'
DOWNLOAD_FAILED = ('There was a problem with downloading one of the installatiion files. Please check your '
                   'connection and try again later.')
QUIT_QUESTION = 'Are you sure you want to quit?'


# --- packages -------------------------------------------------------------------

LOCATIONS_TEMPLATE = """<?xml version="1.0" encoding="utf-8"?>
<locations>
  <x86>
    <base_url>{base_url}</base_url>
    <downloadable_files>
{files}
    </downloadable_files>
  </x86>
  <x64>
    <base_url>{base_url}</base_url>
    <downloadable_files>
{files}
    </downloadable_files>
  </x64>
  <manufacturerName>{maker}</manufacturerName>
  <defaultProductName>{product}</defaultProductName>
  <language>{language}</language>
  <ShowNewFilesPrompt>{show_prompt}</ShowNewFilesPrompt>
  <DefaultNewFilesAnswer>{default_answer}</DefaultNewFilesAnswer>
  <modifies>
{patches}
  </modifies>
  <systemRequirements cpuFreqMHz="{cpu}" hddMBytes="{hdd}" ramMBytes="{ram}"/>
</locations>
"""


def locations_xml(base_url='http://127.0.0.1:9/kit/%s', files=(('kit.cab', '', False),), maker='Quillnet',
                  product='Quillnet Suite', language='EN', show_prompt='1', default_answer='1',
                  patches=(('/install/Edition', 'Standard'),), cpu='0', hdd='0', ram='0'):
    """files: (name, relative_path, autorun) tuples; patches: (path, value) tuples. The reader stops at an
    empty file list or modifies section before the requirements, so the defaults carry one of each."""
    file_lines = '\n'.join(
        '      <file name="%s" relative_path="%s" autorun="%s" base_url=""/>' % (n, r, 'true' if a else 'false')
        for n, r, a in files)
    patch_lines = '\n'.join('    <patch path="%s" new_val="%s"/>' % p for p in patches)
    return LOCATIONS_TEMPLATE.format(base_url=base_url, files=file_lines, maker=maker, product=product,
                                     language=language, show_prompt=show_prompt, default_answer=default_answer,
                                     patches=patch_lines, cpu=cpu, hdd=hdd, ram=ram)


def make_package(prefix, windows_dir='C:\\pkg', locations=None, extra_files=None, with_wipekit=False):
    """Lays out a package folder in the prefix: kitfetcher.exe, kitstarter.exe,
    locations.xml and any extra files ({relative path: bytes or str})."""
    root = prefix.c_path(windows_dir)
    os.makedirs(root, exist_ok=True)
    shutil.copy(build_file('kitfetcher.exe'), os.path.join(root, 'kitfetcher.exe'))
    shutil.copy(build_file('kitstarter.exe'), os.path.join(root, 'kitstarter.exe'))
    if with_wipekit and os.path.exists(build_file('wipekit.dll')):
        shutil.copy(build_file('wipekit.dll'), os.path.join(root, 'wipekit.dll'))
    if locations is not None:
        with open(os.path.join(root, 'locations.xml'), 'w', encoding='utf-8') as f:
            f.write(locations)
    for rel, data in (extra_files or {}).items():
        target = os.path.join(root, *rel.split('/'))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if isinstance(data, str):
            data = data.encode('utf-8')
        with open(target, 'wb') as f:
            f.write(data)
    return windows_dir


def read_started(path):
    """Records written by the record_start stand-in: a list of dicts."""
    if not os.path.exists(path):
        return []
    records, current = [], {}
    for line in read_text(path).splitlines():
        key, _, value = line.partition('=')
        if key == 'end':
            records.append(current)
            current = {}
        else:
            current[key] = value
    return records
