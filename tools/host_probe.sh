# Sourced by tools/run_tests.sh and tools/demo.sh: decides once per run whether
# this host executes 32-bit x86 code, by starting Wine's own i386 loader (a
# kernel without IA-32 emulation refuses it with "Exec format error"). Sets
#   KIT_HOST_BITS   32: the shipped 32-bit programs are tested as they are;
#                   64: an x86-64 build of them is tested in a 64-bit prefix
#   KIT_HOST_LACKS  on the 64-bit path, what the host lacks, as a sentence
# KIT_FORCE_64BIT=1 takes the 64-bit path on any host, so that path is tried
# where 32-bit code runs too.
kit_probe_host() {
  local answer
  KIT_HOST_BITS=32
  KIT_HOST_LACKS=
  if [ "${KIT_FORCE_64BIT:-}" = 1 ]; then
    KIT_HOST_BITS=64
    KIT_HOST_LACKS="KIT_FORCE_64BIT=1: this run treats the host as one that runs no 32-bit x86 code"
  elif ! answer=$(/usr/lib/wine/wine --version 2>&1); then
    KIT_HOST_BITS=64
    answer=$(printf '%s' "$answer" | tail -n 1)
    KIT_HOST_LACKS="This host runs no 32-bit x86 code (Wine's 32-bit loader: ${answer##*: })"
  fi
}
kit_probe_host
