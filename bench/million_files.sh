#!/bin/bash
# Selecting and packing a synthetic tree of a million small files (1,000 per folder, folder and
# file names in mixed letter case) with `tidekeep --run-now`, against `tar -cf` and `tar -czf` of
# the same tree in the same run: wall-clock seconds, peak resident memory and the ratios. The
# aims: the backup within 2x tar -czf's time, peaking under 400 MB. Not part of the test run.
#
#   bench/million_files.sh [build-dir]             (default: build/ beside this folder)
#   FILES=200000 bench/million_files.sh build      (a smaller tree)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
. "$here/common.bash"
need_backup_tools "$build"
files=${FILES:-1000000}

work=$(mktemp -d "${TMPDIR:-/tmp}/million_files.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out"

# The tree, written with bare system calls (a million files take a minute or so, not ten).
start=$(date +%s.%N)
python3 - "$work/tree" "$files" <<'PY'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2])
random.seed(15)
per = 1000
words = [b'backup ', b'tide ', b'keep ', b'file ', b'data ', b'12345 ', b'\n']
flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
for d in range((total + per - 1) // per):
    folder = os.path.join(root, ('Dir' if d % 2 else 'dir') + str(d))
    os.makedirs(folder)
    for f in range(min(per, total - d * per)):
        name = ('File' if (f * 7 + d) % 3 == 0 else 'file') + str(f) + '.txt'
        fd = os.open(os.path.join(folder, name), flags, 0o644)
        os.write(fd, b''.join(random.choice(words) for _ in range(random.randint(2, 30))))
        os.close(fd)
PY
made=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "tree: $files files in $(((files + 999) / 1000)) folders, $(du -sm "$work/tree" | cut -f1) MB on disk, made in ${made}s"

db=$work/backup.db
"$prog" --db "$db" --purge-now >/dev/null
sqlite3 "$db" "insert into m_bkup values ('$work/tree', '$work/out/tree.lzh')"

# timed OUT CMD...: runs CMD with its output in OUT; prints "seconds peak-KB".
timed() {
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$out" 2>&1 || { echo "failed: $*" >&2; cat "$out" >&2; exit 1; }
  cat "$work/time"
}
# tar -cf first: it also reads the whole tree into the cache for everyone after it.
read -r tar_s tar_kb < <(timed "$work/tar.log" tar -cf "$work/out/tree.tar" -C "$work" tree)
read -r run_s run_kb < <(QT_QPA_PLATFORM=offscreen timed "$work/run.log" "$prog" --db "$db" --run-now)
read -r tgz_s tgz_kb < <(timed "$work/tgz.log" tar -czf "$work/out/tree.tar.gz" -C "$work" tree)
archive=$(sqlite3 "$db" "select bkup_file from m_log")
[ -f "$archive" ] || { echo "no archive logged" >&2; exit 1; }
members=$(lhasa l "$archive" 2>/dev/null | tail -1 | awk '{print $2}')
# The run packs, then tests: the test alone, with the same library, is its share of the run.
read -r test_s _ < <(timed "$work/test.log" "$build/bin/tidekeep-lha" t "$archive")

echo "tidekeep --run-now: ${run_s}s, peak $((run_kb / 1024)) MB, $(stat -c %s "$archive") bytes, $members members" \
  "(its test alone: ${test_s}s)"
echo "tar -cf:            ${tar_s}s, peak $((tar_kb / 1024)) MB, $(stat -c %s "$work/out/tree.tar") bytes"
echo "tar -czf:           ${tgz_s}s, peak $((tgz_kb / 1024)) MB, $(stat -c %s "$work/out/tree.tar.gz") bytes"
awk -v r="$run_s" -v t="$tar_s" -v z="$tgz_s" -v kb="$run_kb" 'BEGIN {
  printf "ratio run-now/tar -czf: time %.2f (aim <= 2); run-now/tar -cf: time %.2f; peak %.0f MB (aim < 400)\n",
    r / z, r / t, kb / 1024 }'
