"""Version tokens are the server's current ones: a productcode.txt that the
server lets caches keep for a day is still asked for again on the next run."""
import os
import unittest

import harness
import samplekit as sk
from samplekit import LOG, ServedKit, run_package

NEWER_CODE = '{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6E}'


class VersionTokenTest(unittest.TestCase):
    def test_a_changed_product_code_is_seen_despite_a_fresh_cache_entry(self):
        with ServedKit(sk.kit_file_bytes(), rules={'/en/productcode.txt': {'max_age': 86400}}) as kit, \
                harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            first = run_package(prefix, pkg)
            self.assertIn('[KITFETCHER] Remote product code is %s' % sk.PRODUCT_CODE, first.log)
            with open(os.path.join(kit.root, 'en', 'productcode.txt'), 'w') as f:
                f.write(NEWER_CODE + '\n')
            os.unlink(prefix.c_path(LOG))  # the log is appended to across runs
            second = run_package(prefix, pkg)
            self.assertIn('[KITFETCHER] Remote product code is %s' % NEWER_CODE, second.log)
            self.assertTrue(os.path.isdir(prefix.c_path(sk.local_setup_folder(NEWER_CODE))))
            # Asked again, and answered in full: the file changed.
            self.assertEqual(2, kit.gets('/en/productcode.txt'))


if __name__ == '__main__':
    unittest.main()
