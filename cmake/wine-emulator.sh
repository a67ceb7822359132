#!/bin/sh
# Runs a Windows program under Wine: CMake's emulator for the cross build (tests, test discovery).
# Usage: [WINEPREFIX=<folder>] wine-emulator.sh program.exe [arguments...]
#
# - winedbg is disabled: with it enabled, a program that crashes after creating any thread exits with 0
#   and the crash passes as a success. Without it an access violation exits with 5, an uncaught
#   exception or abort() with 3, and Wine prints "wine: Unhandled ...", which the tests also watch for.
# - LC_ALL=C makes Wine's user locale en-US (0x409), so that dates and numbers do not follow the host.
# - The services that a test program never needs (Mono, Gecko, menu entries) are not started.
# - The program's standard error goes to a file, copied to ours once Wine returns: the desktop process
#   that a single-threaded COM apartment starts inherits standard error and lives on as long as other
#   Wine programs run, and ctest waits for every process that holds its output pipe.
: "${WINEPREFIX:=${TMPDIR:-/tmp}/wineprefix-$(id -u)}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}" LC_ALL=C
export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d;mscoree=d;mshtml=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
errors=$(mktemp) || exit 1
/usr/lib/wine/wine64 "$@" 2>"$errors"
status=$?
cat "$errors" >&2
rm -f "$errors"
exit $status
