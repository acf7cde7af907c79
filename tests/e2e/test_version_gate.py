"""The version gate on prefixes set to each Windows version: XP SP3, Vista with a
service pack and Windows 7 go on; Vista without a service pack, Windows 8 and
Server 2008 are refused with the unsupported-system message and nothing else happens."""
import unittest

import harness

REFUSAL = 'Quillnet Suite cannot be installed on your operating system.'
VERSION_LINE = '[SETUP] OS Version (0 - unknown, 1 - XP, 2 - VISTA no sp, 3 - VISTA with sp, 4 - Win 7): %d'


class VersionGateTest(unittest.TestCase):
    def run_on(self, version, arch='win32'):
        with harness.Prefix(arch, version=version) as prefix:
            pkg = harness.make_package(prefix, locations=harness.locations_xml())
            return harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:C:\\gate.txt'],
                                       rules=['box * => ok'], log_windows_path='C:\\gate.txt')

    def check(self, version, code, refused, arch='win32'):
        r = self.run_on(version, arch)
        self.assertEqual(0, r.returncode)
        self.assertIn(VERSION_LINE % code, r.log)
        if refused:
            self.assertEqual([REFUSAL], r.box_texts())
            box = r.boxes[0]
            self.assertEqual('Quillnet', box['caption'])
            self.assertEqual(['OK'], box['buttons'])
            self.assertNotIn('Detecting Competitive Products', r.log)
        else:
            self.assertNotIn(REFUSAL, r.box_texts())
            self.assertIn('[KITFETCHER] Detecting Competitive Products', r.log)

    def test_xp_sp3_goes_on(self):
        self.check('winxp', 1, refused=False)

    def test_vista_with_service_pack_goes_on(self):
        self.check('vista', 3, refused=False)

    def test_vista_without_service_pack_is_refused(self):
        self.check('vista-nosp', 2, refused=True)

    def test_windows7_goes_on_in_both_prefixes(self):
        for arch in ('win32', 'wow64'):
            with self.subTest(arch=arch):
                self.check(None, 4, refused=False, arch=arch)

    def test_windows8_is_refused(self):
        self.check('win8', 0, refused=True)

    def test_server_2008_is_refused(self):
        self.check('win2008', 0, refused=True)


if __name__ == '__main__':
    unittest.main()
