"""A confirmed quit ends the run without another word: a prompt of the worker
that comes due while the quit question is open waits for its answer, and after
a Yes none is shown."""
import os
import time
import unittest

import harness
import samplekit as sk
from harness import QUIT_QUESTION, RETRY_DOWNLOAD, BackgroundRun, wait_until
from samplekit import LOG, ServedKit, installer_runs


class QuitTest(unittest.TestCase):
    def test_quit_answered_yes_while_a_download_fails_asks_nothing_more(self):
        # The first autorun file holds the worker until the quit question is open;
        # the second is missing on the server, so its download fails meanwhile.
        with ServedKit({'extras/postinstall.exe': harness.read_bytes(harness.helper_exe('record_start'))}) as kit, \
                harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url,
                             files=[('postinstall.exe', 'extras', True), ('missing.exe', '', True)])
            autorun_go = os.path.join(prefix.root, 'autorun-go')
            answer_go = os.path.join(prefix.root, 'answer-go')
            log_path = prefix.c_path(LOG)

            def log():
                return harness.read_text(log_path, encoding='latin-1') if os.path.exists(log_path) else ''

            with BackgroundRun(prefix, [pkg + '\\kitfetcher.exe', '/log:' + LOG],
                               ['progress close-after 1', 'box want to quit => yes after ' + harness.to_z(answer_go),
                                'box * => cancel'],
                               extra_env={'KIT_STANDIN_WAIT_FILE': harness.to_z(autorun_go)}) as run:
                self.assertTrue(wait_until(lambda: QUIT_QUESTION in run.box_texts()), 'no quit question')
                open(autorun_go, 'w').close()
                self.assertTrue(wait_until(lambda: 'waits for the answer to the quit question' in log()
                                           or RETRY_DOWNLOAD in run.box_texts()), log())
                open(answer_go, 'w').close()
                run.proc.wait(timeout=120)
            self.assertEqual([QUIT_QUESTION], run.box_texts())
            self.assertIn('[KITFETCHER] Cannot download file', log())
            folder = sk.local_setup_folder()
            self.assertEqual([], installer_runs(prefix, folder))
            self.assertFalse(os.path.exists(prefix.c_path(folder)))

    def test_quit_while_the_server_holds_its_headers_ends_the_run_within_seconds(self):
        # The size query's answer comes one byte a second (minutes for its
        # headers); the download's would too. The quit must not wait for them.
        with ServedKit(sk.kit_file_bytes(), rules={'/en/setup_kit.exe': {'drip_headers': 1.0}}) as kit, \
                harness.Prefix('win32') as prefix:
            pkg = sk.package(prefix, kit.base_url)
            answer_go = os.path.join(prefix.root, 'answer-go')
            with BackgroundRun(prefix, [pkg + '\\kitfetcher.exe', '/log:' + LOG],
                               ['progress close-after 2', 'box want to quit => yes after ' + harness.to_z(answer_go),
                                'box * => ok']) as run:
                self.assertTrue(wait_until(lambda: QUIT_QUESTION in run.box_texts()), 'no quit question')
                open(answer_go, 'w').close()
                quit_at = time.time()
                run.proc.wait(timeout=120)
                self.assertLess(time.time() - quit_at, 20, 'the run outlived the quit')
            log = harness.read_text(prefix.c_path(LOG), encoding='latin-1')
            self.assertIn('[KITFETCHER] Download canceled!', log)
            self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))


if __name__ == '__main__':
    unittest.main()
