#!/usr/bin/env bash
# Installs what is missing, builds plexora-demo (optimised, in build/demo)
# and runs it: a banner and a native ad from the bundled ad server,
# rendered, seen and clicked, the banner's link shown in the in-app browser.
# Arguments go to the demo (--server URL, --placement ID, --output DIR); the
# rendered banner, the browser's page and the native templates land in
# build/demo/output (banner.png, browser.png, native-template-<height>.png)
# unless --output says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXORA_TESTS=ON >/dev/null
cmake --build build/demo --target plexora-demo
exec build/demo/demo/plexora-demo --output build/demo/output "$@"
