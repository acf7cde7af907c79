"""A kit fetched or copied and handed to its installer, end to end: the real
kitfetcher in both prefixes, a local server, the UI helper answering prompts and
reading the progress dialog."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
import samplekit as sk
from samplekit import CLOSED_PORT_URL, ServedKit, installer_runs, run_package


class OnlineTest(unittest.TestCase):
    def check_online_happy_path(self, arch):
        with ServedKit(sk.kit_file_bytes(data_size=3 * 1024 * 1024), rate=1_000_000) as kit, \
                harness.Prefix(arch) as prefix:
            pkg = sk.package(prefix, kit.base_url)
            r = run_package(prefix, pkg)
            self.assertEqual(0, r.returncode)
            self.assertEqual([], r.box_texts())
            folder = sk.local_setup_folder()
            files = sk.listing(prefix, folder)
            descriptor = 'install_x64.xml' if arch == 'wow64' else 'install_x86.xml'
            for name in ('Installer.exe', descriptor, 'data/kit.dat', 'contacts.xml',
                         'setup_kit.exe.md5', 'extras/postinstall.exe.md5'):
                self.assertIn(name, files)
            # Autorun files ran from their folder and were deleted; their .md5 stays (empty: no update known).
            self.assertNotIn('setup_kit.exe', files)
            self.assertNotIn('extras/postinstall.exe', files)
            self.assertEqual(b'', harness.read_bytes(files['setup_kit.exe.md5']))
            post = harness.read_started(os.path.join(prefix.c_path(folder), 'extras', 'postinstall.exe.started.txt'))
            self.assertEqual(1, len(post))
            self.assertTrue(post[0]['cwd'].rstrip('\\').lower().endswith('\\extras'), post[0])
            runs = installer_runs(prefix, folder)
            self.assertEqual(1, len(runs))
            self.assertEqual(folder.lower(), runs[0]['cwd'].rstrip('\\').lower())
            # The dialog was shown with its texts while the kit came down.
            states = r.progress
            self.assertTrue(states, 'no progress dialog seen')
            first = states[0]
            self.assertEqual(sk.PRODUCT, first['caption'])
            self.assertEqual('Downloading installer:', first['controls']['1004'])
            self.assertEqual('Download speed:', first['controls']['1002'])
            self.assertEqual('Estimated time left:', first['controls']['1003'])
            self.assertEqual('Estimating...', first['controls']['1005'])
            speeds = [s['controls']['1005'] for s in states if s['controls']['1005'] not in ('Estimating...', '', None)]
            self.assertTrue(speeds, 'speed never shown')
            self.assertRegex(speeds[-1], r'^ ?\d+\.\d\d (KB|MB)/s$')
            # (A text read while the dialog is being destroyed comes back empty.)
            lefts = [s['controls']['-1'] for s in states if s['controls']['-1'] not in ('Estimating...', '', None)]
            self.assertRegex(lefts[-1], r'^\d+ seconds?$|minute')
            # One HEAD for the size query of the sizing pass, one GET for the download.
            self.assertEqual((1, 1), (kit.gets('/en/setup_kit.exe', 'HEAD'), kit.gets('/en/setup_kit.exe')))
            self.assertIn('[KITFETCHER] Using update; downloading the files', r.log)

    def test_online_happy_path_32_bit(self):
        self.check_online_happy_path('win32')

    def test_online_happy_path_wow64(self):
        self.check_online_happy_path('wow64')

    def test_package_without_server_asks_for_a_connection(self):
        with harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, CLOSED_PORT_URL)
            r = run_package(prefix, pkg)
            self.assertEqual([harness.NEEDS_CONNECTION], r.box_texts())
            self.assertEqual(sk.MAKER, r.boxes[0]['caption'])
            self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))

    def test_404_retry_retry_then_the_download_failed(self):
        with ServedKit(sk.kit_file_bytes(), rules={'/en/setup_kit.exe': {'status': 404}}) as kit, \
                harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            r = run_package(prefix, pkg, rules=['box error download => retry', 'box * => ok'])
            self.assertEqual([harness.RETRY_DOWNLOAD, harness.RETRY_DOWNLOAD, harness.DOWNLOAD_FAILED],
                             r.box_texts())
            self.assertEqual((1, 3), (kit.gets('/en/setup_kit.exe', 'HEAD'), kit.gets('/en/setup_kit.exe')),
                             'size query and three attempts')
            self.assertEqual([], installer_runs(prefix))
            self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))

    def test_a_server_that_lies_about_the_file_installs_nothing(self):
        # The size query announces the whole file; the download then brings
        # less (a chunked body cut short or garbled), or the empty answer of a
        # redirect to a file of the machine, which the moniker takes for the file.
        files = sk.kit_file_bytes()
        lies = {'cut chunked body': {'chunked': True, 'drop_after': len(files['setup_kit.exe']) - 5000},
                'garbled chunk': {'bad_chunk': True},
                'redirect to a local file': {'redirect': 'file:///C:/windows/win.ini'}}
        with ServedKit(files) as kit, harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            for lie, rule in lies.items():
                with self.subTest(lie):
                    kit.server.rules['/en/setup_kit.exe'] = rule
                    r = run_package(prefix, pkg, rules=['box error download => cancel', 'box * => ok'])
                    self.assertEqual([harness.RETRY_DOWNLOAD, harness.DOWNLOAD_FAILED], r.box_texts(), r.log)
                    self.assertEqual([], installer_runs(prefix))
                    self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))

    def test_cancel_during_throttled_download(self):
        files = sk.kit_file_bytes(data_size=4 * 1024 * 1024)
        # Twenty seconds of data: the quit comes long before the end of it.
        with ServedKit(files, rate=200_000) as kit, harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            r = run_package(prefix, pkg, rules=['progress close-after 3', 'box want to quit => yes', 'box * => ok'])
            self.assertEqual([harness.QUIT_QUESTION], r.box_texts(), (r.events, r.log))
            self.assertTrue(kit.server.wait_idle(), 'the server is still sending')
            sent = kit.server.body_bytes('/en/setup_kit.exe')
            self.assertTrue(any(sent), 'the download never began')
            self.assertLess(max(sent), len(files['setup_kit.exe']), 'the download was not stopped')
            self.assertIn('[KITFETCHER] Download canceled!', r.log)
            self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))

    def test_screenshot_shows_the_black_dialog(self):
        with ServedKit(sk.kit_file_bytes(data_size=3 * 1024 * 1024), rate=300_000) as kit, \
                harness.PrivateDisplay() as display, harness.Prefix('win32', display=display.name) as prefix:
            pkg = sk.package(prefix, kit.base_url)
            shot = os.path.join(prefix.root, 'dialog.png')
            with harness.BackgroundRun(prefix, [pkg + '\\kitfetcher.exe'], ['box * => ok']) as running:
                harness.wait_until(lambda: harness.progress_states(running.ui.events()), timeout=60, step=0.2)
                time.sleep(1.5)
                states = harness.progress_states(running.ui.events())
                subprocess.run(['import', '-window', 'root', shot], env=prefix.env(), check=True)
                running.proc.wait(timeout=120)
            x, y, width, height = states[-1]['client']
            shutil.copy(shot, os.path.join(harness.BUILD_DIR, 'e2e-dialog-screenshot.png'))
            self.assertGreater(width * height, 0)
            # Most of the client area is pure black; the bar and the white texts take the rest.
            convert = '/usr/bin/convert' if os.path.exists('/usr/bin/convert') else 'convert'
            out = subprocess.run([convert, shot, '-crop', '%dx%d+%d+%d' % (width, height, x, y), '+repage',
                                  '-fill', 'white', '+opaque', 'black', '-format', '%[fx:1-mean]', 'info:'],
                                 stdout=subprocess.PIPE, check=True)
            self.assertGreater(float(out.stdout), 0.6, 'the dialog background is not black')


class UntrustedNamesTest(unittest.TestCase):
    def test_names_from_the_kit_description_never_reach_outside_the_setup_folder(self):
        with ServedKit(sk.kit_file_bytes()) as kit, harness.Prefix('win32') as prefix:
            before = set(sk.listing(prefix, 'C:\\'))
            # A maker's name that climbs out of the common files folder: nothing is created anywhere.
            locations = harness.locations_xml(base_url=kit.base_url, maker='..\\..\\..\\Escaped',
                                              product=sk.PRODUCT, files=sk.FILES)
            pkg = harness.make_package(prefix, 'C:\\Downloads\\QuillnetSetup', locations=locations)
            r = run_package(prefix, pkg)
            self.assertEqual(0, r.returncode)
            created = set(sk.listing(prefix, 'C:\\')) - before
            self.assertFalse([p for p in created if 'Escaped' in p or p.startswith('Program Files/Common')],
                             sorted(created))
            self.assertEqual([], installer_runs(prefix))

            # A relative path that climbs out of the setup folder: that entry is skipped, the rest lands.
            pkg = sk.package(prefix, kit.base_url, files=[('setup_kit.exe', '', True),
                                                          ('postinstall.exe', '..\\..\\..\\Escaped', True)])
            r = run_package(prefix, pkg)
            created = set(sk.listing(prefix, 'C:\\')) - before
            self.assertFalse([p for p in created if 'Escaped' in p], sorted(created))
            self.assertEqual(1, len(installer_runs(prefix)))


class OfflineTest(unittest.TestCase):
    def offline_package(self, prefix, base_url, skip_md5=(), **kw):
        pkg = sk.package(prefix, base_url, **kw)
        files = sk.kit_file_bytes()
        files['data/data1.cab'] = os.urandom(100_000)
        sk.write_tree(prefix.c_path(pkg), files, skip_md5=skip_md5)
        return pkg

    def test_offline_copy_with_sub_folders_and_a_missing_md5(self):
        with harness.Prefix('win32') as prefix:
            pkg = self.offline_package(prefix, CLOSED_PORT_URL, skip_md5=('data1.cab',),
                                       files=sk.FILES + [('data1.cab', 'data', False)])
            r = run_package(prefix, pkg, rules=['box * => yes'])
            self.assertEqual(['Do you want Quillnet to download newer files while installing?'], r.box_texts(),
                             (r.returncode, r.events, r.log))
            folder = sk.local_setup_folder()
            files = sk.listing(prefix, folder)
            self.assertIn('data/data1.cab', files)
            self.assertEqual(b'', harness.read_bytes(files['data/data1.cab.md5']))
            self.assertEqual(sk.MD5['postinstall.exe'].encode(),
                             harness.read_bytes(files['extras/postinstall.exe.md5']))
            self.assertNotIn('setup_kit.exe', files)
            self.assertIn('Installer.exe', files)
            self.assertEqual(1, len(installer_runs(prefix, folder)))
            self.assertIn('[KITFETCHER] Copying files from offline location', r.log)

    def test_newer_autorun_file_on_the_server_is_the_only_download(self):
        served = sk.kit_file_bytes(data_size=512 * 1024)
        with ServedKit(served, md5={'postinstall.exe': 'aaaa0000aaaa0000aaaa0000aaaa0000'}) as kit, \
                harness.Prefix('wow64') as prefix:
            pkg = self.offline_package(prefix, kit.base_url)
            r = run_package(prefix, pkg, rules=['box download newer files => yes', 'box * => ok'])
            # Size queries for both autorun files; a download only for the newer one.
            for path, downloads in (('/en/setup_kit.exe', 0), ('/en/extras/postinstall.exe', 1)):
                self.assertEqual((1, downloads), (kit.gets(path, 'HEAD'), kit.gets(path)), path)
            downloads = re.findall(r'\[KITFETCHER\] Downloading: (\S+)', r.log)
            self.assertEqual(1, len(downloads), downloads)
            self.assertTrue(downloads[0].endswith('/en/extras/postinstall.exe'))
            files = sk.listing(prefix, sk.local_setup_folder())
            self.assertEqual(b'aaaa0000aaaa0000aaaa0000aaaa0000',
                             harness.read_bytes(files['extras/postinstall.exe.md5']))
            self.assertEqual(b'', harness.read_bytes(files['setup_kit.exe.md5']))

    def test_prompt_off_and_default_answer_0_marks_items_local(self):
        with harness.Prefix('win32') as prefix:
            pkg = self.offline_package(prefix, CLOSED_PORT_URL, show_prompt='0', default_answer='0')
            r = run_package(prefix, pkg)
            self.assertEqual([], r.box_texts())
            descriptor = harness.read_text(os.path.join(prefix.c_path(sk.local_setup_folder()), 'install_x86.xml'))
            self.assertRegex(descriptor, r'<DownloadNewFiles>0</DownloadNewFiles>')
            self.assertEqual(1, descriptor.count('<DownloadNewFiles>'))
            self.assertRegex(descriptor, r'name="core" update="0" uselocal="1"')
            self.assertRegex(descriptor, r'name="help" update="0"/?>')
            self.assertNotIn('name="help" update="0" uselocal', descriptor)

    def test_cancel_during_offline_copy(self):
        with harness.Prefix('win32') as prefix:
            pkg = self.offline_package(prefix, CLOSED_PORT_URL, show_prompt='0', default_answer='0')
            # The first autorun file takes a while; the user quits meanwhile.
            r = run_package(prefix, pkg, rules=['progress close-after 1', 'box want to quit => yes', 'box * => ok'],
                            extra_env={'KIT_STANDIN_SLEEP_MS': '5000'})
            self.assertEqual([harness.QUIT_QUESTION], r.box_texts())
            self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))
            self.assertEqual([], installer_runs(prefix))

    def test_reinstall_check_with_a_registered_product_answered_no(self):
        with tempfile.TemporaryDirectory(prefix='msi-') as msi_dir:
            wxs = os.path.join(msi_dir, 'p.wxs')
            with open(os.path.join(msi_dir, 'readme.txt'), 'w') as f:
                f.write('readme\n')
            with open(wxs, 'w') as f:
                f.write(MSI_WXS % sk.PRODUCT_CODE)
            subprocess.run(['wixl', '-o', os.path.join(msi_dir, 'p.msi'), wxs], check=True, cwd=msi_dir)
            with harness.Prefix('win32') as prefix:
                shutil.copy(os.path.join(msi_dir, 'p.msi'), prefix.c_path('C:\\p.msi'))
                self.assertEqual(0, prefix.wine(['msiexec', '/i', 'C:\\p.msi', '/qn'], timeout=180).returncode)
                pkg = self.offline_package(prefix, CLOSED_PORT_URL, show_prompt='0', default_answer='0')
                r = run_package(prefix, pkg, rules=['box already installed => no', 'box * => ok'])
                self.assertEqual(['This program is already installed on your system. Are you sure you want to '
                                  'continue?'], r.box_texts())
                self.assertIn('[KITFETCHER] Product %s installstate: 5' % sk.PRODUCT_CODE, r.log)
                self.assertEqual([], installer_runs(prefix))


MSI_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="%s" Name="Quillnet Studio" Language="1033" Version="1.0.0" Manufacturer="Quillnet"
           UpgradeCode="{11111111-2222-3333-4444-555555555555}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="p.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="QuillnetStudio">
          <Component Id="Main" Guid="{66666666-7777-8888-9999-AAAAAAAAAAAA}">
            <File Id="readme" Source="readme.txt"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
"""


class AffiliateDescriptorTest(unittest.TestCase):
    def test_parent_markers_reach_the_descriptor(self):
        with ServedKit(sk.kit_file_bytes()) as kit, harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            os.makedirs(prefix.c_path('C:\\dl'))
            parent = 'C:\\dl\\Studio[ref77]_rn-4711.exe'
            shutil.copy(harness.helper_exe('start_exact'), prefix.c_path(parent))
            with open(prefix.c_path('C:\\dl\\cmd.txt'), 'w') as f:
                f.write('%s\\kitfetcher.exe /log:%s' % (pkg, sk.LOG))
            r = harness.run_program(prefix, parent, ['C:\\dl\\cmd.txt', '--wait'], target='kitfetcher.exe',
                                    log_windows_path=sk.LOG)
            self.assertEqual([], r.box_texts())
            descriptor = harness.read_text(os.path.join(prefix.c_path(sk.local_setup_folder()), 'install_x86.xml'))
            self.assertIn('<affiliate_source>ref77</affiliate_source>', descriptor)
            self.assertIn('<UseAffiliateSource>1</UseAffiliateSource>', descriptor)
            self.assertEqual(1, descriptor.count('<UseAffiliateSource>'))
            self.assertRegex(descriptor, r'<affiliate_buyLink>https://[^<]+\?item=12345&amp;affiliate=4711'
                                         r'</affiliate_buyLink>')
            self.assertIn('<UseAffiliateBuyLink>1</UseAffiliateBuyLink>', descriptor)


if __name__ == '__main__':
    unittest.main()
