#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit tests and end-to-end
# tests, under Wine in private prefixes, on a virtual display).
# On a host that runs no 32-bit x86 code (tools/host_probe.sh; KIT_FORCE_64BIT=1
# acts so anywhere) the shipped 32-bit programs are still built and the tests
# that only read them run, while the Wine tests run against an x86-64 build in
# a 64-bit prefix; a notice at the start and at the end says so, with counts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
source tools/host_probe.sh
jobs=${KIT_TEST_JOBS:-$(nproc)}
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

if [ "$KIT_HOST_BITS" = 32 ]; then
  cmake --preset win32 -DKIT_WINE_TESTS=ON >/dev/null
  cmake --build --preset win32
  cd build
  # Wine prefixes are prepared by the first test (a fixture); the rest run in parallel.
  exec "${xvfb[@]}" ctest --output-on-failure -j "$jobs" "$@"
fi

# The tests are known once both builds are configured, so the notice comes
# before the long builds rather than after them.
cmake --preset win32 -DKIT_WINE_TESTS=OFF >/dev/null
cmake --preset win64 >/dev/null
count() { ctest --test-dir "$1" -N "${@:2}" | sed -n 's/^Total Tests: //p'; }
host_tests=$(count build "$@")
wine_tests=$(count build-x64 "$@")
python3 tools/suite_notice.py start "$KIT_HOST_LACKS" $((host_tests + wine_tests))
cmake --build --preset win32
cmake --build --preset win64

status=0
logs=()
rm -f build/Testing/Temporary/LastTest.log build-x64/Testing/Temporary/LastTest.log
if [ "$host_tests" -gt 0 ]; then
  (cd build && ctest --output-on-failure -j "$jobs" "$@") || status=1
fi
if [ "$wine_tests" -gt 0 ]; then
  (cd build-x64 && "${xvfb[@]}" ctest --output-on-failure -j "$jobs" "$@") || status=1
fi
for log in build/Testing/Temporary/LastTest.log build-x64/Testing/Temporary/LastTest.log; do
  [ -f "$log" ] && logs+=("$log")
done
python3 tools/suite_notice.py end "$KIT_HOST_LACKS" "${logs[@]}"
exit $status
