#!/usr/bin/env bash
# Median wall time of the image loader on a 4096 × 4096 JPEG served by a
# local nginx over TLS (download, checks, scale to 768, JPEG encode), beside
# ImageMagick's `convert -resize 768x768` of the same file.
#   bench/artwork/run.sh [RUNS]   (at least 10; default 15)
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/build >/dev/null
QT_QPA_PLATFORM=offscreen build/bench/artwork/bench_artwork_loader "${1:-15}"
