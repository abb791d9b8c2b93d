#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and
# runs them. Any report fails the run. Expects tools/test.sh to have installed the
# packages and started the test server.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake -S . -B build-asan -G Ninja -DATUALIZA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$PWD/tools/sanitizer.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The benchmark's smoke run measures nothing under a sanitizer, and the memory check of
# long use cannot hold there: the sanitizer keeps freed memory resident on purpose, to
# catch use after free. Both run in the ordinary build.
ctest --test-dir build-asan --output-on-failure -E 'stock_bench_smoke|LongUseTest'
