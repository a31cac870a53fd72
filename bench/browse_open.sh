#!/usr/bin/env bash
# Opening a 21,000-member archive in the browser's tree and list views (the bench-only program
# browse_open_bench, built on the views themselves), against lhasa's and jlha's listing of the
# same archive. Aim: the views open in at most 2x lhasa's time.
# Usage: bench/browse_open.sh BUILD_DIR     MEMBERS=n bench/browse_open.sh BUILD_DIR (another size)
set -euo pipefail
build=$(cd "${1:?usage: browse_open.sh BUILD_DIR}" && pwd)
cmake --build "$build" --target browse_open_bench >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} TIDEKEEP_ARCHIVERS="$build/bin/archivers" \
  "$build/bin/browse_open_bench" "$build/bench-data" "${MEMBERS:-21000}"
