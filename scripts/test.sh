#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test, then builds the fuzz targets
# and gives each a short bounded run over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake --preset dev
cmake --build --preset dev
ctest --preset dev -j "$jobs"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-15}"
