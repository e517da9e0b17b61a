#!/usr/bin/env bash
# CPU seconds to demultiplex, decode and analyse 10 minutes of a 128 kbit/s
# MP3 (no sink), median of 5 runs, beside mpg123 decoding the same file.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/build >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/ten-minutes.mp3"
ffmpeg -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:duration=600" \
  -f lavfi -i "anoisesrc=duration=600:amplitude=0.05" -filter_complex amix=inputs=2 -ac 2 \
  -c:a libmp3lame -b:a 128k "$file"

cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -n 1 | awk '{print $1 + $2}'; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ours=(); theirs=()
for _ in 1 2 3 4 5; do
  ours+=("$(cpu build/bench/engine/bench_live_decode "$file")")
  theirs+=("$(cpu mpg123 -q -w /dev/null "$file")")
done
own=$(printf '%s\n' "${ours[@]}" | median)
peer=$(printf '%s\n' "${theirs[@]}" | median)
echo "own path (ICY + decode + spectrum): ${own}s CPU"
echo "mpg123 -q -w /dev/null:             ${peer}s CPU"
awk -v a="$own" -v b="$peer" 'BEGIN {printf "ratio: %.2fx mpg123\n", a / b}'
