#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 60) over its seed corpus, after replaying every
# input that once crashed it. Exits non-zero on any crash. The random seed
# is fixed (FUZZ_SEED, default 1) so a run can be repeated; set another to
# explore further.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
seed=${FUZZ_SEED:-1}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVIK_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
targets=(listfile recordfield roots wildcard picture cache)
cmake --build build-fuzz --target "${targets[@]/%/_fuzz}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen
for t in "${targets[@]}"; do
  bin=build-fuzz/tests/fuzz/${t}_fuzz
  if [ -d "tests/fuzz/regressions/$t" ] && [ -n "$(ls -A "tests/fuzz/regressions/$t")" ]; then
    "$bin" -runs=0 "tests/fuzz/regressions/$t"/* >"$work/$t.replay" 2>&1 || { cat "$work/$t.replay"; echo "FAIL: $t regression"; exit 1; }
  fi
  mkdir -p "$work/$t"
  cp -r "tests/fuzz/corpus/$t/." "$work/$t/"
  if ! "$bin" -seed="$seed" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/$t-" "$work/$t" >"$work/$t.log" 2>&1; then
    tail -n 40 "$work/$t.log"
    echo "FAIL: $t (crash input kept as: $(ls "$work" | grep "^$t-" || true))"
    mkdir -p "tests/fuzz/regressions/$t"
    cp "$work/$t"-* "tests/fuzz/regressions/$t/" 2>/dev/null || true
    exit 1
  fi
  echo "$t: $(grep -E '^#[0-9]+' "$work/$t.log" | tail -n 1)"
done
echo "fuzz: every target ran ${seconds}s without a crash"
