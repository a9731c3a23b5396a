#!/usr/bin/env bash
# Builds tarvin and converts the bundled sample archive to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
bash scripts/deps.sh
configure_preset release
cmake --build --preset release -j"$(nproc)" --target tarvin
# The text is UTF-8 in a UTF-8 locale, code page 866 in any other (--oem: always).
# Exit code 1: one data file of the sample is missing on purpose.
build/release/tarvin samples/archive/2004 samples/archive/2005 || [ $? -eq 1 ]
