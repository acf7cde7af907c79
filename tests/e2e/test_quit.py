"""A confirmed quit ends the run without another word: a prompt of the worker
that comes due while the quit question is open waits for its answer, and after
a Yes none is shown."""
import os
import time
import unittest

import harness
import samplekit as sk
from test_download import LOG, ServedKit, installer_runs
QUIT = 'Are you sure you want to quit?'
RETRY = 'There was an error download one of the instalation file. Do you want to retry?'


def wait_for(condition, timeout=120):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return False


class QuitTest(unittest.TestCase):
    def test_quit_answered_yes_while_a_download_fails_asks_nothing_more(self):
        # The first autorun file holds the worker until the quit question is open;
        # the second is missing on the server, so its download fails meanwhile.
        kit = ServedKit({'extras/postinstall.exe': harness.read_bytes(harness.helper_exe('record_start'))})
        try:
            with harness.Prefix('win32') as prefix:
                pkg = sk.package(prefix, kit.base_url,
                                 files=[('postinstall.exe', 'extras', True), ('missing.exe', '', True)])
                autorun_go = os.path.join(prefix.root, 'autorun-go')
                answer_go = os.path.join(prefix.root, 'answer-go')
                ui = harness.UiRun(prefix, ['progress close-after 1', 'box want to quit => yes after ' + harness.to_z(answer_go),
                                       'box * => cancel'])
                proc = prefix.wine_background([pkg + '\\kitfetcher.exe', '/log:' + LOG],
                                              extra_env={'KIT_STANDIN_WAIT_FILE': harness.to_z(autorun_go)})
                log_path = prefix.c_path(LOG)

                def log():
                    return harness.read_text(log_path, encoding='latin-1') if os.path.exists(log_path) else ''

                def texts():
                    return [b['text'] for b in harness.boxes(ui.events())]

                try:
                    self.assertTrue(wait_for(lambda: QUIT in texts()), 'no quit question')
                    open(autorun_go, 'w').close()
                    self.assertTrue(wait_for(lambda: 'waits for the answer to the quit question' in log()
                                             or RETRY in texts()), log())
                    open(answer_go, 'w').close()
                    proc.wait(timeout=120)
                finally:
                    if proc.poll() is None:
                        proc.kill()
                    events = ui.finish()
                self.assertEqual([QUIT], [b['text'] for b in harness.boxes(events)])
                self.assertIn('[KITFETCHER] Cannot download file', log())
                folder = sk.local_setup_folder()
                self.assertEqual([], installer_runs(prefix, folder))
                self.assertFalse(os.path.exists(prefix.c_path(folder)))
        finally:
            kit.close()

    def test_quit_while_the_server_holds_its_headers_ends_the_run_within_seconds(self):
        # The size query's answer comes one byte a second (minutes for its
        # headers); the download's would too. The quit must not wait for them.
        kit = ServedKit(sk.kit_file_bytes())
        kit.server.rules['/en/setup_kit.exe'] = {'drip_headers': 1.0}
        try:
            with harness.Prefix('win32') as prefix:
                pkg = sk.package(prefix, kit.base_url)
                answer_go = os.path.join(prefix.root, 'answer-go')
                ui = harness.UiRun(prefix, ['progress close-after 2', 'box want to quit => yes after ' + harness.to_z(answer_go),
                                       'box * => ok'])
                proc = prefix.wine_background([pkg + '\\kitfetcher.exe', '/log:' + LOG])
                try:
                    self.assertTrue(wait_for(lambda: QUIT in [b['text'] for b in harness.boxes(ui.events())]),
                                    'no quit question')
                    open(answer_go, 'w').close()
                    quit_at = time.time()
                    proc.wait(timeout=120)
                    self.assertLess(time.time() - quit_at, 20, 'the run outlived the quit')
                finally:
                    if proc.poll() is None:
                        proc.kill()
                    ui.finish()
                log = harness.read_text(prefix.c_path(LOG), encoding='latin-1')
                self.assertIn('[KITFETCHER] Download canceled!', log)
                self.assertFalse(os.path.exists(prefix.c_path(sk.local_setup_folder())))
        finally:
            kit.close()


if __name__ == '__main__':
    unittest.main()
