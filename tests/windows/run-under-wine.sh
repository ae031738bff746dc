#!/bin/sh
# Runs a Windows test program under Wine, as CTest's cross-compiling emulator:
#   run-under-wine.sh PREFIX LOADER PROGRAM [ARGUMENTS...]
#   run-under-wine.sh PREFIX LOADER --start-services | --stop-services
# PREFIX is a scratch Wine prefix inside the build tree, created on first use; LOADER is the
# wine (or wine64) program that runs PROGRAM. The Japanese UTF-8 locale makes Wine's ANSI code
# page 932 (Shift_JIS), that of the library's users. Exits 77, which CTest counts as skipped,
# when this machine cannot run LOADER at all (a kernel without 32-bit support cannot run the
# 32-bit Wine).
set -u
prefix=$1
loader=$2
shift 2
case $prefix in
  /*) ;;
  *) prefix="$PWD/$prefix" ;;  # Wine wants an absolute prefix
esac

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
unset LANGUAGE DISPLAY WAYLAND_DISPLAY

if ! problem=$("$loader" --version 2>&1); then
  echo "SKIPPED: $loader cannot run on this machine, so $(basename "$1") was not run:"
  echo "  $problem"
  echo "  (A kernel without 32-bit program support cannot run the 32-bit Wine.)"
  exit 77
fi

wineserver="$(dirname "$loader")/wineserver"
[ -x "$wineserver" ] || wineserver=wineserver

# One test program at a time sets the prefix up; the others wait for it.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    echo "Creating the Wine prefix $prefix (once per build tree)..."
    "$loader" wineboot.exe --init >"$prefix.log" 2>&1
    "$wineserver" -w >>"$prefix.log" 2>&1 || true
  fi
) 9>"$prefix.lock"

# A Wine server that stays up between test programs saves a second or so on each, and Wine's
# services, started here with their output going nowhere, serve every test program after.
# Started by the first test program instead, they would keep CTest's output pipe open, and
# CTest would wait for them for ever.
case ${1:-} in
  --start-services)
    "$wineserver" -p 2>/dev/null || true
    "$loader" cmd.exe /c exit >/dev/null 2>&1 </dev/null
    exit 0 ;;
  --stop-services)
    "$wineserver" -k 2>/dev/null || true
    exit 0 ;;
esac

exec "$loader" "$@"
