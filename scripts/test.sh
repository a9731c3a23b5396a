#!/usr/bin/env bash
# Builds and runs every test: unit, platform and end-to-end tests in the
# release build and again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
bash scripts/deps.sh
bash scripts/deps.sh docs  # man and groff, for the test of the manual page
jobs="$(nproc)"

echo "== release build and tests"
configure_preset release
cmake --build --preset release -j"$jobs"
ctest --preset release -j"$jobs"
bash scripts/package.sh deb  # the .deb, and what it holds

echo "== sanitizer build and tests"
configure_preset asan
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

bash scripts/fuzz.sh 30

bash scripts/test-windows.sh
bash scripts/package.sh zip  # the .zip of tarvin.exe, and what it holds

echo "== all tests passed"
