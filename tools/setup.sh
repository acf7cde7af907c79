#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Idempotent and quiet
# when everything is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo

# The x86-64 toolchain builds the programs for hosts that run no 32-bit code;
# set-up installs it on every host, so that path can be forced anywhere.
pkgs=(cmake make g++-mingw-w64-i686-win32 mingw-w64-i686-dev mingw-w64-tools
      g++-mingw-w64-x86-64-win32 mingw-w64-x86-64-dev
      wine wine32:i386 wine64 xvfb xauth googletest python3 curl msitools wixl imagemagick)
# kitpack, the vendor's tool, is built natively with the host compiler; its tests
# read its keys and signatures back with OpenSSL's command-line tool.
pkgs+=(g++ libpugixml-dev libssl-dev openssl)
# kitpack's tests read the resource libraries it writes with binutils' objdump and icoutils' wrestool.
pkgs+=(binutils-mingw-w64-i686 icoutils)

missing=()
for p in "${pkgs[@]}"; do
  name=${p%%:*}; arch=${p#*:}; [ "$arch" = "$p" ] && arch=""
  q=$name; [ -n "$arch" ] && q="$name:$arch"
  if ! dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
