#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy's checks on the product's code (not the
# tests), using the compile commands of the build folder given (default
# build). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mapfile -t files < <(git ls-files 'engine/*.cpp' 'results/*.cpp' 'platform/*.cpp' 'platform/posix/*.cpp' 'shell/*.cpp' 'cli/*.cpp')
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "tidy: ${#files[@]} files without a finding"
