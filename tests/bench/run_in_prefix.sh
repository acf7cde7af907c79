#!/usr/bin/env bash
# Runs a Windows program in a test prefix: run_in_prefix.sh PREFIX PROGRAM [ARGS...]
# KIT_WINE_LOADER names the loader (default wine; the x86-64 build's tests set
# /usr/lib/wine/wine64, since plain `wine` tries the 32-bit loader first).
set -u
prefix=$(realpath -m "$1"); shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
loader=${KIT_WINE_LOADER:-wine}
[ "$loader" = wine ] || export WINELOADER=$loader
exec "$loader" "$@"
