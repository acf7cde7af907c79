#!/usr/bin/env bash
# Prepares the test prefixes once per build. The shipped 32-bit programs run in
# a 32-bit one (win32) and a 64-bit one (wow64, where they run under WOW64); the
# x86-64 build, made where the host runs no 32-bit code, runs in a pure 64-bit
# one (win64), started with wine64 since plain `wine` tries the 32-bit loader.
# Each carries
#  - the shcore shim of its programs' architecture, so that IsOS answers server
#    questions from the product type;
#  - X11 "Managed" = N, so hiding a window does not wait for a window manager;
#  - no crash dialog.
# Usage: make_prefixes.sh PREFIX_DIR BUILD_DIR [NAME...]   (names: win32 wow64 win64;
#        default win32 wow64)
set -euo pipefail
out=$(realpath -m "$1")
build=$(realpath -m "$2")
shift 2
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(win32 wow64)
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$out"

stamp_src=$(cat "$here/shcore_shim/shcore_shim.cpp" "$here/shcore_shim/make_def.py" "$0" | md5sum | cut -d' ' -f1)

# make_shim CPU: the shim for i686 or x86_64 programs, in $build/shcore_shim/CPU.
make_shim() {
  local cpu=$1 wine_shcore compiler
  local dir=$build/shcore_shim/$cpu
  case $cpu in
    i686) wine_shcore=/usr/lib/i386-linux-gnu/wine/i386-windows/shcore.dll
          compiler=i686-w64-mingw32-g++-win32 ;;
    x86_64) wine_shcore=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shcore.dll
            compiler=x86_64-w64-mingw32-g++-win32 ;;
  esac
  if [ -f "$dir/shcore.dll" ] && [ "$(cat "$dir/stamp" 2>/dev/null)" = "$stamp_src" ]; then
    return 0
  fi
  mkdir -p "$dir"
  python3 "$here/shcore_shim/make_def.py" "$wine_shcore" shcore_wine "$dir/shim.def.raw"
  # Forwarders to ordinal-only exports must be quoted for the linker.
  sed -E 's/=(shcore_wine\.#[0-9]+)/="\1"/' "$dir/shim.def.raw" > "$dir/shim.def"
  "$compiler" -O2 -shared -static -o "$dir/shcore.dll" \
    "$here/shcore_shim/shcore_shim.cpp" "$dir/shim.def" -Wl,--enable-stdcall-fixup
  # Wine's own copy, renamed, must load as a native file: blank its builtin marker.
  cp "$wine_shcore" "$dir/shcore_wine.dll"
  printf 'Kit test copy   ' | dd of="$dir/shcore_wine.dll" bs=1 seek=64 conv=notrunc status=none
  echo "$stamp_src" > "$dir/stamp"
}

make_one() {
  local name=$1 arch loader sysdir cpu
  case $name in
    win32) arch=win32 loader=wine sysdir=system32 cpu=i686 ;;
    wow64) arch=win64 loader=wine sysdir=syswow64 cpu=i686 ;;
    win64) arch=win64 loader=/usr/lib/wine/wine64 sysdir=system32 cpu=x86_64 ;;
    *) echo "unknown prefix $name" >&2; return 2 ;;
  esac
  local pfx=$out/$name
  if [ -f "$pfx/.kit-ready" ] && [ "$(cat "$pfx/.kit-ready")" = "$stamp_src" ]; then
    return 0
  fi
  rm -rf "$pfx"
  export WINEPREFIX=$pfx
  [ "$cpu" = x86_64 ] && export WINELOADER=$loader
  WINEARCH=$arch "$loader" wineboot -i >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\DllOverrides' /v shcore /d native,builtin /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  cp "$build/shcore_shim/$cpu/shcore.dll" "$build/shcore_shim/$cpu/shcore_wine.dll" "$pfx/drive_c/windows/$sysdir/"
  wineserver -w
  echo "$stamp_src" > "$pfx/.kit-ready"
}

for name in "${names[@]}"; do
  case $name in win64) make_shim x86_64 ;; *) make_shim i686 ;; esac
done
pids=()
for name in "${names[@]}"; do
  make_one "$name" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

echo "prefixes ready in $out"
