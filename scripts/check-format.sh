#!/usr/bin/env bash
# Fails when a C++ file of the repository is not laid out as .clang-format
# says; prints the difference. `scripts/check-format.sh --fix` lays them out.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
status=0
for f in "${files[@]}"; do
  if ! clang-format "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" -; then status=1; fi
done
[ $status -eq 0 ] && echo "format: ${#files[@]} files as .clang-format says"
exit $status
