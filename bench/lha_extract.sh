#!/bin/bash
# Extracts one large LHA archive (made by jlha, -lh5- at header level 2, from files of
# /usr/share/doc and a folder of shared libraries, DOC_MB and LIBS_MB megabytes) with tidekeep-lha, lhasa and bsdtar, all in this run, and
# prints each one's time as a ratio to ours (above 1: slower than ours). Then the same for a
# long-run archive: one file of RUN_MB megabytes of zeros (jlha, -lh5-), which decodes to
# nothing but long matches at distance 1.
#
#   bench/lha_extract.sh [build-dir]          (default: build/ beside this folder)
#   DOC_MB=40 LIBS_MB=60 METHOD=7 RUNS=5 RUN_MB=2048 bench/lha_extract.sh build-lharead
#
# Times are user + system CPU seconds and wall seconds, the best of RUNS runs each; every run
# extracts into an empty folder. Extracted trees are compared with the original once. Between
# the two archives, the first is also decoded alone: our t (on every core and on one worker
# thread) against lhasa's test and bsdtar's extraction to standard output.
set -euo pipefail
source "$(dirname "$0")/common.bash"

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
tool=$build/bin/tidekeep-lha
[ -x "$tool" ] || { echo "no $tool: build the tidekeep-lha target first" >&2; exit 2; }
for peer in jlha lhasa bsdtar; do
  command -v "$peer" >/dev/null || { echo "$peer is not installed" >&2; exit 2; }
done
doc=${DOC:-/usr/share/doc}
doc_mb=${DOC_MB:-30}
libs_mb=${LIBS_MB:-40}
method=${METHOD:-5}
runs=${RUNS:-3}
run_mb=${RUN_MB:-1024}

work=$(mktemp -d "${TMPDIR:-/tmp}/lha_extract.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/lib" "$work/tree/doc"
# Documentation files in name order up to DOC_MB megabytes, with their folders.
total=0
while IFS= read -r -d '' f; do
  size=$(stat -c %s "$f")
  [ $((total + size)) -gt $((doc_mb << 20)) ] && continue
  rel=${f#"$doc"/}
  mkdir -p "$work/tree/doc/$(dirname "$rel")"
  cp -p "$f" "$work/tree/doc/$rel"
  total=$((total + size))
done < <(find "$doc" -type f -print0 | sort -z)
copy_libraries "$work/tree/lib" "$libs_mb"
# Links are left out: jlha would store what they point to.
find "$work/tree" -type l -delete
(cd "$work/tree" && LC_ALL=C.UTF-8 jlha "a2o${method}" "$work/a.lzh" doc lib >/dev/null 2>&1)
files=$(find "$work/tree" -type f | wc -l)
bytes=$(du -sb "$work/tree" | cut -f1)
packed=$(stat -c %s "$work/a.lzh")

# best_times CMD...: "cpu wall", the best user+sys and the best wall seconds over RUNS runs of
# CMD, each run in an emptied $work/out.
best_times() {
  local best_cpu="" best_wall=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir "$work/out"
    local start end
    start=$(date +%s.%N)
    (cd "$work/out" && /usr/bin/time -f '%U %S' -o "$work/time.txt" "$@" >/dev/null 2>&1) ||
      { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    local cpu wall
    cpu=$(awk '{printf "%.3f", $1 + $2}' "$work/time.txt")
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}')
    if [ -z "$best_cpu" ] || awk -v x="$cpu" -v y="$best_cpu" 'BEGIN {exit !(x < y)}'; then best_cpu=$cpu; fi
    if [ -z "$best_wall" ] || awk -v x="$wall" -v y="$best_wall" 'BEGIN {exit !(x < y)}'; then best_wall=$wall; fi
  done
  echo "$best_cpu $best_wall"
}

# measure RESULTS TREE NAME CMD...: best times of an extraction into $work/out, which must then
# hold TREE; one line appended to RESULTS.
measure() {
  local results=$1 tree=$2 name=$3 times
  shift 3
  times=$(best_times "$@")
  if ! diff -r "$tree" "$work/out" >/dev/null 2>&1; then
    echo "$name: extracted tree differs from the original" >&2
    exit 1
  fi
  echo "$name $times" >> "$results"
}

# decode RESULTS NAME CMD...: best times of a decode without writing files (a test command, or
# the data to standard output); one line appended to RESULTS.
decode() {
  local results=$1 name=$2 times
  shift 2
  times=$(best_times "$@")
  echo "$name $times" >> "$results"
}

# report RESULTS: each tool's times and their ratios to ours (the first line).
report() {
  awk 'NR == 1 {oc = $2; ow = $3}
       {printf "%-13s cpu %7.3f s  ratio %5.2f   wall %7.3f s  ratio %5.2f\n", $1, $2, $2 / oc, $3, $3 / ow}' "$1"
}

measure "$work/results.txt" "$work/tree" tidekeep-lha "$tool" x -x1 "$work/a.lzh" "$work/out/"
measure "$work/results.txt" "$work/tree" lhasa lhasa xq "$work/a.lzh"
measure "$work/results.txt" "$work/tree" bsdtar bsdtar -xf "$work/a.lzh"

echo "archive: $files files, $bytes bytes, -lh${method}- level 2, $packed bytes packed; best of $runs runs"
report "$work/results.txt"

# Decoding alone (our t on every core and on one worker thread, lhasa's test, bsdtar's data to
# standard output), so that the file system's part does not count.
decode "$work/decode.txt" tidekeep-t "$tool" t "$work/a.lzh"
decode "$work/decode.txt" tidekeep-t-1 env TIDEKEEP_LHA_THREADS=1 "$tool" t "$work/a.lzh"
decode "$work/decode.txt" lhasa-t lhasa tq "$work/a.lzh"
decode "$work/decode.txt" bsdtar-xO bsdtar -xOf "$work/a.lzh"
echo "decoding only ($(nproc) cores); wall-time ratios show the worker threads' gain"
report "$work/decode.txt"

# The long-run archive; the tree goes once it is packed (the comparison reads zeros instead).
mkdir -p "$work/runs"
head -c $((run_mb << 20)) /dev/zero > "$work/runs/zeros.bin"
(cd "$work/runs" && LC_ALL=C.UTF-8 jlha a2o5 "$work/z.lzh" zeros.bin >/dev/null 2>&1)
rm -rf "$work/tree" "$work/runs"
mkdir -p "$work/runs" && truncate -s $((run_mb << 20)) "$work/runs/zeros.bin"
measure "$work/runs.txt" "$work/runs" tidekeep-lha "$tool" x -x1 "$work/z.lzh" "$work/out/"
measure "$work/runs.txt" "$work/runs" lhasa lhasa xq "$work/z.lzh"
measure "$work/runs.txt" "$work/runs" bsdtar bsdtar -xf "$work/z.lzh"
echo "long runs: $run_mb MiB of zeros, -lh5- level 2, $(stat -c %s "$work/z.lzh") bytes packed; best of $runs runs"
report "$work/runs.txt"
