"""The spine of kitfetcher: single instance, the diagnostic log and its off
switch, over-long inputs. Exit code 0 in every case."""
import os
import re
import time
import unittest

import harness

LINE = re.compile(r'^\[\d\d:\d\d:\d\d:\d\d\d\] \S.*$')


def wait_for_box(ui, fragment, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for box in harness.boxes(ui.events()):
            if fragment in box['text']:
                return box
        time.sleep(0.2)
    return None


class SingleInstanceTest(unittest.TestCase):
    def test_second_start_is_refused_while_the_first_runs(self):
        with harness.Prefix('win32') as prefix:
            # A processor minimum no machine meets holds the first instance at prompt 133.
            pkg = harness.make_package(prefix, locations=harness.locations_xml(cpu='2000000'))
            exe = pkg + '\\kitfetcher.exe'
            ui = harness.UiRun(prefix, ['box You need a CPU => leave', 'box already another instance => ok'])
            first = prefix.wine_background([exe])
            self.assertIsNotNone(wait_for_box(ui, 'You need a CPU'), 'first instance never asked')

            second = prefix.wine([exe, '/log:C:\\second.txt'], timeout=60)
            self.assertEqual(0, second.returncode)
            refused = [b for b in ui.events() if b.get('kind') == 'box' and b['caption'] == 'Error']
            self.assertEqual(1, len(refused))
            self.assertEqual('There is already another instance of this application running. Please wait for the '
                             'current instance to finish befor running this program again.', refused[0]['text'])
            self.assertEqual(['OK'], refused[0]['buttons'])
            self.assertIsNone(first.poll(), 'the running instance was disturbed')
            ui.finish()

            # Release the first instance; a later start runs normally (asks 133 again, no 138).
            releaser = harness.UiRun(prefix, ['box You need a CPU => no'])
            self.assertEqual(0, first.wait(timeout=60))
            releaser.finish()
            third = harness.run_program(prefix, exe, rules=['box You need a CPU => no', 'box * => ok'])
            self.assertEqual(0, third.returncode)
            texts = third.box_texts()
            self.assertTrue(any('You need a CPU with at least 2000000 MHz' in t for t in texts), texts)
            self.assertFalse(any('already another instance' in t for t in texts), texts)


class DiagnosticLogTest(unittest.TestCase):
    def test_log_lines_are_stamped_flushed_and_appended(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            log = 'C:\\logs\\kit_log.txt'
            os.makedirs(prefix.c_path('C:\\logs'))
            first = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:' + log], log_windows_path=log)
            self.assertEqual(0, first.returncode)
            raw = harness.read_bytes(prefix.c_path(log))
            self.assertIn(b'\r\n', raw)
            lines = first.log.splitlines()
            self.assertTrue(lines)
            for line in lines:
                self.assertRegex(line, LINE)
            self.assertTrue(any('[SETUP] OS Version (0 - unknown, 1 - XP, 2 - VISTA no sp, 3 - VISTA with sp, '
                                '4 - Win 7): 4' in l for l in lines), lines)
            second = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:' + log], log_windows_path=log)
            self.assertTrue(second.log.startswith(first.log))
            self.assertGreater(len(second.log), len(first.log))

    def test_empty_value_logs_to_current_directory_and_no_option_logs_nothing(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            work = prefix.c_path('C:\\work')
            os.makedirs(work)
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log'], cwd=work)
            self.assertEqual(0, r.returncode)
            self.assertTrue(os.path.exists(os.path.join(work, 'downloaderlog.txt')))
            os.unlink(os.path.join(work, 'downloaderlog.txt'))
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', [], cwd=work)
            self.assertEqual(0, r.returncode)
            self.assertEqual([], os.listdir(work))

    def test_unusable_log_paths_switch_logging_off_and_the_run_goes_on(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            long_path = 'C:\\' + '\\'.join(['d' * 49] * 6) + '\\log.txt'
            self.assertGreater(len(long_path), 299)
            os.makedirs(prefix.c_path(long_path.rsplit('\\', 1)[0]))
            for path in ('C:\\missing\\folder\\log.txt', long_path):
                with self.subTest(path=path[:40]):
                    r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:' + path])
                    self.assertEqual(0, r.returncode)
                    # The run went on past the log switch to the download (the connection message: no server).
                    self.assertTrue(any('internet connection' in t for t in r.box_texts()), r.box_texts())
                    self.assertFalse(os.path.exists(prefix.c_path(path)))

    def test_two_thousand_character_command_line(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            args = ['/x:"' + 'a ' * 500 + '"', '/log:C:\\cl.txt', '"unclosed ' + 'b' * 1000]
            self.assertGreater(len(' '.join(args)), 2000)
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', args, log_windows_path='C:\\cl.txt')
            self.assertEqual(0, r.returncode)
            self.assertIn('[SETUP] OS Version', r.log)


if __name__ == '__main__':
    unittest.main()
