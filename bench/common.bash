# Shared by the benchmark scripts (sourced, never run by bench/run).

# copy_libraries DEST MB: the shared libraries of the system's library folder, in name order,
# up to MB megabytes, regular files only, copied into DEST.
copy_libraries() {
  local dest=$1 limit=$(($2 << 20)) total=0 f size
  while IFS= read -r -d '' f; do
    size=$(stat -c %s "$f")
    [ $((total + size)) -gt "$limit" ] && continue
    cp "$f" "$dest/"
    total=$((total + size))
  done < <(find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -print0 | sort -z)
}

# need_backup_tools BUILD: the program, its LHA library and the sqlite3 command (which stores the
# target pair) must be there; exits 2 naming what is missing. Sets prog to the program.
need_backup_tools() {
  prog=$1/bin/tidekeep
  [ -x "$prog" ] || { echo "no $prog: build the tidekeep target first" >&2; exit 2; }
  [ -e "$1/bin/archivers/libunlha32.so" ] || { echo "no libunlha32.so in $1/bin/archivers" >&2; exit 2; }
  command -v sqlite3 >/dev/null || { echo "sqlite3 (the command) is needed to store the target pair" >&2; exit 2; }
}
