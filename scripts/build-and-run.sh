#!/usr/bin/env bash
# Builds orvane-driver-setup.exe for 64-bit Windows and runs it once under Wine, in a throwaway
# prefix with a private PulseAudio server, then prints what an installer would see: the
# program's standard error and its full 32-bit exit status.
#
#   CUBEB_MINGW_PREFIX  a static MinGW-w64 libcubeb install (default /opt/cubeb-mingw)
#   DRIVER_PACKAGE      the VB-CABLE driver package folder to put beside the program
#                       (default: none, so the package check reports the first missing file)
#
# Without a MinGW libcubeb the shipped program cannot be linked; the script says so and runs the
# end-to-end test build instead: the same code with a small test package and a test INF, which
# Wine installs for real.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-packages.sh

CUBEB_MINGW_PREFIX=${CUBEB_MINGW_PREFIX:-/opt/cubeb-mingw}
BUILD=build/windows
RUN=$BUILD/run
configure=(--preset windows)
if [ -f "$CUBEB_MINGW_PREFIX/lib/cmake/cubeb/cubebConfig.cmake" ]; then
  configure+=("-Dcubeb_DIR=$CUBEB_MINGW_PREFIX/lib/cmake/cubeb")
  program=$BUILD/windows/orvane-driver-setup.exe
  target=orvane_driver_setup
  package=${DRIVER_PACKAGE:-}
else
  echo "No MinGW libcubeb at $CUBEB_MINGW_PREFIX (set CUBEB_MINGW_PREFIX): orvane-driver-setup.exe"
  echo "cannot be linked. Running the end-to-end test build with the test package instead."
  program=$BUILD/tests/windows/orvane-driver-setup-test.exe
  target=orvane_driver_setup_test
  package=tests/data/test-package
  configure+=("-Dcubeb_DIR=cubeb_DIR-NOTFOUND")  # forget one found by an earlier configure
fi

cmake "${configure[@]}" >/dev/null
cmake --build "$BUILD" --target "$target" orvane_test_child

rm -rf "$RUN/app"
mkdir -p "$RUN/app/drivers/vbcable"
cp "$program" "$RUN/app/"
[ -n "$package" ] && cp -r "$package"/. "$RUN/app/drivers/vbcable/"

export WINEPREFIX=$PWD/$RUN/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pulse=$PWD/$RUN/pulse
cleanup() {
  tests/windows/wine-prefix.sh stop "$WINEPREFIX" || true
  tests/windows/wine-pulse.sh stop "$pulse" >/dev/null 2>&1 || true
}
trap cleanup EXIT
echo "Starting a throwaway Wine prefix and a PulseAudio server with a stereo sink and source..."
tests/windows/wine-prefix.sh fresh "$WINEPREFIX"
if tests/windows/wine-pulse.sh start "$pulse"; then
  export PULSE_SERVER=unix:$pulse/run/native PULSE_RUNTIME_PATH=$pulse/run PULSE_COOKIE=$pulse/cookie
fi

echo "Running $(basename "$program") (its standard error follows):"
wine "$BUILD/tests/windows/orvane_test_child.exe" report "Z:$(realpath "$RUN/app/$(basename "$program")" | tr / '\\')" </dev/null
