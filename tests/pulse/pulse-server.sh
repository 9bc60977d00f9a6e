#!/bin/sh
# A private PulseAudio server for the tests against the real libcubeb.
#   pulse-server.sh start DIR   a fresh server with no devices, its socket at DIR/run/native
#   pulse-server.sh stop DIR    stops it and waits until it is gone
# Clients reach it with PULSE_SERVER=unix:DIR/run/native PULSE_RUNTIME_PATH=DIR/run
# PULSE_COOKIE=DIR/cookie; the tests add and remove their own null devices with pactl.
# Exits 77 (skipped) when PulseAudio is not installed.
set -eu

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
command=$1
dir=$2

if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
  echo "pulseaudio and pactl are not installed: the real libcubeb tests are skipped" >&2
  exit 77
fi

server() {
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" PULSE_RUNTIME_PATH="$dir/run" PULSE_STATE_PATH="$dir/state" \
    pulseaudio "$@"
}

client() {
  PULSE_SERVER="unix:$dir/run/native" PULSE_RUNTIME_PATH="$dir/run" PULSE_COOKIE="$dir/cookie" "$@"
}

stop() {
  [ -d "$dir/run" ] || return 0
  server --kill 2>/dev/null || true
  # --kill only signals; the server removes its pid file as it exits.
  tries=0
  while [ -f "$dir/run/pid" ] && kill -0 "$(cat "$dir/run/pid" 2>/dev/null || echo 0)" 2>/dev/null &&
    [ $tries -lt 100 ]; do
    sleep 0.05
    tries=$((tries + 1))
  done
  return 0
}

case $command in
  start)
    stop  # what an interrupted earlier run left behind
    rm -rf "$dir"
    mkdir -p "$dir/run" "$dir/state" "$dir/home/.config/pulse"
    chmod 700 "$dir/run"
    # Every null sink holds a few descriptors; the default limit of 256 stops at about 60 sinks.
    echo "rlimit-nofile = 4096" >"$dir/home/.config/pulse/daemon.conf"
    echo "load-module module-native-protocol-unix auth-anonymous=1 auth-cookie-enabled=0 socket=$dir/run/native" \
      >"$dir/server.pa"
    # Detached from our output, so that a caller reading it (ctest) does not wait for the daemon.
    server --daemonize=yes -n -F "$dir/server.pa" --exit-idle-time=-1 --use-pid-file=yes \
      --log-target="file:$dir/pulse.log" </dev/null >/dev/null 2>&1 || {
      echo "pulseaudio did not start; its log:" >&2
      cat "$dir/pulse.log" >&2 2>/dev/null
      exit 1
    }
    tries=0
    until client pactl info >/dev/null 2>&1; do
      tries=$((tries + 1))
      if [ $tries -ge 100 ]; then
        echo "pulseaudio does not answer on $dir/run/native" >&2
        exit 1
      fi
      sleep 0.05
    done
    ;;
  stop)
    stop
    ;;
  *)
    usage
    ;;
esac
