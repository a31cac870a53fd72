#!/bin/bash
# One backup of a real tree (copies from /usr, at least FILES files and MB megabytes) with
# `tidekeep --run-now`, and in the same run `tar -czf` and `tar -cf - | pigz -6` (gzip on every
# core) of the same tree, printing wall-clock seconds, archive sizes and our figures as ratios to
# the peers', and what the run's verification (the library's test command "t", run again alone on
# the archive) costs against the packing in the run. Aim: the backup at least as fast as tar | pigz.
# With strace at hand, one more run is traced (thread starts, the archive's rename, the exit) to
# split it into phases: start and selection, packing (up to the archive's rename), from the rename
# to the test's workers (the folder's sync, the test reading the headers), and the test with the
# history row. Not part of the test run.
#
#   bench/backup_run.sh [build-dir]            (default: build/ beside this folder)
#   FILES=20000 MB=500 RUNS=1 bench/backup_run.sh build-app
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
. "$here/common.bash"
need_backup_tools "$build"
command -v pigz >/dev/null || { echo "pigz is needed (scripts/install-deps.sh installs it)" >&2; exit 2; }
min_files=${FILES:-20000}
min_mb=${MB:-500}
runs=${RUNS:-1}

work=$(mktemp -d "${TMPDIR:-/tmp}/backup_run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree" "$work/out"

# Whole folders from /usr until both minimums are met; links are copied as links.
files=0
bytes=0
for src in /usr/include /usr/share/doc /usr/share/man /usr/share/locale /usr/share/fonts /usr/share/perl \
           /usr/lib/x86_64-linux-gnu /usr/lib/python3 /usr/share; do
  [ -d "$src" ] || continue
  if [ "$files" -ge "$min_files" ] && [ "$bytes" -ge $((min_mb << 20)) ]; then break; fi
  dest="$work/tree/$(echo "${src#/usr/}" | tr / _)"
  cp -a "$src" "$dest" 2>/dev/null || true
  files=$(find "$work/tree" -type f | wc -l)
  bytes=$(du -sb "$work/tree" | cut -f1)
done
if [ "$files" -lt "$min_files" ] || [ "$bytes" -lt $((min_mb << 20)) ]; then
  echo "could not gather $min_files files and $min_mb MB from /usr (got $files, $((bytes >> 20)) MB)" >&2
  exit 2
fi
echo "tree: $files files, $((bytes >> 20)) MB (copies from /usr)"

db=$work/backup.db
"$prog" --db "$db" --purge-now >/dev/null
sqlite3 "$db" "insert into m_bkup values ('$work/tree', '$work/out/tree.lzh')"

# wall OUT CMD...: runs CMD with its output (both streams) in OUT and prints its wall-clock seconds.
wall() {
  local out=$1 start end rc=0
  shift
  start=$(date +%s.%N)
  "$@" >"$out" 2>&1 || rc=$?
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
  return $rc
}
best=""
tar_best=""
pigz_best=""
for ((i = 0; i < runs; i++)); do
  rm -f "$work"/out/*.lzh "$work/out/tree.tar.gz" "$work/out/pigz.tar.gz"
  sqlite3 "$db" "delete from m_log"
  t=$(wall "$work/run.log" "$prog" --db "$db" --run-now) ||
    { echo "tidekeep --run-now failed:" >&2; cat "$work/run.log" >&2; exit 1; }
  tt=$(wall "$work/tar.log" tar -czf "$work/out/tree.tar.gz" -C "$work" tree)
  tp=$(wall "$work/pigz.log" bash -c 'set -o pipefail; tar -cf - -C "$1" tree | pigz -6 >"$2"' _ "$work" \
    "$work/out/pigz.tar.gz")
  if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  if [ -z "$tar_best" ] || awk -v a="$tt" -v b="$tar_best" 'BEGIN { exit !(a < b) }'; then tar_best=$tt; fi
  if [ -z "$pigz_best" ] || awk -v a="$tp" -v b="$pigz_best" 'BEGIN { exit !(a < b) }'; then pigz_best=$tp; fi
done
archive=$(sqlite3 "$db" "select bkup_file from m_log")
[ -f "$archive" ] || { echo "no archive logged" >&2; exit 1; }
lhasa t "$archive" >/dev/null 2>&1 || echo "warning: lhasa t reports errors in $archive" >&2
members=$(lhasa l "$archive" 2>/dev/null | tail -1 | awk '{print $2}')
ours_size=$(stat -c %s "$archive")
tar_size=$(stat -c %s "$work/out/tree.tar.gz")
pigz_size=$(stat -c %s "$work/out/pigz.tar.gz")
progress=$(grep -c '^  ' "$work/run.log" || true)

# The run packs, then tests: the test alone, with the same library, is its share of the run.
verify=$(wall "$work/verify.log" "$build/bin/tidekeep-lha" t "$archive") ||
  { echo "tidekeep-lha t failed:" >&2; cat "$work/verify.log" >&2; exit 1; }

grep -m1 '^  ' "$work/run.log" | sed 's/^/progress, e.g.: /' || true
echo "tidekeep --run-now: ${best} s, $ours_size bytes ($members members, $progress progress lines)"
echo "tar -czf:           ${tar_best} s, $tar_size bytes"
echo "tar -cf - | pigz -6: ${pigz_best} s, $pigz_size bytes"
awk -v a="$best" -v b="$tar_best" -v s="$ours_size" -v ts="$tar_size" \
  'BEGIN { printf "ratio ours/tar -czf: time %.2f, size %.3f\n", a / b, s / ts }'
awk -v a="$best" -v b="$pigz_best" -v s="$ours_size" -v ts="$pigz_size" \
  'BEGIN { printf "ratio ours/tar|pigz: time %.2f (aim <= 1), size %.3f\n", a / b, s / ts }'
awk -v v="$verify" -v a="$best" \
  'BEGIN { printf "verification (t): %.2f s, %.0f%% of the packing (%.2f s of the run)\n", v, 100 * v / (a - v), a - v }'

# phases: where one more run's time goes, from the thread starts strace sees. The library starts
# its workers when packing begins and again when the test begins; the archive's rename ends the
# packing.
command -v strace >/dev/null || { echo "phases: strace not found, skipped"; exit 0; }
rm -f "$work"/out/*.lzh
sqlite3 "$db" "delete from m_log"
strace -f --seccomp-bpf -ttt -e trace=execve,clone,clone3,rename,renameat,renameat2,exit_group -o "$work/phases.trace" \
  "$prog" --db "$db" --run-now >/dev/null 2>&1 || { echo "phases: the traced run failed"; exit 0; }
awk '
  / execve\(/ && /tidekeep"/ && !start { start = $2 }
  / clone3?\(/ && !/resumed/ { if (!renamed) { if ($2 - last > 0.05) burst = $2; last = $2 } else if (!test) test = $2 }
  / rename(at2?)?\(/ && !renamed { renamed = $2 }
  / exit_group\(/ { end = $2 }
  END {
    if (!start || !burst || !renamed || !end) { print "phases: could not read the trace"; exit }
    if (!test) test = renamed
    printf "phases (traced run, %.2f s): start and selection %.2f s, packing to the rename %.2f s, rename to the test workers %.2f s, test and history row %.2f s\n", end - start, burst - start, renamed - burst, test - renamed, end - test
  }' "$work/phases.trace"
