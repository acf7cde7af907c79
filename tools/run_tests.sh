#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit tests and end-to-end
# tests, under Wine in private prefixes, on a virtual display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
cd build
# Wine prefixes are prepared by the first test (a fixture); the rest run in parallel.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "${KIT_TEST_JOBS:-3}" "$@"
