#!/usr/bin/env bash
# scripts/install-deps.sh run by a user who is not root on a machine without
# sudo, with every package missing: it must stop before apt-get and name the
# packages to install. Usage: install_deps_test.sh <path to install-deps.sh>
set -euo pipefail
script=$1
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT

# Only the tools the script needs: no sudo, no apt-get.
for tool in grep dirname; do
  ln -s "$(command -v "$tool")" "$stubs/$tool"
done
printf '#!/bin/sh\nexit 1\n' >"$stubs/dpkg-query"  # nothing is installed
printf '#!/bin/sh\necho 1000\n' >"$stubs/id"       # not root
chmod +x "$stubs/dpkg-query" "$stubs/id"

status=0
output=$(PATH=$stubs "$BASH" "$script" 2>&1) || status=$?
if [ "$status" -ne 1 ]; then
  echo "expected exit status 1, got $status: $output"
  exit 1
fi
packages=$(grep -v -E '^\s*(#|$)' "$(dirname "$script")/packages.txt" | tr '\n' ' ')
expected="apt-get install --no-install-recommends ${packages% }"
if [[ "$output" != *"not root and no sudo"* || "$output" != *"$expected"* ]]; then
  echo "expected the packages to install in: $output"
  exit 1
fi
