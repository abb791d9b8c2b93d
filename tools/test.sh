#!/usr/bin/env bash
# Installs what is needed, starts the Firebird test server, builds the project
# and runs the tests. Run as root from anywhere; exits with ctest's status.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/install-deps.sh
tools/firebird-test-server.sh

cmake -S . -B build -G Ninja >/dev/null
cmake --build build

# GUI tests need no display. CTEST_PARALLEL_LEVEL, if set, runs tests in parallel.
export QT_QPA_PLATFORM=offscreen
status=0
ctest --test-dir build --output-on-failure || status=$?
exit "$status"
