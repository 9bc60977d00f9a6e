#!/usr/bin/env bash
# Builds the benchmarks, runs the whole suite and prints one table in which every figure stands
# next to its baseline, measured in the same run (README.md, "Performance"):
#   1. the package check on real files against read(2) + libcrypto's SHA256(), its peak heap;
#   2. SHA-256 alone: libcrypto on the host, Windows CNG under Wine;
#   3. detection over the simulated Windows, per devnode and per endpoint;
#   4. the audio controller against a private PulseAudio server, against libcubeb alone;
#   5. whole runs of the test build under Wine against a trivial Windows program.
# It starts and stops its own PulseAudio servers and Wine prefix, under the build folders.
#
#   BENCH_BUILD          build folder prefix (default build/bench: build/bench-host, build/bench-windows)
#   REPETITIONS          repetitions of each host benchmark (default 9; medians are reported)
#   WINE_ROUNDS          rounds of whole runs under Wine (default 21)
#   CUBEB_MINGW_PREFIX   a MinGW libcubeb for the test build (default /opt/cubeb-mingw; without
#                        one the test build links the libcubeb test double)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-packages.sh

BUILD=${BENCH_BUILD:-build/bench}
HOST="$PWD/$BUILD-host"
WINDOWS="$PWD/$BUILD-windows"
RESULTS="$HOST/results"
REPETITIONS=${REPETITIONS:-9}
WINE_ROUNDS=${WINE_ROUNDS:-21}
CUBEB_MINGW_PREFIX=${CUBEB_MINGW_PREFIX:-/opt/cubeb-mingw}
HOST_PULSE="$HOST/pulse-bench"
WINE_PULSE="$WINDOWS/pulse-bench"
export WINEPREFIX="$WINDOWS/wine-bench" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

stop_servers() {
  tests/pulse/pulse-server.sh stop "$HOST_PULSE" >/dev/null 2>&1 || true
  tests/pulse/pulse-server.sh stop "$WINE_PULSE" >/dev/null 2>&1 || true
  [ -d "$WINEPREFIX" ] && tests/windows/wine-prefix.sh stop "$WINEPREFIX" >/dev/null 2>&1
  return 0
}
trap stop_servers EXIT

log() { echo "=== $*" >&2; }

# build <folder> <targets...>, with the configure arguments in CONFIGURE.
build() {
  local folder=$1
  shift
  mkdir -p "$folder"
  if ! cmake "${CONFIGURE[@]}" -B "$folder" >"$folder/benchmark-build.log" 2>&1 ||
     ! cmake --build "$folder" -j "$(nproc)" --target "$@" >>"$folder/benchmark-build.log" 2>&1; then
    tail -n 40 "$folder/benchmark-build.log" >&2
    echo "benchmark.sh: the build in $folder failed" >&2
    exit 1
  fi
}

wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# with_pulse <server dir> <command...>: the command as a client of that PulseAudio server.
with_pulse() {
  local dir=$1
  shift
  PULSE_SERVER="unix:$dir/run/native" PULSE_RUNTIME_PATH="$dir/run" PULSE_COOKIE="$dir/cookie" "$@"
}

machine() {
  local cpu memory
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  memory=$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
  echo "Machine: $(nproc) CPUs ($cpu), $memory RAM; $(uname -sr)."
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)."
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

log "build: host benchmarks ($HOST)"
CONFIGURE=(--preset host)
build "$HOST" orvane_benchmarks orvane_pulse_benchmarks orvane_bench_report
log "build: Windows programs ($WINDOWS)"
CONFIGURE=(--preset windows)
if [ -f "$CUBEB_MINGW_PREFIX/lib/cmake/cubeb/cubebConfig.cmake" ]; then
  CONFIGURE+=("-Dcubeb_DIR=$CUBEB_MINGW_PREFIX/lib/cmake/cubeb")
else
  CONFIGURE+=("-Dcubeb_DIR=cubeb_DIR-NOTFOUND")
fi
build "$WINDOWS" orvane_wine_bench orvane_driver_setup_test orvane_test_child

rm -rf "$RESULTS"
mkdir -p "$RESULTS"
LOAD_BEFORE=$(load)
GB_FLAGS=(--benchmark_repetitions="$REPETITIONS" --benchmark_enable_random_interleaving=true
          --benchmark_report_aggregates_only=true --benchmark_out_format=json)

log "run: package check, SHA-256 and detection ($REPETITIONS repetitions, interleaved)"
ORVANE_BENCH_DIR="$HOST/bench-data" "$HOST/tests/bench/orvane_benchmarks" "${GB_FLAGS[@]}" \
  --benchmark_out="$RESULTS/host.json" >"$RESULTS/host.txt"

log "run: audio controller against PulseAudio null sinks"
tests/pulse/pulse-server.sh start "$HOST_PULSE"
PULSE_REPORTS=()
for sinks in 2 20 200; do
  # One sink count at a time, so that the server's devices do not change between repetitions.
  with_pulse "$HOST_PULSE" "$HOST/tests/bench/orvane_pulse_benchmarks" "${GB_FLAGS[@]}" \
    --benchmark_filter="/$sinks/" --benchmark_out="$RESULTS/pulse-$sinks.json" >"$RESULTS/pulse-$sinks.txt"
  PULSE_REPORTS+=("pulse=$RESULTS/pulse-$sinks.json")
done
tests/pulse/pulse-server.sh stop "$HOST_PULSE"

log "run: whole program under Wine ($WINE_ROUNDS rounds) and CNG"
tests/windows/wine-prefix.sh fresh "$WINEPREFIX"
tests/windows/wine-pulse.sh start "$WINE_PULSE"
# The package check inside Wine reads the realistic package the host benchmarks generated.
with_pulse "$WINE_PULSE" wine "$WINDOWS/tests/bench/orvane_wine_bench.exe" "$WINE_ROUNDS" \
  "$(wine_path "$WINDOWS/tests/windows/orvane_test_child.exe")" \
  "$(wine_path "$WINDOWS/tests/windows/orvane-driver-setup-test.exe")" \
  "$(wine_path "$HOST/bench-data/realistic")" "$(wine_path "$HOST/bench-data/realistic.manifest.json")" \
  >"$RESULTS/wine.json" 2>"$RESULTS/wine.err" </dev/null || { cat "$RESULTS/wine.err" >&2; exit 1; }
tests/windows/wine-pulse.sh stop "$WINE_PULSE"
tests/windows/wine-prefix.sh stop "$WINEPREFIX"
rm -rf "$HOST/bench-data"
LOAD_AFTER=$(load)

{
  machine
  echo "Load average (1, 5, 15 min): $LOAD_BEFORE before, $LOAD_AFTER after."
  echo "Host benchmarks: medians of $REPETITIONS repetitions, randomly interleaved; build type RelWithDebInfo (-O2)."
  echo
  "$HOST/tests/bench/orvane_bench_report" "host=$RESULTS/host.json" "${PULSE_REPORTS[@]}" "wine=$RESULTS/wine.json"
} | tee "$RESULTS/report.md"
