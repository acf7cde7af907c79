"""Libraries planted beside kitfetcher.exe and kitstarter.exe run no code: the
stand-in library writes <its path>.ran from DllMain whenever something loads it
as code, with a line naming the program that loaded it."""
import glob
import os
import shutil
import unittest

import harness
import samplekit as sk
from harness import lay_out_kitstarter, start_exact
from samplekit import ServedKit, installer_runs

PLANTED = os.path.join(harness.TESTS_BIN, 'planted_library.dll')
# Libraries that Windows does not take from the system folder by itself, each with who would load it.
SYSTEM_NAMES = (
    ('msi.dll', 'the program, at run time'),
    ('urlmon.dll', 'the program, at run time'),
    ('wininet.dll', 'the program, at run time'),
    ('psapi.dll', 'the program, at run time'),
    ('comctl32.dll', 'the program, for the progress dialog (the manifest names version 6)'),
    ('uxtheme.dll', 'comctl32, by name as it starts'),
    ('dwmapi.dll', "the package's removal library (here one that needs it)"),
    ('cryptbase.dll', 'system code, by name'),
    ('userenv.dll', 'system code, by name'),
    ('secur32.dll', 'system code, by name'),
)
# Not planted: version.dll. Wine's user32 imports it (Windows' does not), so under Wine a copy beside the
# program is mapped before the program's first instruction whatever the program does, and one without the
# exports user32 wants kills the program at its start. Under Windows nothing the programs import needs it:
# tests/static/import_allowlist.txt holds the programs to libraries Windows maps from its system folder.
NAMES = tuple(name for name, _ in SYSTEM_NAMES)
# Wine prefers its own copy of a library it implements wherever a file of that name lies;
# Windows takes the first file its search finds. Native-first makes Wine search like Windows.
WINDOWS_SEARCH = {'WINEDLLOVERRIDES': harness.WINE_ENV['WINEDLLOVERRIDES'] + ';' +
                  ','.join(n[:-4] for n in NAMES) + '=n,b'}


# The shipped programs narrow the search (Wine has SetDefaultDllDirectories); the test builds behave as
# where it is missing (XP, Vista, 7 without KB2533623) and start over from a fresh folder.
BUILDS = (('narrow search', ''), ('start over', '_without_narrow_search'))


def put_program(prefix, folder, program, build):
    shutil.copy(harness.helper_exe(program + build) if build else harness.build_file(program + '.exe'),
                os.path.join(prefix.c_path(folder), program + '.exe'))


def fresh_folders(prefix, parent):
    return [n for n in os.listdir(prefix.c_path(parent)) if n.startswith(('kitfetcher.{', 'kitstarter.{'))]


def plant(prefix, folder, names):
    for name in names:
        shutil.copy(PLANTED, os.path.join(prefix.c_path(folder), name))


def markers(prefix, folder):
    """{library name: [the programs that loaded it]} for each planted library that ran."""
    found = {}
    for path in glob.glob(os.path.join(prefix.c_path(folder), '*.ran')):
        found[os.path.basename(path)[:-4]] = harness.read_text(path).splitlines()
    return found


class PlantedLibrariesTest(unittest.TestCase):
    def test_resource_library_gives_its_texts_and_runs_no_code(self):
        with harness.Prefix('win32') as prefix:
            # A processor minimum no machine meets makes the program ask with a text of the library.
            pkg = harness.make_package(prefix, locations=harness.locations_xml(cpu='2000000'))
            plant(prefix, pkg, ['kitfetcher.ui'])
            r = harness.run_program(prefix, pkg + '\\kitfetcher.exe', rules=['box * => no'])
            self.assertEqual(0, r.returncode)
            self.assertEqual(['Resource library text: 2000000 MHz wanted. Install anyway?'], r.box_texts())
            self.assertEqual({}, markers(prefix, pkg))

    def test_system_library_names_beside_the_program_are_never_loaded(self):
        with ServedKit(sk.kit_file_bytes()) as kit:
            for build_name, build in BUILDS:
                with self.subTest(build=build_name), harness.Prefix('win32') as prefix:
                    pkg = sk.package(prefix, kit.base_url)
                    put_program(prefix, pkg, 'kitfetcher', build)
                    plant(prefix, pkg, NAMES)
                    shutil.copy(os.path.join(harness.TESTS_BIN, 'dependent_library.dll'),
                                os.path.join(prefix.c_path(pkg), 'wipekit.dll'))
                    # Started by a program whose name carries an affiliate code, which the started-over
                    # copy still finds: its own parent is the first instance.
                    os.makedirs(prefix.c_path('C:\\dl'))
                    shutil.copy(harness.helper_exe('start_exact'), prefix.c_path('C:\\dl\\Product[code42].exe'))
                    with open(prefix.c_path('C:\\dl\\cmd.txt'), 'w') as f:
                        f.write('%s\\kitfetcher.exe /log' % pkg)
                    r = harness.run_program(prefix, 'C:\\dl\\Product[code42].exe',
                                            ['C:\\dl\\cmd.txt', '--wait', '--cwd', 'C:\\dl'], target='kitfetcher.exe',
                                            log_windows_path='C:\\dl\\downloaderlog.txt', extra_env=WINDOWS_SEARCH,
                                            timeout=240)
                    self.assertEqual({}, markers(prefix, pkg))
                    # The run still went all the way: kit downloaded, installer started.
                    self.assertEqual([], r.box_texts())
                    self.assertIn('[KITFETCHER] Using update; downloading the files', r.log)
                    self.assertNotIn('from the system folder', r.log)  # each system library loaded
                    self.assertIn('pfnGetProducts is NULL', r.log)  # the removal library was loaded
                    self.assertRegex(r.log, r'Parent process name: C:\\dl\\Product\[code42\]\.exe with pid \d+')
                    folder = sk.local_setup_folder()
                    self.assertEqual(1, len(installer_runs(prefix, folder)))
                    descriptor = harness.read_text(os.path.join(prefix.c_path(folder), 'install_x86.xml'))
                    self.assertIn('<affiliate_source>code42</affiliate_source>', descriptor)
                    if build:
                        self.assertRegex(r.log, r'Running from C:\\windows\\temp\\kitfetcher\.\{[0-9A-F-]{36}\}\\ '
                                                r'for the package in C:\\Downloads\\QuillnetSetup\\\n')
                    else:
                        self.assertNotIn('Running from', r.log)
                    self.assertEqual([], fresh_folders(prefix, 'C:\\windows\\temp'))

    def test_kitstarter_loads_none_of_them_either(self):
        for build_name, build in BUILDS:
            with self.subTest(build=build_name), harness.Prefix('win32') as prefix:
                folder, root = lay_out_kitstarter(prefix)
                put_program(prefix, folder, 'kitstarter', build)
                plant(prefix, folder, NAMES)
                for options, started in (('/wow64', 'setup32.exe'),
                                         ('/run:"%s\\target.exe" /args:"/after_restart"' % folder, 'target.exe')):
                    line = '"%s\\kitstarter.exe" %s' % (folder, options)
                    self.assertEqual(0, start_exact(prefix, line, extra_env=WINDOWS_SEARCH).code)
                    record_path = os.path.join(root, started + '.started.txt')
                    self.assertTrue(harness.wait_for_record(record_path), started + ' never started')
                    record = harness.read_started(record_path)[0]
                    if started == 'target.exe':
                        self.assertEqual(folder.lower(), record['cwd'].rstrip('\\').lower())
                    else:
                        self.assertEqual('"%s\\setup32.exe"' % folder, record['cmdline'])
                self.assertEqual({}, markers(prefix, folder))
                temp = prefix.wine(['cmd', '/c', 'echo', '%TEMP%']).stdout.decode().strip()
                self.assertEqual([], fresh_folders(prefix, temp))

if __name__ == '__main__':
    unittest.main()
