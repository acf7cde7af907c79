"""XML documents never reach out: a served install descriptor and a local
locations.xml that declare an external DTD and an external entity on the server
make no request for either, and the run goes on or ends as it does for an
unreadable document (a document that declares a document type is not read, nor
one in an encoding the check for it does not read)."""
import base64
import os
import re
import unittest

import harness
import samplekit as sk
from samplekit import ServedKit, installer_runs, run_package


def declaring_externals(document, root, server_url, entity_element):
    """The document with a DOCTYPE that names an external DTD and an external
    entity on the server, the entity used as the text of entity_element."""
    doctype = ('<!DOCTYPE {root} SYSTEM "{url}/outside/{root}.dtd" [\n'
               '  <!ENTITY remote SYSTEM "{url}/outside/{root}.txt">\n]>\n').format(root=root, url=server_url)
    declaration, rest = document.split('\n', 1)
    rest = rest.replace('<%s>' % entity_element, '<%s>&remote;' % entity_element, 1)
    return declaration + '\n' + doctype + rest


def in_utf7(document):
    """The document declared and written in UTF-7, its markup characters in base64
    ("<!" as "+ADwAIQ-"), the declaration itself in ASCII as a parser needs it."""
    declaration, rest = document.split('\n', 1)
    rest = rest.replace('+', '+-')
    encoded = re.sub(r'[<>!&\[\]]+', lambda m: '+' + base64.b64encode(m.group(0).encode('utf-16-be')).decode()
                     .rstrip('=') + '-', rest)
    return '<?xml version="1.0" encoding="UTF-7"?>\n' + encoded


# How each variant is written, and what the log says about it.
ENCODINGS = [('utf-8', lambda d: d, 'declares a document type; not read'),
             ('utf-7', in_utf7, 'is in an encoding the document type check does not read; not read')]


class ExternalDeclarationsTest(unittest.TestCase):
    def serve_outside(self, kit):
        """Real files behind the external URLs, so that a fetch would succeed."""
        outside = os.path.join(kit.root, 'outside')
        os.makedirs(outside)
        for root in ('install', 'locations'):
            with open(os.path.join(outside, root + '.dtd'), 'w') as f:
                f.write('<!ENTITY inner "from the DTD">\n')
            with open(os.path.join(outside, root + '.txt'), 'w') as f:
                f.write('from the server')
        return 'http://127.0.0.1:%d' % kit.server.port

    def outside_requests(self, kit):
        return [p for _, p in kit.server.requests if p.startswith('/outside/')]

    def test_served_descriptor_is_left_unread(self):
        for name, encode, logged in ENCODINGS:
            with self.subTest(encoding=name):
                with ServedKit({}) as kit, harness.Prefix('win32') as prefix:
                    url = self.serve_outside(kit)
                    descriptor = encode(declaring_externals(sk.DESCRIPTOR, 'install', url, 'product'))
                    sk.write_tree(os.path.join(kit.root, 'en'), sk.kit_file_bytes(descriptor=descriptor))
                    pkg = sk.package(prefix, kit.base_url)
                    r = run_package(prefix, pkg)
                    self.assertEqual([], self.outside_requests(kit))
                    # An unreadable descriptor is left as it is; the installer runs anyway.
                    self.assertEqual([], r.box_texts())
                    self.assertIn(logged, r.log)
                    self.assertIn('Cannot load xml', r.log)
                    placed = os.path.join(prefix.c_path(sk.local_setup_folder()), 'install_x86.xml')
                    self.assertEqual(descriptor, harness.read_text(placed))
                    self.assertEqual(1, len(installer_runs(prefix)))

    def test_local_locations_document_is_left_unread(self):
        for name, encode, logged in ENCODINGS:
            with self.subTest(encoding=name):
                with ServedKit(sk.kit_file_bytes()) as kit, harness.Prefix('win32') as prefix:
                    url = self.serve_outside(kit)
                    locations = encode(declaring_externals(
                        harness.locations_xml(base_url=kit.base_url, maker=sk.MAKER, product=sk.PRODUCT,
                                              files=sk.FILES),
                        'locations', url, 'defaultProductName'))
                    pkg = harness.make_package(prefix, 'C:\\Downloads\\QuillnetSetup', locations=locations)
                    r = run_package(prefix, pkg)
                    # Unread, it names no server to ask: nothing is fetched at all.
                    self.assertEqual([], kit.server.requests)
                    self.assertEqual([harness.NEEDS_CONNECTION], r.box_texts())
                    self.assertIn(logged, r.log)


if __name__ == '__main__':
    unittest.main()
