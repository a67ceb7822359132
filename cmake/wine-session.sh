#!/bin/sh
# Starts or stops the wineserver of one Wine prefix: the setup and cleanup fixture of the Windows tests.
# Usage: WINEPREFIX=<folder> wine-session.sh start|stop
#
# A running wineserver makes each test program start in about 0.1 s instead of about 2 s. `start` first
# ends a server left from earlier (test discovery at build time starts short-lived ones, and a second
# server cannot start beside one), then starts one that stays until `stop`, and creates the prefix when
# missing (wineboot), returning once it is ready. The redirections matter: ctest waits for every process
# that holds its output pipes, and the server outlives this script.
set -u
: "${WINEPREFIX:?wine-session.sh needs WINEPREFIX}"
export WINEPREFIX
server=/usr/lib/wine/wineserver64

# Kills the server and every Wine process of the prefix, and waits until they are gone.
stop_server() {
  "$server" -k 2>/dev/null
  "$server" -w
}

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX" || exit 1
    stop_server
    "$server" -p </dev/null >/dev/null 2>&1 || exit 1
    exec "$(dirname "$0")/wine-emulator.sh" wineboot </dev/null >/dev/null 2>&1 ;;
  stop)
    [ ! -d "$WINEPREFIX" ] || stop_server
    exit 0 ;;
  *)
    echo "usage: wine-session.sh start|stop" >&2
    exit 2 ;;
esac
