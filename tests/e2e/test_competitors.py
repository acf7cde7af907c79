"""Competing products end to end: the removal library reports a product, the
user is asked (132 or 141), the removal registers the restart, and the restart
resumes through kitstarter into the download."""
import os
import shutil
import unittest

import harness
import samplekit as sk

UNINSTALL = 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\'
RUN_KEY = 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run'
KEY = '{9F1E2D3C-4B5A-6978-8A9B-ACBDCEDF0102}'
PKG = 'C:\\Downloads\\QuillnetSetup'
LOG = 'C:\\Downloads\\competitors.txt'


def install_rival(prefix, display_name, uninstall_string, flags=''):
    view = 64 if prefix.arch == 'wow64' else None
    prefix.reg_add(UNINSTALL + KEY, 'DisplayName', display_name, view=view)
    prefix.reg_add(UNINSTALL + KEY, 'UninstallString', uninstall_string, view=view)
    os.makedirs(prefix.c_path('C:\\rival'), exist_ok=True)
    shutil.copy(harness.helper_exe('uninstall_standin'), prefix.c_path('C:\\rival\\uninst.exe'))
    with open(os.path.join(prefix.c_path(PKG), 'wipekit.ini'), 'w') as f:
        f.write('product=Rival Library Name|%s|%s\n' % (KEY, flags))


def rival_present(prefix):
    view = 64 if prefix.arch == 'wow64' else None
    return prefix.reg_query(UNINSTALL + KEY, 'DisplayName', view=view) is not None


def uninstaller_runs(prefix):
    path = prefix.c_path('C:\\rival\\uninst.exe.cmdline.txt')
    return harness.read_text(path).splitlines() if os.path.exists(path) else []


def package(prefix, base_url='http://127.0.0.1:9/%s', library='wipekit'):
    pkg = sk.package(prefix, base_url, folder=PKG)
    if library:
        shutil.copy(harness.build_file(library + '.dll'), os.path.join(prefix.c_path(pkg), 'wipekit.dll'))
    return pkg


def run(prefix, rules):
    return harness.run_program(prefix, PKG + '\\kitfetcher.exe', ['/log:' + LOG], rules=list(rules) + ['box * => ok'],
                               log_windows_path=LOG)


class CompetitorTest(unittest.TestCase):
    def test_competitor_question_answered_no_changes_nothing(self):
        with harness.Prefix('win32') as prefix:
            package(prefix)
            install_rival(prefix, 'Rival Writer 2', 'C:\\rival\\uninst.exe')
            r = run(prefix, ['box was detected => no'])
            self.assertEqual(['Rival Writer 2 was detected on your system. In order to continue installing '
                              'Quillnet Studio you must uninstall Rival Writer 2. Do you want to uninstall it? If '
                              'you click no, you will not be able to instal Quillnet Studio'], r.box_texts())
            self.assertEqual(['Yes', 'No'], [b.replace('&', '') for b in r.boxes[0]['buttons']])
            self.assertEqual([], uninstaller_runs(prefix))
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=32))
            self.assertEqual([], r.progress)
            self.assertIn('[KITFETCHER] Found competitive product: Rival Writer 2', r.log)

    def test_other_version_answered_yes_removes_it_registers_restart_and_the_restart_resumes_the_download(self):
        with sk.ServedKit(sk.kit_file_bytes()) as kit, harness.Prefix('wow64') as prefix:
            package(prefix, kit.base_url)
            # A quoted command with arguments is no existing path: run, then the library removes the product.
            install_rival(prefix, 'QUILLNET Writer Classic', '"C:\\rival\\uninst.exe" /S')
            r = run(prefix, ['box Another version => yes'])
            self.assertEqual(['Another version of Quillnet was found on your system. In order to continue the '
                              'installation process, you must first remove this version. Do you want to '
                              'continue? If you click no, you will not be able to instal this version of '
                              'Quillnet'], r.box_texts())
            self.assertEqual(1, len(uninstaller_runs(prefix)))
            self.assertFalse(rival_present(prefix))
            self.assertEqual([], r.progress, 'no download after a removal')
            data = prefix.reg_query(RUN_KEY, 'qninstaller', view=32)
            expected = '"%s\\kitstarter.exe" /run:"%s\\kitfetcher.exe" /args:"/after_restart"' % (PKG, PKG)
            self.assertEqual(expected, data)
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=64))

            # At logon Windows runs the value's command line: kitstarter starts kitfetcher /after_restart.
            ui = harness.UiRun(prefix, ['box * => ok'], target='kitfetcher.exe', timeout=240)
            cmd = os.path.join(prefix.root, 'logon.txt')
            with open(cmd, 'w', encoding='utf-8') as f:
                f.write(data)
            prefix.wine([harness.helper_exe('start_exact'), harness.to_z(cmd)], timeout=60)
            ui.proc.wait(timeout=240)
            events = ui.events()
            self.assertEqual([], harness.boxes(events))
            self.assertTrue(harness.progress_states(events), 'the resumed run did not download')
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=32))
            self.assertEqual(1, len(sk.installer_runs(prefix)))

    def test_failed_removal_says_it_cannot_uninstall_and_leaves_no_registration(self):
        with harness.Prefix('win32') as prefix:
            package(prefix)
            install_rival(prefix, 'Rival Writer 2', 'RIVAL-NOT-A-PATH', flags='fail')
            r = run(prefix, ['box was detected => yes'])
            self.assertEqual(2, len(r.boxes), r.box_texts())
            self.assertEqual('Quillnet Studio cannot automatically uninstall Rival Writer 2. We recommend that you '
                             'manually uninstall this program and run Quillnet Studio installation again.',
                             r.boxes[1]['text'])
            self.assertIn('[SETUP] Uninstall product call into wipekit', r.log)
            self.assertIn('[SETUP] RunSetupAfterRestart >>', r.log)
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=32))

    def test_library_missing_incomplete_or_lying_means_no_competitors(self):
        cases = [(None, '', 'could not load'), ('wipekit_noinstalled', '', 'pfnGetInstalledProducts is NULL'),
                 # 2^31-1 records claimed over one: none is read, nothing is destroyed past its end.
                 ('wipekit', 'overcount', '2147483647 records from index 0 are not all in readable memory')]
        for library, flags, why in cases:
            with self.subTest(library=library, flags=flags), harness.Prefix('win32') as prefix:
                package(prefix, library=library)
                install_rival(prefix, 'Rival Writer 2', 'C:\\rival\\uninst.exe', flags=flags)
                r = run(prefix, [])
                self.assertEqual(0, r.returncode)
                self.assertIn(why, r.log)
                self.assertNotIn('Found competitive product', r.log)
                # Setup went on to the download (no server here: the connection message).
                self.assertEqual(1, len(r.boxes))
                self.assertIn('internet connection', r.boxes[0]['text'])

    def test_library_without_uninstall_export_fails_the_removal(self):
        with harness.Prefix('win32') as prefix:
            package(prefix, library='wipekit_nouninstall')
            install_rival(prefix, 'Rival Writer 2', 'RIVAL-NOT-A-PATH')
            r = run(prefix, ['box was detected => yes'])
            self.assertEqual(2, len(r.boxes), r.box_texts())
            self.assertIn('cannot automatically uninstall', r.boxes[1]['text'])
            self.assertIn('pfnUninstallProduct is NULL', r.log)
            self.assertTrue(rival_present(prefix))
            self.assertIsNone(prefix.reg_query(RUN_KEY, 'qninstaller', view=32))


if __name__ == '__main__':
    unittest.main()
