#!/usr/bin/env bash
# Builds everything and runs every test: host unit, scenario and audio tests, the real libcubeb
# against a private PulseAudio server, sanitizer builds, and the Windows build under Wine.
# The test fixtures start and stop the PulseAudio server and the Wine prefixes themselves.
#
# Optional: CUBEB_MINGW_PREFIX=<prefix of a MinGW libcubeb build> adds the real Windows program.
set -uo pipefail
cd "$(dirname "$0")/.."

./scripts/install-packages.sh || exit 1

JOBS=${JOBS:-$(nproc)}
CUBEB_MINGW_PREFIX=${CUBEB_MINGW_PREFIX:-/opt/cubeb-mingw}
total_passed=0
total_failed=0
SUMMARY=()

stop_servers() {
  # Whatever a fixture could not stop after an interrupted run.
  for prefix in build/*/wine*; do
    [ -d "$prefix/dosdevices" ] && WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null
  done
  for pulse in build/*/pulse*; do
    [ -f "$pulse/run/pid" ] && HOME="$PWD/$pulse/home" PULSE_RUNTIME_PATH="$PWD/$pulse/run" pulseaudio --kill 2>/dev/null
  done
  return 0
}
trap stop_servers EXIT

# stage <name> <preset> <ctest args...>
stage() {
  local name=$1 preset=$2
  shift 2
  local extra=()
  if [ "$preset" = windows ] && [ -f "$CUBEB_MINGW_PREFIX/lib/cmake/cubeb/cubebConfig.cmake" ]; then
    extra+=("-Dcubeb_DIR=$CUBEB_MINGW_PREFIX/lib/cmake/cubeb")
  elif [ "$preset" = windows ]; then
    extra+=("-Dcubeb_DIR=cubeb_DIR-NOTFOUND")
  fi
  [ "$preset" = fuzz ] && extra+=("-DORVANE_FUZZ_SECONDS=${FUZZ_SECONDS:-60}")
  local build_log="build/logs/$preset.log"
  mkdir -p build/logs
  echo "=== $name: configure and build (log: $build_log)"
  if ! cmake --preset "$preset" "${extra[@]}" >"$build_log" 2>&1 ||
     ! cmake --build --preset "$preset" -j "$JOBS" >>"$build_log" 2>&1; then
    tail -n 60 "$build_log"
    SUMMARY+=("$name: BUILD FAILED")
    total_failed=$((total_failed + 1))
    return
  fi
  echo "=== $name: test"
  local log
  log=$(mktemp)
  ctest --preset "$preset" -j "$JOBS" "$@" 2>&1 | tee "$log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    SUMMARY+=("$name: no test summary")
    total_failed=$((total_failed + 1))
  else
    local failed total
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    total_passed=$((total_passed + total - failed))
    total_failed=$((total_failed + failed))
    SUMMARY+=("$name: $line")
  fi
  rm -f "$log"
}

stage "host" host
stage "host ASan+UBSan" host-asan -LE pulse
stage "host TSan (audio controller)" host-tsan -L audio
stage "fuzz targets" fuzz
stage "windows under Wine" windows

echo
printf '%s\n' "${SUMMARY[@]}"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
