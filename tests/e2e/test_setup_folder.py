"""Where the local setup folder goes, and that a kit that cannot be placed there
ends with the download-failed message instead of in silence: the real kitfetcher under the UI
helper, mostly with offline packages (no server needed)."""
import os
import unittest

import harness
import samplekit as sk
from harness import DOWNLOAD_FAILED
from samplekit import CLOSED_PORT_URL, LOG, ServedKit, installer_runs


def offline_package(prefix, maker=sk.MAKER, files=sk.FILES):
    locations = harness.locations_xml(base_url=CLOSED_PORT_URL, maker=maker, product=sk.PRODUCT, files=files,
                                      show_prompt='0', default_answer='0')
    pkg = harness.make_package(prefix, 'C:\\Downloads\\QuillnetSetup', locations=locations,
                               extra_files={'contacts.xml': sk.CONTACTS})
    sk.write_tree(prefix.c_path(pkg), sk.kit_file_bytes())
    return pkg


def run(prefix, pkg, user_variable=None):
    """Runs the package's kitfetcher; `user_variable` (a text, '' to remove it) is
    the %CommonProgramW6432% of the user's environment. Wine rebuilds that
    variable for every program it starts itself, whatever HKCU\\Environment says,
    so a parent process hands it over, as the user's shell would on Windows."""
    exe, args = pkg + '\\kitfetcher.exe', ['/log:' + LOG]
    if user_variable is None:
        return harness.run_program(prefix, exe, args, log_windows_path=LOG)
    command = 'set CommonProgramW6432=%s&& %s' % (user_variable, ' '.join([exe] + args))
    return harness.run_program(prefix, 'cmd', ['/c', command], target='kitfetcher.exe', log_windows_path=LOG)


class CommonFilesFolderTest(unittest.TestCase):
    def test_64_bit_common_files_come_from_the_machine_not_the_users_environment(self):
        for variable in ('C:\\Users\\Public\\Writable', ''):
            with self.subTest(CommonProgramW6432=variable), harness.Prefix('wow64') as prefix:
                pkg = offline_package(prefix)
                r = run(prefix, pkg, user_variable=variable)
                self.assertEqual([], r.box_texts())
                self.assertEqual(1, len(installer_runs(prefix, sk.local_setup_folder())), r.log)
                self.assertFalse(os.path.exists(prefix.c_path('C:\\Users\\Public\\Writable')))


class MakerNameTest(unittest.TestCase):
    def test_a_maker_windows_accepts_names_the_folder_windows_would_make(self):
        common = 'C:\\Program Files\\Common Files'
        for maker, level in (('', None), ('Acme Inc.', 'Acme Inc')):
            with self.subTest(maker=maker), harness.Prefix('win32') as prefix:
                pkg = offline_package(prefix, maker=maker)
                r = run(prefix, pkg)
                self.assertEqual([], r.box_texts())
                folder = '\\'.join(p for p in (common, level, 'SetupInformation', sk.PRODUCT_CODE) if p)
                runs = installer_runs(prefix, folder)
                self.assertEqual(1, len(runs), r.log)
                self.assertEqual(folder.lower(), runs[0]['cwd'].rstrip('\\').lower())
                if level:
                    self.assertNotIn(maker, os.listdir(prefix.c_path(common)))

    def test_a_maker_that_climbs_out_is_refused_with_a_message(self):
        with harness.Prefix('win32') as prefix:
            pkg = offline_package(prefix, maker='..\\..\\x')
            before = set(sk.listing(prefix, 'C:\\'))
            r = run(prefix, pkg)
            self.assertEqual([DOWNLOAD_FAILED], r.box_texts())
            created = set(sk.listing(prefix, 'C:\\')) - before
            self.assertEqual([], sorted(p for p in created if not p.startswith('users/') and not p.endswith('-log.txt')))



class FailedCopyTest(unittest.TestCase):
    def test_a_kit_file_that_cannot_be_placed_fails_the_run(self):
        folder = sk.local_setup_folder()
        with self.subTest('offline package, source unreadable'), harness.Prefix('win32') as prefix:
            # The broken entry comes first: an autorun program that ran in a sub-folder may hold
            # that folder for a moment after it ends under Wine, and the clean-up would then leave
            # the folder to the next restart.
            pkg = offline_package(prefix, files=[('data1.cab', 'data', False)] + sk.FILES)
            os.makedirs(os.path.join(prefix.c_path(pkg), 'data', 'data1.cab'))
            with open(os.path.join(prefix.c_path(pkg), 'data', 'data1.cab.md5'), 'w') as f:
                f.write('0123\n')
            self.check_failed_run(prefix, pkg, folder)
        with ServedKit(sk.kit_file_bytes()) as kit, self.subTest('download, target unwritable'), \
                harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            os.makedirs(os.path.join(prefix.c_path(folder), 'setup_kit.exe'))
            self.check_failed_run(prefix, pkg, folder)

    def check_failed_run(self, prefix, pkg, folder):
        r = run(prefix, pkg)
        self.assertEqual([DOWNLOAD_FAILED], r.box_texts())
        self.assertIn('[KITFETCHER] Cannot copy ', r.log)
        self.assertEqual([], installer_runs(prefix, folder))
        self.assertFalse(os.path.exists(prefix.c_path(folder)), r.log)


if __name__ == '__main__':
    unittest.main()
