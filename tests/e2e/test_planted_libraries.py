"""Libraries planted beside kitfetcher.exe run no code: the stand-in library
writes <its path>.ran from DllMain whenever something loads it as code."""
import glob
import os
import shutil
import unittest

import kitbench as kb
import samplekit as sk
from test_download import ServedKit, installer_runs, run

PLANTED = os.path.join(kb.TESTS_BIN, 'planted_library.dll')
# Libraries the program uses that Windows does not take from the system folder by itself.
SYSTEM_NAMES = ('msi.dll', 'urlmon.dll', 'wininet.dll', 'psapi.dll', 'comctl32.dll')
# Wine prefers its own copy of a library it implements wherever a file of that name lies;
# Windows takes the first file its search finds. Native-first makes Wine search like Windows.
WINDOWS_SEARCH = {'WINEDLLOVERRIDES': kb.WINE_ENV['WINEDLLOVERRIDES'] + ';' +
                  ','.join(n[:-4] for n in SYSTEM_NAMES) + '=n,b'}


def plant(prefix, folder, names):
    for name in names:
        shutil.copy(PLANTED, os.path.join(prefix.c_path(folder), name))


def markers(prefix, folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(prefix.c_path(folder), '*.ran')))


class PlantedLibrariesTest(unittest.TestCase):
    def test_resource_library_gives_its_texts_and_runs_no_code(self):
        with kb.Prefix('win32') as prefix:
            # A processor minimum no machine meets makes the program ask with a text of the library.
            pkg = kb.make_package(prefix, locations=kb.locations_xml(cpu='2000000'))
            plant(prefix, pkg, ['kitfetcher.ui'])
            r = kb.run_program(prefix, pkg + '\\kitfetcher.exe', rules=['box * => no'])
            self.assertEqual(0, r.returncode)
            self.assertEqual(['Resource library text: 2000000 MHz wanted. Install anyway?'], r.box_texts())
            self.assertEqual([], markers(prefix, pkg))

    def test_system_library_names_beside_the_program_are_never_loaded(self):
        kit = ServedKit(sk.kit_file_bytes())
        try:
            with kb.Prefix('win32') as prefix:
                pkg = sk.package(prefix, kit.base_url)
                plant(prefix, pkg, SYSTEM_NAMES)
                r = run(prefix, pkg, extra_env=WINDOWS_SEARCH)
                self.assertEqual([], markers(prefix, pkg))
                # The run still went all the way: kit downloaded, installer started.
                self.assertEqual(0, r.returncode)
                self.assertEqual([], r.box_texts())
                self.assertIn('[KITFETCHER] Using update; downloading the files', r.log)
                self.assertNotIn('from the system folder', r.log)  # each system library loaded
                self.assertEqual(1, len(installer_runs(prefix, sk.local_setup_folder())))
        finally:
            kit.close()


if __name__ == '__main__':
    unittest.main()
