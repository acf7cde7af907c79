#!/usr/bin/env bash
# Stops the wineservers make_prefixes.sh left running for the test run.
# Usage: release_prefixes.sh PREFIX_DIR
out=$(realpath -m "$1")
for name in win32 wow64; do
  [ -d "$out/unit-$name" ] || continue
  WINEPREFIX=$out/unit-$name wineserver -k >/dev/null 2>&1
  WINEPREFIX=$out/unit-$name wineserver -w >/dev/null 2>&1
done
exit 0
