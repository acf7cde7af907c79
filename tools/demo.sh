#!/usr/bin/env bash
# The main job: builds both programs, lays out a sample online package and a
# sample server, serves the kit on 127.0.0.1 at a throttled rate and runs
# kitfetcher under Wine, then shows what landed where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
tests/bench/make_prefixes.sh build/prefixes build >/dev/null
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" python3 tools/demo.py "$@"
fi
exec python3 tools/demo.py "$@"
