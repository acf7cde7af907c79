#!/usr/bin/env python3
"""The notice a run of the suite prints at its start and at its end where the
host runs no 32-bit x86 code (or KIT_FORCE_64BIT=1 says to act so).

  suite_notice.py start SENTENCE TESTS
  suite_notice.py end SENTENCE LAST_TEST_LOG...

SENTENCE says what the host lacks (tools/host_probe.sh). At the end the script
reads ctest's log of each build folder that ran (Testing/Temporary/LastTest.log),
lists every skipped case with its reason and counts what ran: GoogleTest cases,
unittest tests, and any other ctest test as one.
"""
import re
import sys

PATH = ('the suite runs an x86-64 build of the programs (never shipped: the programs we ship stay 32-bit) '
        'in a 64-bit Wine prefix')

GTEST_RUN = re.compile(r'^\[ RUN      \] (\S+)')
GTEST_SKIPPED = re.compile(r'^\[  SKIPPED \] (\S+) \(')
UNITTEST_CASE = re.compile(r'^(test\w*) \((\S+)\) \.\.\. ?(.*)$')
UNITTEST_SUBCASE = re.compile(r'^  (test\w*) \((\S+)\) (\(.*\)) \.\.\. (.*)$')
UNITTEST_SKIP = re.compile(r'^skipped ([\'"])(.*)\1$')


def blocks(log_text):
    """(test name, passed, output lines) for each test in a ctest log."""
    heads = list(re.finditer(r'^\d+/\d+ Test: (\S+)$', log_text, re.M))
    for i, head in enumerate(heads):
        block = log_text[head.end():heads[i + 1].start() if i + 1 < len(heads) else len(log_text)]
        output = re.search(r'^Output:\n-+\n(.*?)^<end of output>$', block, re.S | re.M)
        lines = output.group(1).splitlines() if output else []
        # A test decided by its output passes with "Test Pass Reason:" instead.
        passed = re.search(r'^Test (Passed\.|Pass Reason:)$', block, re.M) is not None
        yield head.group(1), passed, lines


def gtest_cases(lines):
    ran, skipped, current, reason = 0, [], None, []
    for line in lines:
        run = GTEST_RUN.match(line)
        if run:
            ran, current, reason = ran + 1, run.group(1), []
            continue
        done = GTEST_SKIPPED.match(line)
        if done and done.group(1) == current:
            text = ' '.join(l.strip() for l in reason if l.strip() and not l.endswith(': Skipped'))
            skipped.append((current, text))
            current = None
        elif current:
            reason.append(line)
    return ran - len(skipped), skipped


def unittest_cases(lines):
    ran, skipped = 0, []
    for line in lines:
        sub = UNITTEST_SUBCASE.match(line)
        if sub:
            why = UNITTEST_SKIP.match(sub.group(4))
            if why:
                skipped.append(('%s %s' % (sub.group(2).split('.', 1)[-1], sub.group(3)), why.group(2)))
            continue
        case = UNITTEST_CASE.match(line)
        if case:
            why = UNITTEST_SKIP.match(case.group(3))
            if why:
                skipped.append((case.group(2).split('.', 1)[-1], why.group(2)))
            else:
                ran += 1
    return ran, skipped


def summarize(paths):
    tests = passed = ran = 0
    skipped = []
    for path in paths:
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
        for name, ok, lines in blocks(text):
            tests += 1
            passed += ok
            if any(GTEST_RUN.match(l) for l in lines):
                n, s = gtest_cases(lines)
            elif any(l.startswith('Ran ') for l in lines):
                n, s = unittest_cases(lines)
            else:
                n, s = 1, []
            ran += n
            skipped += [(name, case, why) for case, why in s]
    return tests, passed, ran, skipped


def main(argv):
    if len(argv) == 4 and argv[1] == 'start':
        print('NOTICE: %s: %s. %s tests to run; the cases that need 32-bit code are skipped, each with '
              'its reason, and counted at the end.' % (argv[2], PATH, argv[3]))
        return 0
    if len(argv) >= 3 and argv[1] == 'end':
        tests, passed, ran, skipped = summarize(argv[3:])
        if skipped:
            print('Skipped, each with its reason:')
            for name, case, why in skipped:
                print('  %s: %s: %s' % (name, case, why))
        need32 = sum(1 for _, _, why in skipped if why.startswith('needs 32-bit code'))
        print('NOTICE: %s: %s. %d tests: %d passed, %d failed; %d cases ran, %d were skipped (%d of them need '
              '32-bit code).' % (argv[2], PATH, tests, passed, tests - passed, ran, len(skipped), need32))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
