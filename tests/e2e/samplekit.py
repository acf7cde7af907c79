"""A sample kit for the demo and the end-to-end tests: a self-extracting setup
stand-in that unpacks Installer.exe, both install descriptors and the kit's
data, a second autorun file in a sub-folder, and their .md5 tokens; the server
that serves it, and the run of its package."""
import os
import shutil
import sys
import tempfile

import harness
import selfextract_packer

sys.path.insert(0, os.path.join(harness.SOURCE_DIR, 'tests', 'support'))
from kit_http_server import KitServer  # noqa: E402

PRODUCT_CODE = '{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6D}'
MAKER = 'Quillnet'
PRODUCT = 'Quillnet Studio'

DESCRIPTOR = """<?xml version="1.0" encoding="utf-8"?>
<install>
  <product>Quillnet Studio</product>
  <UseAffiliateSource>0</UseAffiliateSource>
  <DownloadNewFiles>1</DownloadNewFiles>
  <items>
    <item name="core" update="1" uselocal="0"/>
    <item name="help" update="1"/>
  </items>
</install>
"""

CONTACTS = """<?xml version="1.0" encoding="utf-8"?>
<contacttool><contacts><def_items><item>12345</item><item>777</item></def_items></contacts></contacttool>
"""

# (name, relative path, autorun) as locations.xml lists them.
FILES = [('setup_kit.exe', '', True), ('postinstall.exe', 'extras', True)]
MD5 = {'setup_kit.exe': 'd41d8cd98f00b204e9800998ecf8427e', 'postinstall.exe': '0cc175b9c0f1b6a831c399e269772661'}
LOG = 'C:\\Downloads\\kitfetcher-log.txt'
# A server address where nothing answers.
CLOSED_PORT_URL = 'http://127.0.0.1:9/%s'


def kit_file_bytes(data_size=256 * 1024, with_descriptors=True, descriptor=DESCRIPTOR):
    """The bytes of each kit file, keyed by 'relative/name'."""
    payload = [('Installer.exe', harness.read_bytes(harness.helper_exe('record_start'))),
               ('data\\kit.dat', os.urandom(data_size))]
    if with_descriptors:
        payload += [('install_x86.xml', descriptor.encode()), ('install_x64.xml', descriptor.encode())]
    stub = harness.helper_exe('selfextract_standin')
    tmp = stub + '.%d.tmp' % os.getpid()
    selfextract_packer.pack(stub, payload, tmp)
    setup = harness.read_bytes(tmp)
    os.unlink(tmp)
    return {'setup_kit.exe': setup, 'extras/postinstall.exe': harness.read_bytes(harness.helper_exe('record_start'))}


def rel_path(name):
    for n, rel, _ in FILES:
        if n == name:
            return (rel + '/' + n) if rel else n
    return name


def write_tree(root, files, md5=None, code=PRODUCT_CODE, skip_md5=()):
    """Writes a kit folder (server side or offline package): productcode.txt
    (unless code is None), the files, and a .md5 beside each (unless skipped)."""
    os.makedirs(root, exist_ok=True)
    if code is not None:
        with open(os.path.join(root, 'productcode.txt'), 'w') as f:
            f.write(code + '\n')
    md5 = dict(MD5, **(md5 or {}))
    for rel, data in files.items():
        target = os.path.join(root, *rel.split('/'))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, 'wb') as f:
            f.write(data)
        name = rel.split('/')[-1]
        if name not in skip_md5:
            with open(target + '.md5', 'w') as f:
                f.write(md5.get(name, 'ffffffffffffffffffffffffffffffff') + '\n')


def package(prefix, base_url, folder='C:\\Downloads\\QuillnetSetup', files=FILES, **locations_args):
    locations = harness.locations_xml(base_url=base_url, maker=MAKER, product=PRODUCT, files=files, **locations_args)
    return harness.make_package(prefix, folder, locations=locations, extra_files={'contacts.xml': CONTACTS})


def local_setup_folder(code=PRODUCT_CODE):
    return 'C:\\Program Files\\Common Files\\%s\\SetupInformation\\%s' % (MAKER, code)


class ServedKit:
    """Kit files in en/ of a server root of their own, served on 127.0.0.1 while
    `with ServedKit(files) as kit:` lasts; kit.base_url goes into the package.
    rules: the server's misbehaviours, by path."""

    def __init__(self, files, md5=None, code=PRODUCT_CODE, rate=None, rules=None):
        self.root = tempfile.mkdtemp(prefix='kitsrv-')
        write_tree(os.path.join(self.root, 'en'), files, md5=md5, code=code)
        self.server = KitServer(self.root, default_rate=rate)
        self.server.rules.update(rules or {})
        self.server.start()
        self.base_url = 'http://127.0.0.1:%d/%%s' % self.server.port

    def gets(self, path, method='GET'):
        return self.server.request_count(path, method)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def run_package(prefix, pkg, rules=('box * => ok',), extra_env=None):
    """Runs the package's kitfetcher under the UI helper, logging to LOG."""
    return harness.run_program(prefix, pkg + '\\kitfetcher.exe', ['/log:' + LOG], rules=rules, log_windows_path=LOG,
                               extra_env=extra_env, timeout=240)


def installer_runs(prefix, folder=None):
    """Each start of the kit's Installer.exe in a setup folder (the sample kit's unless named)."""
    return harness.read_started(os.path.join(prefix.c_path(folder or local_setup_folder()),
                                             'Installer.exe.started.txt'))


def copy_tree(root, files):
    """Writes the files ({relative path: bytes}) under a folder of the host."""
    for rel, data in files.items():
        target = os.path.join(root, *rel.split('/'))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, 'wb') as f:
            f.write(data)


def copy_into(prefix, windows_dir, files):
    copy_tree(prefix.c_path(windows_dir), files)


def listing(prefix, windows_dir):
    root = prefix.c_path(windows_dir)
    out = {}
    for dirpath, _, names in os.walk(root):
        for n in names:
            full = os.path.join(dirpath, n)
            out[os.path.relpath(full, root).replace(os.sep, '/')] = full
    return out

