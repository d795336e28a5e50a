#!/bin/sh
# Runs a Windows program under Wine as the tests need it: in the Wine prefix
# given first (made on first use), quiet (RIRURIDE_WINEDEBUG may name debug
# channels instead), without a display, so that a message box returns at once
# instead of waiting for a click.
#   run_in_wine.sh PREFIX PROGRAM.exe [ARGUMENT...]
set -eu
prefix=$1
shift
WINEPREFIX=$prefix
WINEDEBUG=${RIRURIDE_WINEDEBUG:--all}
# No Gecko or Mono installer when the prefix is made.
WINEDLLOVERRIDES="mscoree,mshtml="
# File names are UTF-8 on Linux whatever the caller's locale.
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot --init >/dev/null 2>&1
  wineserver --wait
fi
exec wine "$@"
