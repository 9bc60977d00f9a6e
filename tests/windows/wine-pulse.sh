#!/bin/sh
# The sound server of the Windows tests that reach the real libcubeb under Wine:
#   wine-pulse.sh start DIR   a private PulseAudio server (tests/pulse/pulse-server.sh) with a
#                             stereo 48 kHz sink and a stereo 48 kHz source
#   wine-pulse.sh stop DIR
# Exits 77 (skipped) when PulseAudio is not installed.
set -eu
server_script="$(dirname "$0")/../pulse/pulse-server.sh"
dir=$2

client() {
  PULSE_SERVER="unix:$dir/run/native" PULSE_RUNTIME_PATH="$dir/run" PULSE_COOKIE="$dir/cookie" "$@"
}

case $1 in
  start)
    "$server_script" start "$dir"
    client pactl load-module module-null-sink sink_name=orvane_speakers rate=48000 channels=2 \
      sink_properties=device.description=Orvane-Speakers-48k >/dev/null
    client pactl load-module module-null-source source_name=orvane_microphone rate=48000 channels=2 \
      description=Orvane-Microphone-48k >/dev/null
    client pactl set-default-sink orvane_speakers
    client pactl set-default-source orvane_microphone
    ;;
  stop)
    "$server_script" stop "$dir"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
