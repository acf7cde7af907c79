"""Requirement prompts, the device backup and restart registration in the
registry, and the parent process with its affiliate marker."""
import os
import shutil
import unittest

import harness

DEVICE_KEY = 'HKU\\.DEFAULT\\Software\\Vellum\\Internal'
BACKUP_KEY = 'HKLM\\SOFTWARE\\{AA17B746-F1EE-49bf-B5D5-D94519FF660F}'
RUN_KEY = 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run'

CONTACTS = """<?xml version="1.0"?>
<contacttool><contacts><def_items><item>12345</item><item>55</item><item>66</item><item>0</item></def_items></contacts></contacttool>
"""


class RequirementPromptTest(unittest.TestCase):
    def test_prompts_answered_yes_go_on_and_no_stops(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml(cpu='2000000', ram='9000000'))
            exe = pkg + '\\kitfetcher.exe'
            r = harness.run_program(prefix, exe, ['/log:C:\\req1.txt'], log_windows_path='C:\\req1.txt',
                                    rules=['box You need a CPU => yes', 'box physical memory => no', 'box * => ok'])
            self.assertEqual(0, r.returncode)
            self.assertEqual(['You need a CPU with at least 2000000 MHz for optimal performance. Install anyway?',
                              'You need at least 9000000 MB of physical memory for optimal performance. '
                              'Install anyway?'], r.box_texts())
            self.assertEqual(['Yes', 'No'], [b.replace('&', '') for b in r.boxes[0]['buttons']])
            self.assertNotIn('Detecting Competitive Products', r.log)

            # Both answered Yes: the run goes on to the download (no server here: the connection message).
            r = harness.run_program(prefix, exe, rules=['box * => yes'])
            self.assertEqual(3, len(r.boxes), r.box_texts())
            self.assertIn('internet connection', r.boxes[2]['text'])

    def test_resource_texts_that_take_other_arguments_give_way_to_the_programs_own(self):
        # A kitfetcher.ui planted beside the package: its processor message asks for texts and
        # writes through %n where the program passes one number; its memory message takes the
        # number in other words.
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml(cpu='2000000', ram='9000000'))
            shutil.copy(os.path.join(harness.TESTS_BIN, 'hostile_texts.dll'),
                        os.path.join(prefix.c_path(pkg), 'kitfetcher.ui'))
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:C:\\texts.txt'],
                                    log_windows_path='C:\\texts.txt',
                                    rules=['box You need a CPU => yes', 'box * => no'])
            self.assertEqual(0, r.returncode)
            self.assertEqual(['You need a CPU with at least 2000000 MHz for optimal performance. Install anyway?',
                              'Library: 9000000 MB of memory wanted (100% sure). Install anyway?'], r.box_texts())
            self.assertIn('Text 133 of the resource library does not fit its use; not taken', r.log)

    def test_disk_shortfall_is_reported_and_stops(self):
        with harness.Prefix('win32') as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml(hdd='2000000000'))
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:C:\\disk.txt'],
                                    log_windows_path='C:\\disk.txt', rules=['box * => ok'])
            self.assertEqual(1, len(r.boxes), r.box_texts())
            self.assertRegex(r.boxes[0]['text'], r'^Not enough free space on drive C:\\\. Please free \d+ MB\.$')
            self.assertNotIn('Detecting Competitive Products', r.log)


class RegistryTest(unittest.TestCase):
    def check_registry(self, arch):
        with harness.Prefix(arch) as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            prefix.reg_add(DEVICE_KEY, 'DEVICE', '0a0b0c0d', kind='REG_BINARY')
            prefix.reg_add(DEVICE_KEY, 'DEVICE2', 'second')
            prefix.reg_add(RUN_KEY, 'qninstaller', 'left over', view=32)
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:C:\\reg.txt'],
                                    log_windows_path='C:\\reg.txt', rules=['box * => ok'])
            self.assertEqual(0, r.returncode)
            self.assertIn('[KITFETCHER] Saving DEVICE2 value, if it exists', r.log)
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=32), 'restart registration kept')
            self.assertEqual('0A0B0C0D', (prefix.reg_query(BACKUP_KEY, 'backup', view=64) or '').upper())
            if arch == 'wow64':
                # The backup lives in the 64-bit view only.
                self.assertIsNone(prefix.reg_query(BACKUP_KEY, 'backup', view=32))

    def test_device_backup_and_restart_registration_win32(self):
        self.check_registry('win32')

    def test_device_backup_and_restart_registration_wow64(self):
        self.check_registry('wow64')


class ParentProcessTest(unittest.TestCase):
    def run_from_parent(self, prefix, parent_name):
        pkg = harness.make_package(prefix, locations=harness.locations_xml(), extra_files={'contacts.xml': CONTACTS})
        os.makedirs(prefix.c_path('C:\\dl'), exist_ok=True)
        shutil.copy(harness.helper_exe('start_exact'), prefix.c_path('C:\\dl\\' + parent_name))
        cmd = prefix.c_path('C:\\dl\\cmd.txt')
        with open(cmd, 'w') as f:
            f.write('%s\\kitfetcher.exe /log:C:\\parent.txt' % pkg)
        if os.path.exists(prefix.c_path('C:\\parent.txt')):
            os.unlink(prefix.c_path('C:\\parent.txt'))
        r = harness.run_program(prefix, 'C:\\dl\\' + parent_name, ['C:\\dl\\cmd.txt', '--wait'],
                                rules=['box * => ok'], target='kitfetcher.exe', log_windows_path='C:\\parent.txt')
        return r.log

    def test_parent_with_bracketed_code_and_store_marker(self):
        with harness.Prefix('win32') as prefix:
            log = self.run_from_parent(prefix, 'Product[code42].exe')
            self.assertRegex(log, r'\[KITFETCHER\] Parent process name: C:\\dl\\Product\[code42\]\.exe with pid \d+')
            self.assertNotIn('Buy Link', log)
            log = self.run_from_parent(prefix, 'Product_rn-4711.exe')
            self.assertIn('Parent process name: C:\\dl\\Product_rn-4711.exe', log)
            self.assertRegex(log, r'\[SETUP\] Buy Link \(affiliate\): https://[^/]+/softsell/nph-softsell\.cgi'
                                  r'\?item=12345&affiliate=4711')


if __name__ == '__main__':
    unittest.main()
