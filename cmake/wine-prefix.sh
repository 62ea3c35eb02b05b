#!/bin/sh
# Prepares or shuts down the Wine prefix named by WINEPREFIX, in which the
# tests of a Windows build run.
#   wine-prefix.sh start WINE WINESERVER
#   wine-prefix.sh stop WINE WINESERVER
set -eu
action=$1
wine=$2
wineserver=$3

case "${action}" in
  start)
    mkdir -p "${WINEPREFIX}"
    # The server of this prefix, and with it the prefix's services, stays
    # running while the test programs follow one another, so that each of
    # them starts in seconds; without a client it leaves by itself after two
    # minutes.
    "${wineserver}" -p120
    # Creates or updates the prefix and starts its services.
    "${wine}" wineboot --init
    ;;
  stop)
    "${wineserver}" -k || true
    "${wineserver}" -w || true
    ;;
  *)
    echo "usage: $0 start|stop WINE WINESERVER" >&2
    exit 2
    ;;
esac
