"""The kit's own programs start by their full path: programs planted where
Windows looks for the prefixes of an unquoted path with blanks
(C:\\Program.exe, C:\\Program Files\\Common.exe) never run in their place."""
import os
import shutil
import unittest

import harness
import samplekit as sk
from harness import lay_out_kitstarter, start_exact
from samplekit import ServedKit, installer_runs, run_package

PLANTED = ('C:\\Program.exe', 'C:\\Program Files\\Common.exe')
KIT_FOLDER = 'C:\\Program Files\\Kit Folder'


def plant(prefix):
    """Plants the programs afresh, without records of earlier starts."""
    for path in PLANTED:
        shutil.copy(harness.helper_exe('record_start'), prefix.c_path(path))
        if os.path.exists(prefix.c_path(path) + '.started.txt'):
            os.unlink(prefix.c_path(path) + '.started.txt')


def planted_starts(prefix):
    return dict((path, harness.read_started(prefix.c_path(path) + '.started.txt')) for path in PLANTED)


class PlantedProgramsTest(unittest.TestCase):
    def assertNothingPlantedRan(self, prefix):
        self.assertEqual(dict((path, []) for path in PLANTED), planted_starts(prefix))

    def test_full_run_with_an_autorun_file_whose_name_has_a_blank(self):
        files = sk.kit_file_bytes()
        files['extras/post install.exe'] = files.pop('extras/postinstall.exe')
        with ServedKit(files) as kit, harness.Prefix('win32') as prefix:
            plant(prefix)
            pkg = sk.package(prefix, kit.base_url, files=[sk.FILES[0], ('post install.exe', 'extras', True)])
            r = run_package(prefix, pkg)
            self.assertNothingPlantedRan(prefix)
            self.assertEqual([], r.box_texts())
            folder = sk.local_setup_folder()
            autorun = harness.read_started(os.path.join(prefix.c_path(folder), 'extras',
                                                        'post install.exe.started.txt'))
            self.assertEqual(1, len(autorun), 'the autorun file did not run once')
            self.assertEqual(1, len(installer_runs(prefix, folder)), 'Installer.exe did not run once')
            self.assertIn('[KITFETCHER] Running: "%s\\Installer.exe" in %s' % (folder, folder), r.log)

    def test_kitstarter_from_a_folder_with_blanks(self):
        # /wow64 starts setup32.exe here (a 32-bit prefix); /run goes through the shell.
        cases = (('/wow64', 'setup32.exe'), ('/run:"%s\\target.exe" /args:"/after_restart"' % KIT_FOLDER, 'target.exe'))
        with harness.Prefix('win32') as prefix:
            _, root = lay_out_kitstarter(prefix, KIT_FOLDER)
            for options, started in cases:
                with self.subTest(options=options):
                    plant(prefix)
                    self.assertEqual(0, start_exact(prefix, '"%s\\kitstarter.exe" %s' % (KIT_FOLDER, options)).code)
                    self.assertTrue(harness.wait_for_record(os.path.join(root, started + '.started.txt')),
                                    started + ' never started')
                    self.assertNothingPlantedRan(prefix)


if __name__ == '__main__':
    unittest.main()
