#!/usr/bin/env bash
# Runs a Windows program in a test prefix: run_in_prefix.sh PREFIX PROGRAM [ARGS...]
set -u
prefix=$(realpath -m "$1"); shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
