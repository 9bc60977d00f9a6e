#!/usr/bin/env bash
# Test fixtures for the Wine prefixes: `fresh <prefix>` makes a new throwaway prefix and keeps
# its server up for the test run; `stop <prefix>` ends the server.
set -u
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
  fresh)
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Detached from every pipe, or ctest waits for the services Wine starts.
    (wineserver -p </dev/null >/dev/null 2>&1 &)
    wine wineboot </dev/null >/dev/null 2>&1
    [ -d "$WINEPREFIX/drive_c/windows/system32" ] || { echo "wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
    ;;
  stop)
    wineserver -k >/dev/null 2>&1
    exit 0
    ;;
  *)
    echo "usage: $0 fresh|stop <prefix>" >&2
    exit 2
    ;;
esac
