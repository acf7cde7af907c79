#!/usr/bin/env bash
# The main job: builds both programs and kitpack, has kitpack lay out and sign a
# sample kit (server folder and package, the vendor's key pinned in the
# package), serves the kit on 127.0.0.1 at a throttled rate and runs kitfetcher
# under Wine, then shows what landed where and what was checked.
# On a host that runs no 32-bit x86 code (tools/host_probe.sh; KIT_FORCE_64BIT=1
# acts so anywhere) the demo runs an x86-64 build in a 64-bit prefix and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
source tools/host_probe.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
build=build
if [ "$KIT_HOST_BITS" = 64 ]; then
  echo "NOTICE: $KIT_HOST_LACKS: the demo runs an x86-64 build of kitfetcher (never shipped: the programs" \
       "we ship stay 32-bit) in a 64-bit Wine prefix, where it sees what the 32-bit one sees on 32-bit Windows."
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 >/dev/null
  build=build-x64
  tests/bench/make_prefixes.sh $build/prefixes $build win64 >/dev/null
else
  tests/bench/make_prefixes.sh $build/prefixes $build >/dev/null
fi
# kitpack, the vendor's tool, lays out and signs the demo kit.
cmake -S kitpack -B $build/kitpack -DCMAKE_BUILD_TYPE=Release -DKITPACK_BUILD_TESTS=OFF >/dev/null
cmake --build $build/kitpack -j2 >/dev/null
export KIT_BUILD_DIR=$PWD/$build
export KIT_KITPACK=$PWD/$build/kitpack/kitpack
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" python3 tools/demo.py "$@"
fi
exec python3 tools/demo.py "$@"
