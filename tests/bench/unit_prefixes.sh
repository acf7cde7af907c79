#!/usr/bin/env bash
# Unit tests run side by side in copies of the prepared prefixes made for each
# run (unit-win32, unit-wow64): end-to-end tests copy the prepared prefixes
# meanwhile, and a prefix a test is writing to cannot be copied.
# A wineserver that quits when its last client leaves races with a client
# starting at that moment ("recvmsg: Connection reset by peer"), so each copy
# keeps one server up for the run. The server's own helper processes (services,
# the desktop window on this run's display) start here too: started by a test,
# they would live on with that test's output pipe and ctest would wait for it.
# A server left behind by a run that never stopped it quits on its own after
# ten idle minutes.
# Usage: unit_prefixes.sh start|stop PREFIX_DIR [NAME...]   (default: win32 wow64)
set -uo pipefail
action=${1:-}
out=$(realpath -m "${2:-.}")
names=("${@:3}")
[ ${#names[@]} -gt 0 ] || names=(win32 wow64)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

stop() {
  local name
  for name in "${names[@]}"; do
    [ -d "$out/unit-$name" ] || continue
    WINEPREFIX=$out/unit-$name wineserver -k >/dev/null 2>&1
    WINEPREFIX=$out/unit-$name wineserver -w >/dev/null 2>&1
  done
  return 0
}

start() {
  local name unit
  stop
  for name in "${names[@]}"; do
    unit=$out/unit-$name
    rm -rf "$unit"
    cp -a "$out/$name" "$unit" || return 1
    WINEPREFIX=$unit wineserver -p600 </dev/null >/dev/null 2>&1 || return 1
    # A pure 64-bit prefix is started with wine64: plain `wine` tries the 32-bit loader first.
    if [ "$name" = win64 ]; then
      WINEPREFIX=$unit WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
    else
      WINEPREFIX=$unit wine cmd /c exit </dev/null >/dev/null 2>&1
    fi
  done
  echo "unit test prefixes ready in $out"
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop PREFIX_DIR" >&2; exit 2 ;;
esac
