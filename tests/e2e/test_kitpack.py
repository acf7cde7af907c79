"""Kits laid out by kitpack from a folder of sample files and installed by the
real kitfetcher: from the server folder (online package), from the offline
package with the server unreachable, and the offline package's update from a
server laid out again after one kit file changed; and offline packages with the
resource library kitpack made from a translation, whose texts and dialog the
program shows.

kitpack is the native build of kitpack/ (ctest's kitpack.native): KIT_KITPACK,
or KIT_BUILD_DIR/kitpack/kitpack."""
import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness
import samplekit as sk
from harness import DOWNLOAD_FAILED
from samplekit import KitServer, installer_runs, run_package

KITPACK = os.environ.get('KIT_KITPACK') or os.path.join(harness.BUILD_DIR, 'kitpack', 'kitpack')
PACKAGE = 'C:\\Downloads\\QuillnetSetup'


class VendorKit:
    """A vendor's folder of kit files and its description, laid out by kitpack into out/, whose server/
    folder a server on 127.0.0.1 serves (at `rate` bytes a second) until the kit is closed."""

    def __init__(self, rate=None):
        self.root = tempfile.mkdtemp(prefix='kitpack-e2e-')
        self.kit = os.path.join(self.root, 'kit')
        self.out = os.path.join(self.root, 'out')
        self.server_root = os.path.join(self.out, 'server')
        os.makedirs(self.server_root)
        self.write_files(sk.kit_file_bytes())
        program = os.path.join(self.root, 'program')
        os.makedirs(program)
        for name in ('kitfetcher.exe', 'kitstarter.exe'):
            shutil.copy(harness.build_file(name), os.path.join(program, name))
        with open(os.path.join(program, 'contacts.xml'), 'w') as f:
            f.write(sk.CONTACTS)
        self.program = program
        self.locations = os.path.join(self.root, 'locations.xml')
        self.server = KitServer(self.server_root, default_rate=rate).start()
        self.base_url = 'http://127.0.0.1:%d/kit/%%s' % self.server.port

    def gets(self, path, method='GET'):
        return self.server.request_count(path, method)

    def describe(self, base_url=None, language='EN', trust=None):
        """locations.xml naming base_url (by default the kit's server)."""
        text = harness.locations_xml(base_url=base_url or self.base_url, files=sk.FILES, maker=sk.MAKER,
                                     product=sk.PRODUCT, language=language)
        if trust:
            text = text.replace('<locations>\n', '<locations>\n  %s\n' % trust, 1)
        with open(self.locations, 'w', encoding='utf-8') as f:
            f.write(text)

    def keygen(self, name='vendor.pem'):
        """A new key of the vendor's; its trust element."""
        path = os.path.join(self.root, name)
        r = self.kitpack('keygen', path)
        if r.returncode != 0:
            raise AssertionError('kitpack keygen: %s' % r.stdout.decode(errors='replace'))
        return path, r.stdout.decode().strip().splitlines()[-1]

    def resign(self, manifest, key):
        """Signs a (changed) manifest with any key, as OpenSSL does."""
        subprocess.run(['openssl', 'dgst', '-sha256', '-sign', key, '-out', manifest[:-4] + '.sig', manifest],
                       check=True)

    def translate(self, texts):
        """kitpack's English template with the given keys' texts, as a translations file."""
        lines = self.kitpack('ui', '--template').stdout.decode('utf-8').splitlines()
        for i, line in enumerate(lines):
            key = line.split(' = ')[0]
            if key in texts:
                lines[i] = '%s = %s' % (key, texts[key])
        path = os.path.join(self.root, texts['language'] + '.txt')
        with open(path, 'w', encoding='utf-8') as f:
            f.write('\n'.join(lines) + '\n')
        return path

    def write_files(self, files):
        for rel, data in files.items():
            target = os.path.join(self.kit, *rel.split('/'))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, 'wb') as f:
                f.write(data)

    def kitpack(self, *args):
        return subprocess.run([KITPACK] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)

    def build(self, *extra):
        r = self.kitpack('build', '--kit', self.kit, '--locations', self.locations, '--product-code', sk.PRODUCT_CODE,
                         '--out', self.out, '--program-files', self.program, *extra)
        if r.returncode != 0:
            raise AssertionError('kitpack build: %d\n%s' % (r.returncode, r.stdout.decode(errors='replace')))

    def install_offline(self, prefix):
        """Copies the offline package into the prefix, as a user unpacks it."""
        shutil.copytree(os.path.join(self.out, 'offline'), prefix.c_path(PACKAGE))
        return PACKAGE

    def install_online(self, prefix, locations=None):
        """The online package: the offline package's programs and documents, none of the kit."""
        folder = prefix.c_path(PACKAGE)
        os.makedirs(folder, exist_ok=True)
        for name in ('kitfetcher.exe', 'kitstarter.exe', 'contacts.xml', 'locations.xml'):
            shutil.copy(os.path.join(self.out, 'offline', name), os.path.join(folder, name))
        if locations:
            with open(os.path.join(folder, 'locations.xml'), 'w', encoding='utf-8') as f:
                f.write(locations)
        return PACKAGE

    def close(self):
        self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# Texts of three translations: the labels, the estimate, the quit question and the new-files question.
GERMAN = {'language': 'de', '104': 'Herunterladen:', '105': 'Geschwindigkeit:', '106': 'Verbleibende Zeit:',
          '119': 'Wird geschätzt...', '122': 'Möchten Sie wirklich beenden?',
          '144': 'Soll %s beim Installieren neuere Dateien herunterladen?'}
JAPANESE = {'language': 'ja', '104': 'ダウンロード中:', '105': 'ダウンロード速度:', '106': '残り時間:',
            '119': '計算中...', '122': '終了してもよろしいですか?',
            '144': 'インストール中に %s で新しいファイルをダウンロードしますか?'}
ARABIC = {'language': 'ar', '104': 'جارٍ التنزيل:', '105': 'سرعة التنزيل:', '106': 'الوقت المتبقي:',
          '119': 'جارٍ التقدير...', '122': 'هل تريد الإنهاء؟', '144': 'هل تريد أن يقوم %s بتنزيل ملفات أحدث؟'}
WS_EX_LAYOUTRTL = 0x00400000


def md5(data):
    return hashlib.md5(data).hexdigest()


class KitpackLayoutTest(unittest.TestCase):
    def setUp(self):
        self.vendor = VendorKit()
        self.addCleanup(self.vendor.close)

    def test_online_package_installs_from_the_server_folder(self):
        self.vendor.describe()
        self.vendor.build()
        self.assertEqual(0, self.vendor.kitpack('verify', self.vendor.server_root).returncode)
        with harness.Prefix('win32') as prefix:
            pkg = self.vendor.install_online(prefix)
            r = run_package(prefix, pkg, ['box * => ok'])
            self.assertEqual([], r.box_texts())
            self.assertEqual(1, len(installer_runs(prefix)), r.log)
            files = sk.listing(prefix, sk.local_setup_folder())
            self.assertIn('data/kit.dat', files)
            self.assertIn('contacts.xml', files)
            self.assertEqual(1, self.vendor.gets('/kit/en/productcode.txt'))
            self.assertEqual((1, 1), (self.vendor.gets('/kit/en/extras/postinstall.exe', 'HEAD'),
                                      self.vendor.gets('/kit/en/extras/postinstall.exe')), 'size query and download')

    def test_offline_package_installs_with_the_server_unreachable(self):
        self.vendor.describe('http://127.0.0.1:9/kit/%s')
        self.vendor.build()
        with harness.Prefix('win32') as prefix:
            pkg = self.vendor.install_offline(prefix)
            r = run_package(prefix, pkg, ['box * => yes'])
            self.assertEqual(['Do you want Quillnet to download newer files while installing?'], r.box_texts())
            self.assertIn('[KITFETCHER] Copying files from offline location', r.log)
            self.assertEqual(1, len(installer_runs(prefix)), r.log)
            files = sk.listing(prefix, sk.local_setup_folder())
            post = sk.kit_file_bytes()['extras/postinstall.exe']
            self.assertEqual(md5(post).encode(), harness.read_bytes(files['extras/postinstall.exe.md5']))

    def test_a_changed_kit_file_is_the_only_download_of_the_first_offline_package(self):
        self.vendor.describe()
        self.vendor.build()
        with harness.Prefix('wow64') as prefix:
            pkg = self.vendor.install_offline(prefix)
            changed = sk.kit_file_bytes()['extras/postinstall.exe'] + b'\0second release'
            self.vendor.write_files({'extras/postinstall.exe': changed})
            self.vendor.build()
            self.assertEqual(0, self.vendor.kitpack('verify', self.vendor.server_root).returncode)
            r = run_package(prefix, pkg, ['box download newer files => yes', 'box * => ok'])
            # Size queries for both autorun files; a download for the changed one alone.
            self.assertEqual((1, 0), (self.vendor.gets('/kit/en/setup_kit.exe', 'HEAD'),
                                      self.vendor.gets('/kit/en/setup_kit.exe')))
            self.assertEqual((1, 1), (self.vendor.gets('/kit/en/extras/postinstall.exe', 'HEAD'),
                                      self.vendor.gets('/kit/en/extras/postinstall.exe')))
            downloads = re.findall(r'\[KITFETCHER\] Downloading: (\S+)', r.log)
            self.assertEqual(1, len(downloads), downloads)
            self.assertTrue(downloads[0].endswith('/kit/en/extras/postinstall.exe'), downloads)
            files = sk.listing(prefix, sk.local_setup_folder())
            self.assertEqual(md5(changed).encode(), harness.read_bytes(files['extras/postinstall.exe.md5']))
            self.assertEqual(1, len(installer_runs(prefix)), r.log)


class TranslatedKitTest(unittest.TestCase):
    """An offline package with a translation kitpack made into kitfetcher.ui, updating a changed kit file from a
    slow server: the new-files question, the progress dialog and, asked to close, the quit question in its words."""

    def run_translated(self, texts):
        with VendorKit(rate=150_000) as vendor:
            vendor.describe(language=texts['language'].upper())
            ui = vendor.translate(texts)
            self.assertEqual(0, vendor.kitpack('check-ui', ui).returncode)
            vendor.build('--ui', ui)
            with harness.Prefix('win32') as prefix:
                pkg = vendor.install_offline(prefix)
                vendor.write_files({'setup_kit.exe': sk.kit_file_bytes(data_size=1024 * 1024)['setup_kit.exe']})
                vendor.build('--ui', ui)
                r = run_package(prefix, pkg,
                                ['progress close-after 3', 'box %s => no' % texts['122'], 'box * => yes'])
                self.assertEqual([texts['144'] % sk.MAKER, texts['122']], r.box_texts(), r.log)
                self.assertTrue(r.progress, 'no progress dialog seen')
                shown = [[s['controls'][c] for c in ('1004', '1002', '1003', '1005')] for s in r.progress]
                self.assertIn([texts['104'], texts['105'], texts['106'], texts['119']], shown)
                self.assertEqual(1, len(installer_runs(prefix)), r.log)
                return r

    def test_german_and_japanese_texts_and_a_plain_dialog(self):
        for texts in (GERMAN, JAPANESE):
            with self.subTest(language=texts['language']):
                r = self.run_translated(texts)
                self.assertEqual([0], sorted({s['exstyle'] & WS_EX_LAYOUTRTL for s in r.progress}))

    def test_arabic_mirrors_the_dialog(self):
        r = self.run_translated(ARABIC)
        self.assertEqual([WS_EX_LAYOUTRTL], sorted({s['exstyle'] & WS_EX_LAYOUTRTL for s in r.progress}))


class SignedKitTest(unittest.TestCase):
    """Kits signed by kitpack, their key pinned in the package: what installs, and what is refused with no
    installer run and the setup folder taken back."""

    def setUp(self):
        self.vendor = VendorKit()
        self.addCleanup(self.vendor.close)
        self.key, self.trust = self.vendor.keygen()
        self.vendor.describe(trust=self.trust)
        self.vendor.build('--sign', self.key)
        self.served = os.path.join(self.vendor.server_root, 'kit', 'en')

    def assert_refused(self, prefix, r, why, asked=()):
        self.assertEqual(list(asked) + [DOWNLOAD_FAILED], r.box_texts(), why)
        self.assertEqual([], installer_runs(prefix), why)
        self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())), why)

    def test_a_signed_kit_installs_online_and_offline(self):
        self.assertEqual(0, self.vendor.kitpack('verify', self.vendor.server_root, '--locations',
                                                self.vendor.locations).returncode)
        with harness.Prefix('win32') as prefix:
            r = run_package(prefix, self.vendor.install_online(prefix), ['box * => ok'])
            self.assertEqual([], r.box_texts(), r.log)
            self.assertEqual(1, len(installer_runs(prefix)), r.log)
            self.assertIn("The server's manifest: signed, serial 1", r.log)
        with harness.Prefix('win32') as prefix:
            r = run_package(prefix, self.vendor.install_offline(prefix),
                            ['box download newer files => no', 'box * => ok'])
            self.assertEqual(1, len(installer_runs(prefix)), r.log)
            self.assertIn("The package's manifest: signed, serial 1", r.log)

    def test_what_the_vendor_did_not_sign_is_refused(self):
        manifest = os.path.join(self.served, 'kitmanifest.txt')
        stranger, _ = self.vendor.keygen('stranger.pem')
        original = {name: harness.read_bytes(os.path.join(self.served, name))
                    for name in ('kitmanifest.txt', 'kitmanifest.sig', 'setup_kit.exe')}

        def restore():
            for name, data in original.items():
                with open(os.path.join(self.served, name), 'wb') as f:
                    f.write(data)

        def change_byte():
            setup = bytearray(original['setup_kit.exe'])
            setup[len(setup) // 2] ^= 0x01
            with open(os.path.join(self.served, 'setup_kit.exe'), 'wb') as f:
                f.write(bytes(setup))

        def drop_line():
            lines = original['kitmanifest.txt'].decode().splitlines(keepends=True)
            with open(manifest, 'w', newline='') as f:
                f.write(''.join(line for line in lines if 'setup_kit.exe' not in line))
            self.vendor.resign(manifest, self.key)

        cases = {
            'one byte changed in a served autorun file': (change_byte, 'does not match the manifest: expected'),
            'a manifest signed by another key': (lambda: self.vendor.resign(manifest, stranger),
                                                 'the signature does not verify'),
            'no signature': (lambda: os.unlink(manifest[:-4] + '.sig'), 'Cannot download'),
            'no manifest': (lambda: os.unlink(manifest), 'Cannot download'),
            'a kit file missing from the manifest': (drop_line, 'does not list setup_kit.exe'),
        }
        with harness.Prefix('win32') as prefix:
            for why, (damage, logged) in cases.items():
                with self.subTest(why):
                    restore()
                    damage()
                    r = run_package(prefix, self.vendor.install_online(prefix), ['box * => ok'])
                    self.assert_refused(prefix, r, why)
                    self.assertIn(logged, r.log)
            with self.subTest('a serial below the minimum'):
                restore()
                pinned_higher = harness.read_text(self.vendor.locations).replace('minSerial="1"', 'minSerial="2"')
                r = run_package(prefix, self.vendor.install_online(prefix, locations=pinned_higher), ['box * => ok'])
                self.assert_refused(prefix, r, 'serial')
                self.assertIn('serial 1 is below the minimum 2', r.log)

    def test_files_planted_in_the_package_folder_never_run(self):
        probe = harness.read_bytes(harness.helper_exe('record_start'))
        with harness.Prefix('win32') as prefix:
            for pinned in (False, True):
                with self.subTest(pinned=pinned):
                    # An online package: a file under an autorun entry's name beside the program is never taken.
                    unpinned = harness.read_text(self.vendor.locations).replace(self.trust, '')
                    pkg = self.vendor.install_online(prefix, locations=None if pinned else unpinned)
                    sk.copy_into(prefix, pkg, {'setup_kit.exe': probe})
                    downloads = self.vendor.gets('/kit/en/setup_kit.exe')
                    r = run_package(prefix, pkg, ['box * => ok'])
                    self.assertFalse(os.path.exists(prefix.c_path(pkg + '\\setup_kit.exe.started.txt')), r.log)
                    self.assertEqual(downloads + 1, self.vendor.gets('/kit/en/setup_kit.exe'))
                    self.assertEqual(1, len(installer_runs(prefix)), r.log)
                    shutil.rmtree(prefix.c_path(sk.local_setup_folder()))
            # With the key, a planted productcode.txt and kit files make an "offline package" whose own manifest is
            # missing: refused. The offline package's real files and manifest pass.
            pkg = self.vendor.install_online(prefix)
            sk.write_tree(prefix.c_path(pkg), {'setup_kit.exe': probe, 'extras/postinstall.exe': probe})
            r = run_package(prefix, pkg, ['box download newer files => no', 'box * => ok'])
            self.assert_refused(prefix, r, 'planted offline kit',
                                asked=['Do you want Quillnet to download newer files while installing?'])
            self.assertIn("Cannot read C:\\Downloads\\QuillnetSetup\\kitmanifest.txt", r.log)
            shutil.rmtree(prefix.c_path(pkg))
            r = run_package(prefix, self.vendor.install_offline(prefix),
                            ['box download newer files => no', 'box * => ok'])
            self.assertEqual(1, len(installer_runs(prefix)), r.log)


if __name__ == '__main__':
    unittest.main()
