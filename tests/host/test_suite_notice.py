"""The end-of-run notice reads ctest's log: what ran, what was skipped and why."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', '..', 'tools'))
import suite_notice  # noqa: E402

LOG = """1/3 Test: unit.win64.probe_test
Output:
----------------------------------------------------------
[ RUN      ] Probe.Works
[       OK ] Probe.Works (0 ms)
[ RUN      ] Probe.Wow64
probe_test.cpp:9: Skipped
needs 32-bit code: no WOW64 here

[  SKIPPED ] Probe.Wow64 (0 ms)
[ RUN      ] Probe.Breaks
[  FAILED  ] Probe.Breaks (1 ms)
<end of output>
Test Failed.
2/3 Test: e2e.test_x
Output:
----------------------------------------------------------
test_a (test_x.T.test_a) ... ok
test_b (test_x.T.test_b) ... 
  test_b (test_x.T.test_b) (arch='wow64') ... skipped 'needs 32-bit code: WOW64'
test_c (test_x.T.test_c) ... skipped "the child's own case"
Ran 3 tests in 8.141s
<end of output>
Test Passed.
3/3 Test: prefixes.prepare
Output:
----------------------------------------------------------
prefixes ready
<end of output>
Test Pass Reason:
Required regular expression found. Regex=[ready]
"""


class SuiteNoticeTest(unittest.TestCase):
    def test_counts_tests_cases_and_every_skip_with_its_reason(self):
        with tempfile.NamedTemporaryFile('w', suffix='.log', delete=False) as f:
            f.write(LOG)
        try:
            tests, passed, ran, skipped = suite_notice.summarize([f.name])
        finally:
            os.unlink(f.name)
        self.assertEqual((3, 2), (tests, passed))
        self.assertEqual(2 + 2 + 1, ran)  # two GoogleTest cases, two unittest tests, one other test
        self.assertEqual([('unit.win64.probe_test', 'Probe.Wow64', 'needs 32-bit code: no WOW64 here'),
                          ('e2e.test_x', "T.test_b (arch='wow64')", 'needs 32-bit code: WOW64'),
                          ('e2e.test_x', 'T.test_c', "the child's own case")], skipped)


if __name__ == '__main__':
    unittest.main()
