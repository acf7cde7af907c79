#!/usr/bin/env bash
# Prepares the test prefixes once per build: a 32-bit one (win32) and a 64-bit
# one (wow64, where our 32-bit programs run under WOW64). Both carry
#  - the shcore shim, so that IsOS answers server questions from the product type;
#  - X11 "Managed" = N, so hiding a window does not wait for a window manager;
#  - no crash dialog.
# Usage: make_prefixes.sh PREFIX_DIR BUILD_DIR
set -euo pipefail
out=$(realpath -m "$1")
build=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$out" "$build/shcore_shim"

wine_shcore=/usr/lib/i386-linux-gnu/wine/i386-windows/shcore.dll
shim_dir=$build/shcore_shim
stamp_src=$(cat "$here/shcore_shim/shcore_shim.cpp" "$here/shcore_shim/make_def.py" "$0" | md5sum | cut -d' ' -f1)

if [ ! -f "$shim_dir/shcore.dll" ] || [ "$(cat "$shim_dir/stamp" 2>/dev/null)" != "$stamp_src" ]; then
  python3 "$here/shcore_shim/make_def.py" "$wine_shcore" shcore_wine "$shim_dir/shim.def.raw"
  # Forwarders to ordinal-only exports must be quoted for the linker.
  sed -E 's/=(shcore_wine\.#[0-9]+)/="\1"/' "$shim_dir/shim.def.raw" > "$shim_dir/shim.def"
  i686-w64-mingw32-g++-posix -O2 -shared -static -o "$shim_dir/shcore.dll" \
    "$here/shcore_shim/shcore_shim.cpp" "$shim_dir/shim.def" -Wl,--enable-stdcall-fixup
  # Wine's own copy, renamed, must load as a native file: blank its builtin marker.
  cp "$wine_shcore" "$shim_dir/shcore_wine.dll"
  printf 'Kit test copy   ' | dd of="$shim_dir/shcore_wine.dll" bs=1 seek=64 conv=notrunc status=none
fi

make_one() {
  local name=$1 arch=$2 sysdir=$3
  local pfx=$out/$name
  if [ -f "$pfx/.kit-ready" ] && [ "$(cat "$pfx/.kit-ready")" = "$stamp_src" ]; then
    return 0
  fi
  rm -rf "$pfx"
  WINEARCH=$arch WINEPREFIX=$pfx wineboot -i >/dev/null 2>&1
  WINEPREFIX=$pfx wine reg add 'HKCU\Software\Wine\DllOverrides' /v shcore /d native,builtin /f >/dev/null 2>&1
  WINEPREFIX=$pfx wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX=$pfx wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  cp "$shim_dir/shcore.dll" "$shim_dir/shcore_wine.dll" "$pfx/drive_c/windows/$sysdir/"
  WINEPREFIX=$pfx wineserver -w
  echo "$stamp_src" > "$pfx/.kit-ready"
}

make_one win32 win32 system32 &
p1=$!
make_one wow64 win64 syswow64 &
p2=$!
wait $p1
wait $p2

echo "prefixes ready in $out"
