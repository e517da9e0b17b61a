#!/usr/bin/env bash
# First audio and CPU per minute, own paths beside mpv, gst-play-1.0 and mpg123.
#   bench/playback/run.sh [RUNS] [CPU_SECONDS]
# RUNS alternating runs of every player for first audio, then RUNS alternating
# runs of CPU_SECONDS each for CPU per minute.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps
scripts/build >/dev/null
build/bench/playback/bench_first_audio build/src/app/orvanta-radio-cli "${1:-10}" "${2:-20}"
