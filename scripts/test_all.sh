#!/usr/bin/env bash
# Builds riruride and runs every test: the native unit and end-to-end tests,
# then each further leg whose tools this machine has. A leg that cannot run
# here says so and is skipped; any failing leg fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

echo "== native build and tests"
cmake --preset default
cmake --build --preset default --parallel "$jobs"
ctest --preset default --parallel "$jobs"
