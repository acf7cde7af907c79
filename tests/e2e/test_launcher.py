"""kitstarter in both prefixes: the setup program that fits the machine, a
program started through the shell, and an empty command line."""
import os
import shutil
import time
import unittest

import harness


def lay_out(prefix, folder='C:\\Kit Folder'):
    root = prefix.c_path(folder)
    os.makedirs(root, exist_ok=True)
    shutil.copy(harness.build_file('kitstarter.exe'), os.path.join(root, 'kitstarter.exe'))
    for name in ('setup32.exe', 'setup64.exe', 'target.exe'):
        shutil.copy(harness.helper_exe('record_start'), os.path.join(root, name))
    return folder, root


def start_exact(prefix, command_line, extra_env=None, probe=None):
    """Starts the exact command line and waits for that program. Returns its
    exit code and whether `probe` (a path) existed at the moment it ended."""
    stamp = time.time_ns()
    cmd_file = os.path.join(prefix.root, 'cmdline-%d.txt' % stamp)
    done_file = os.path.join(prefix.root, 'done-%d.txt' % stamp)
    with open(cmd_file, 'w', encoding='utf-8') as f:
        f.write(command_line)
    args = [harness.helper_exe('start_exact'), harness.to_z(cmd_file), '--wait', '--done-file', harness.to_z(done_file)]
    proc = prefix.wine_background(args, extra_env=extra_env)
    deadline = time.time() + 120
    while time.time() < deadline and not os.path.exists(done_file):
        time.sleep(0.05)
    probe_seen = bool(probe) and os.path.exists(probe)
    time.sleep(0.1)
    code = int(harness.read_text(done_file).strip() or -1) if os.path.exists(done_file) else None
    if code is None:
        proc.kill()  # the program never ended; closing the prefix ends what it started
    proc.wait(timeout=120)
    return (code, probe_seen) if probe else code


def wait_for(path, seconds=120):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path) and 'end=' in harness.read_text(path):
            return True
        time.sleep(0.2)
    return False


class LauncherTest(unittest.TestCase):
    def check_platform_setup(self, arch):
        with harness.Prefix(arch) as prefix:
            folder, root = lay_out(prefix)
            expected = 'setup64.exe' if arch == 'wow64' else 'setup32.exe'
            other = 'setup32.exe' if arch == 'wow64' else 'setup64.exe'
            record_path = os.path.join(root, expected + '.started.txt')
            code, waited = start_exact(prefix, '"%s\\kitstarter.exe" /wow64 /run:"%s\\target.exe"' % (folder, folder),
                                       extra_env={'KIT_STANDIN_SLEEP_MS': '1500'}, probe=record_path)
            self.assertEqual(0, code)
            self.assertTrue(waited, 'kitstarter ended before the setup program it started')
            records = harness.read_started(record_path)
            self.assertEqual(1, len(records), 'setup program not started once')
            self.assertEqual('"%s\\%s"' % (folder, expected), records[0]['cmdline'])
            self.assertFalse(os.path.exists(os.path.join(root, other + '.started.txt')))
            self.assertFalse(os.path.exists(os.path.join(root, 'target.exe.started.txt')), 'wow64 must win over run')

    def test_wow64_starts_setup32_on_32_bit_windows(self):
        self.check_platform_setup('win32')

    def test_wow64_starts_setup64_under_wow64(self):
        self.check_platform_setup('wow64')

    def test_run_starts_program_through_shell_without_waiting(self):
        for arch in ('win32', 'wow64'):
            with self.subTest(arch=arch), harness.Prefix(arch) as prefix:
                folder, root = lay_out(prefix)
                line = '"%s\\kitstarter.exe" /run:"%s\\target.exe" /args:"/after_restart  x"' % (folder, folder)
                record_path = os.path.join(root, 'target.exe.started.txt')
                # The program runs until the test releases it, which it does only once kitstarter has
                # ended: a kitstarter that waited for it would never end.
                release = os.path.join(prefix.root, 'release-target')
                code, target_done = start_exact(prefix, line, extra_env={'KIT_STANDIN_WAIT_FILE': harness.to_z(release)},
                                                probe=record_path)
                self.assertEqual(0, code, 'kitstarter did not end while the started program ran')
                self.assertFalse(target_done)
                open(release, 'w').close()
                self.assertTrue(wait_for(record_path), 'target never started')
                record = harness.read_started(record_path)[0]
                self.assertTrue(record['cmdline'].endswith('/after_restart  x'), record['cmdline'])
                self.assertEqual(folder.lower(), record['cwd'].rstrip('\\').lower())

    def test_empty_and_unknown_options_do_nothing(self):
        with harness.Prefix('win32') as prefix:
            folder, root = lay_out(prefix)
            for line in ('"%s\\kitstarter.exe"' % folder, '"%s\\kitstarter.exe" /WOW64' % folder):
                code = start_exact(prefix, line)
                self.assertEqual(0, code)
            time.sleep(1)
            self.assertEqual([], [n for n in os.listdir(root) if n.endswith('.started.txt')])


if __name__ == '__main__':
    unittest.main()
