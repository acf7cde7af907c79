#!/usr/bin/env bash
# Configures, builds and tests kitpack natively with the host compiler:
#   kitpack/build_and_test.sh BUILD_DIR
# The main project cross-compiles for Windows and cannot hold a native target,
# so its ctest entry kitpack.native calls this.
set -euo pipefail
src=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "$1")
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure
