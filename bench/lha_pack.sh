#!/bin/bash
# Packs one real tree (/usr/share/doc and a folder of shared libraries, copied to a scratch
# folder) with tidekeep-lha (-lh5-, -lh6-, -lh7-; -lh5- also on one worker thread), jlha (the
# same methods), Info-ZIP zip -6, 7-Zip's zip at -mx9 (both storing links as links), gzip -6
# over a tar of the tree and tar | pigz -6, all in this run, and prints sizes and times as
# ratios to ours.
#
#   bench/lha_pack.sh [build-dir]          (default: build/ beside this folder)
#   LIBS_MB=40 DOC=/usr/share/doc bench/lha_pack.sh build-lhawrite
#
# Speed is wall-clock time (the best of RUNS runs; one run for jlha and 7zz), since packing
# uses every core; user CPU seconds of that run are printed beside it, as the machine may be
# shared. A peer that is not installed is named and skipped.
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

# timed CMD...: prints "wall user" seconds of one run.
timed() {
  /usr/bin/time -f '%e %U' -o "$work/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat "$work/time.txt"
}
best_of() {
  local best="" t i
  for ((i = 0; i < runs; i++)); do
    t=$(timed "$@")
    if [ -z "$best" ] || awk -v a="${t% *}" -v b="${best% *}" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
have() { command -v "$1" >/dev/null || { echo "$1: not installed, skipped"; return 1; }; }

declare -A size time user
# measure KEY ARCHIVE RUNS CMD: times CMD (run in the tree) and records the archive's size.
measure() {
  local key=$1 out=$2 n=$3 t
  shift 3
  t=$(cd "$work/tree" && runs=$n best_of bash -c "rm -f '$out' && $*")
  time[$key]=${t% *}
  user[$key]=${t#* }
  size[$key]=$(stat -c %s "$out")
}
for m in 5 6 7; do
  measure ours$m "$work/out/ours$m.lzh" "$runs" "'$tool' a -r2 -x1 -o$m '$work/out/ours$m.lzh' ./ doc lib"
  lhasa t "$work/out/ours$m.lzh" >/dev/null 2>&1 || echo "warning: lhasa t failed on ours -lh$m-" >&2
done
measure ours5x1 "$work/out/ours5x1.lzh" "$runs" "TIDEKEEP_LHA_THREADS=1 '$tool' a -r2 -x1 -o5 '$work/out/ours5x1.lzh' ./ doc lib"
cmp -s "$work/out/ours5.lzh" "$work/out/ours5x1.lzh" || echo "warning: one worker packed other bytes than several" >&2
if have jlha; then
  for m in 5 6 7; do measure jlha$m "$work/out/jlha$m.lzh" 1 "jlha aqo$m '$work/out/jlha$m.lzh' doc lib"; done
fi
if have zip; then measure zip6 "$work/out/z6.zip" "$runs" "zip -q -r -y -6 '$work/out/z6.zip' doc lib"; fi
if have 7zz; then measure 7zzmx9 "$work/out/s9.zip" 1 "7zz a -tzip -mx9 -snl '$work/out/s9.zip' doc lib"; fi
measure gzip "$work/out/tree.tar.gz" "$runs" "gzip -6 -c '$work/tree.tar' > '$work/out/tree.tar.gz'"
if have pigz; then measure pigz "$work/out/tree.tgz" "$runs" "tar -cf - doc lib | pigz -6 > '$work/out/tree.tgz'"; fi

echo "tree: $files files, $bytes bytes ($doc and ${libs_mb} MB of $libdir); $(nproc) cores"
printf '%-22s %12s %8s %8s %10s %14s\n' packer bytes wall-s user-s size/ours ours-x-faster
row() { # name key ours-key: size against ours, and how many times faster ours is (peer's wall time over ours)
  [ -n "${size[$2]:-}" ] || return 0
  printf '%-22s %12s %8s %8s %10s %14s\n' "$1" "${size[$2]}" "${time[$2]}" "${user[$2]}" \
    "$(awk -v a="${size[$2]}" -v b="${size[$3]}" 'BEGIN { printf "%.3f", a / b }')" \
    "$(awk -v a="${time[$2]}" -v b="${time[$3]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
}
for m in 5 6 7; do row "tidekeep -lh$m-" ours$m ours$m; done
row "tidekeep -lh5- 1 thread" ours5x1 ours5
for m in 5 6 7; do row "jlha -lh$m-" jlha$m ours$m; done
row "zip -6 vs lh5" zip6 ours5
row "zip -6 vs lh7" zip6 ours7
row "7zz zip -mx9 vs lh7" 7zzmx9 ours7
row "gzip -6 vs lh5" gzip ours5
row "tar|pigz -6 vs lh5" pigz ours5
