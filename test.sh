#!/usr/bin/env bash
# Installs what is missing, builds Zorvik and runs every test: once in a
# Release build (then checks its installation and Debian package), once built
# with AddressSanitizer and UndefinedBehaviorSanitizer; checks the layout,
# clang-tidy's findings and the strict build of the product's code; runs the
# fuzz targets.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
jobs=$(nproc)
# The tests compare list files byte for byte as a UTF-8 locale writes them.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8* | *utf8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
scripts/check-install.sh build

# The code's shape: layout, clang-tidy, and warnings as errors.
scripts/check-format.sh
scripts/check-tidy.sh build
cmake -S . -B build-strict -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVIK_STRICT=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-strict -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The fuzz targets, each for a bounded time.
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh
