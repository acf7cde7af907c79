"""kitstarter in both prefixes: the setup program that fits the machine, a
program started through the shell, and an empty command line."""
import os
import time
import unittest

import harness
from harness import lay_out_kitstarter, start_exact


class LauncherTest(unittest.TestCase):
    def check_platform_setup(self, arch):
        with harness.Prefix(arch) as prefix:
            folder, root = lay_out_kitstarter(prefix)
            expected = 'setup64.exe' if arch == 'wow64' else 'setup32.exe'
            other = 'setup32.exe' if arch == 'wow64' else 'setup64.exe'
            record_path = os.path.join(root, expected + '.started.txt')
            started = start_exact(prefix, '"%s\\kitstarter.exe" /wow64 /run:"%s\\target.exe"' % (folder, folder),
                                  extra_env={'KIT_STANDIN_SLEEP_MS': '1500'}, probe=record_path)
            self.assertEqual(0, started.code)
            self.assertTrue(started.probe_seen, 'kitstarter ended before the setup program it started')
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
                folder, root = lay_out_kitstarter(prefix)
                line = '"%s\\kitstarter.exe" /run:"%s\\target.exe" /args:"/after_restart  x"' % (folder, folder)
                record_path = os.path.join(root, 'target.exe.started.txt')
                # The program runs until the test releases it, which it does only once kitstarter has
                # ended: a kitstarter that waited for it would never end.
                release = os.path.join(prefix.root, 'release-target')
                started = start_exact(prefix, line, extra_env={'KIT_STANDIN_WAIT_FILE': harness.to_z(release)},
                                      probe=record_path)
                self.assertEqual(0, started.code, 'kitstarter did not end while the started program ran')
                self.assertFalse(started.probe_seen)
                open(release, 'w').close()
                self.assertTrue(harness.wait_for_record(record_path), 'target never started')
                record = harness.read_started(record_path)[0]
                self.assertTrue(record['cmdline'].endswith('/after_restart  x'), record['cmdline'])
                self.assertEqual(folder.lower(), record['cwd'].rstrip('\\').lower())

    def test_empty_and_unknown_options_do_nothing(self):
        with harness.Prefix('win32') as prefix:
            folder, root = lay_out_kitstarter(prefix)
            for line in ('"%s\\kitstarter.exe"' % folder, '"%s\\kitstarter.exe" /WOW64' % folder):
                self.assertEqual(0, start_exact(prefix, line).code)
            time.sleep(1)
            self.assertEqual([], [n for n in os.listdir(root) if n.endswith('.started.txt')])


if __name__ == '__main__':
    unittest.main()
