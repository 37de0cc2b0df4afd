#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test, checks the installed library
# from two consumer projects, then builds the fuzz targets and gives each a
# short bounded run over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake --preset dev
cmake --build --preset dev
ctest --preset dev -j "$jobs"

# The library as an installed dependency: release builds without warnings,
# installed, and used by two small hosts.
scripts/consumer-check.sh

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-15}"
