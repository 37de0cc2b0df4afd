#!/usr/bin/env bash
# Installs what is missing, builds plexora-demo (optimised, in build/demo)
# and runs it: every ad unit from the bundled ad server, rendered, seen and
# clicked (the banner's link shown in the in-app browser, the native ad in
# its templates, the native video inline and full screen, the rewarded video
# with its reward, the in-stream ad, the HTML and video interstitials), then
# a DASH clip from the bundled server played by the engine.
# Arguments go to the demo (--server URL, --placement ID, --output DIR); the
# pictures land in build/demo/output unless --output says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXORA_TESTS=ON >/dev/null
cmake --build build/demo --target plexora-demo
exec build/demo/demo/plexora-demo --output build/demo/output "$@"
