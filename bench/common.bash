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
