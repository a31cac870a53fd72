#!/usr/bin/env bash
# Opening a 20,000-member archive in the browser's tree and list views, against lhasa's and
# jlha's listing of the same archive. Usage: bench/browse_open.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: browse_open.sh BUILD_DIR}" && pwd)
cmake --build "$build" --target browse_open_bench >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} TIDEKEEP_ARCHIVERS="$build/bin/archivers" \
  "$build/bin/browse_open_bench" "$build/bench-data" 20000
