#!/bin/bash
# Packs one real tree (/usr/share/doc and a folder of shared libraries, copied to a scratch
# folder) with tidekeep-lha (-lh5-, -lh6-, -lh7-), jlha (the same methods) and gzip -6 over a
# tar of the tree, all in this run, and prints sizes and CPU times as ratios to ours.
#
#   bench/lha_pack.sh [build-dir]          (default: build/ beside this folder)
#   LIBS_MB=40 DOC=/usr/share/doc bench/lha_pack.sh build-lhawrite
#
# Times are user + system CPU seconds (the best of RUNS runs for ours and gzip, one run for
# jlha), so other load on the machine disturbs them little.
set -euo pipefail
source "$(dirname "$0")/common.bash"

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
tool=$build/bin/tidekeep-lha
[ -x "$tool" ] || { echo "no $tool: build the tidekeep-lha target first" >&2; exit 2; }
doc=${DOC:-/usr/share/doc}
libs_mb=${LIBS_MB:-40}
runs=${RUNS:-2}
libdir=/usr/lib/x86_64-linux-gnu

work=$(mktemp -d "${TMPDIR:-/tmp}/lha_pack.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/lib" "$work/out"
cp -a "$doc" "$work/tree/doc"
# Shared libraries in name order up to LIBS_MB megabytes (regular files only).
copy_libraries "$work/tree/lib" "$libs_mb"
tar -cf "$work/tree.tar" -C "$work/tree" doc lib
files=$(find "$work/tree" -type f | wc -l)
bytes=$(du -sb "$work/tree" | cut -f1)

# cpu_time CMD...: prints user+sys seconds of one run.
cpu_time() {
  /usr/bin/time -f '%U %S' -o "$work/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%.2f", $1 + $2 }' "$work/time.txt"
}
best_of() {
  local best="" t i
  for ((i = 0; i < runs; i++)); do
    t=$(cpu_time "$@")
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

declare -A size time
for m in 5 6 7; do
  rm -f "$work/out/ours$m.lzh"
  time[ours$m]=$(cd "$work/tree" && best_of bash -c "rm -f '$work/out/ours$m.lzh' && '$tool' a -r2 -x1 -o$m '$work/out/ours$m.lzh' ./ doc lib")
  size[ours$m]=$(stat -c %s "$work/out/ours$m.lzh")
  lhasa t "$work/out/ours$m.lzh" >/dev/null 2>&1 || echo "warning: lhasa t failed on ours -lh$m-" >&2
done
if command -v jlha >/dev/null; then
  for m in 5 6 7; do
    time[jlha$m]=$(cd "$work/tree" && cpu_time jlha aqo$m "$work/out/jlha$m.lzh" doc lib)
    size[jlha$m]=$(stat -c %s "$work/out/jlha$m.lzh")
  done
fi
time[gzip]=$(best_of bash -c "gzip -6 -c '$work/tree.tar' > '$work/out/tree.tar.gz'")
size[gzip]=$(stat -c %s "$work/out/tree.tar.gz")

echo "tree: $files files, $bytes bytes ($doc and ${libs_mb} MB of $libdir)"
printf '%-16s %12s %8s %12s %12s\n' packer bytes cpu-s size/ours time/ours
row() { # name key ours-key
  printf '%-16s %12s %8s %12s %12s\n' "$1" "${size[$2]}" "${time[$2]}" \
    "$(awk -v a="${size[$2]}" -v b="${size[$3]}" 'BEGIN { printf "%.3f", a / b }')" \
    "$(awk -v a="${time[$2]}" -v b="${time[$3]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
}
for m in 5 6 7; do row "tidekeep -lh$m-" ours$m ours$m; done
if [ -n "${size[jlha5]:-}" ]; then for m in 5 6 7; do row "jlha -lh$m-" jlha$m ours$m; done; else echo "jlha: not installed"; fi
row "gzip -6 vs lh5" gzip ours5
row "gzip -6 vs lh7" gzip ours7
