#!/usr/bin/env bash
# Installs what is missing, builds Zorvik in Release and starts it.
# Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [ -x build/zorvik ]; then
  exec build/zorvik "$@"
elif [ $# -gt 0 ]; then
  exec build/zorvik-cli scan "$@"
else
  exec build/zorvik-cli --help
fi
