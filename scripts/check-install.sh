#!/usr/bin/env bash
# Checks a built tree as users get it: installed with DESTDIR into a temporary prefix, the
# installed program backs up one pair headless with its own libraries and keeps its database in
# the XDG folder; then, as root, the Debian package installs with apt-get, runs from /usr/bin and
# removes without a trace. Usage: scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

# Installed into a prefix and run there, with no display and nothing pointing into the build tree.
DESTDIR=$work/stage cmake --install "$build" --prefix /opt/tidekeep >"$work/install.log"
root=$work/stage/opt/tidekeep
for f in "$root"/bin/* "$root"/lib/tidekeep/archivers/*.so; do
  readelf -d "$f" | grep -q "$build" && fail "$f has a run path into the build tree"
done
for d in "$root/share/applications/tidekeep.desktop" "$root/etc/xdg/autostart/tidekeep.desktop"; do
  desktop-file-validate "$d" || fail "$d does not validate"
done
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TIDEKEEP_DB -u TIDEKEEP_ARCHIVERS
  -u XDG_DATA_HOME HOME="$work/home")
"${headless[@]}" "$root/bin/tidekeep" --version
mkdir -p "$work/home" "$work/src" "$work/bk" && echo data >"$work/src/a.txt"
"${headless[@]}" "$root/bin/tidekeep" --purge-now >/dev/null
db=$work/home/.local/share/tidekeep/backup.db
[[ -f $db ]] || fail "the installed program made no database in the XDG folder"
sqlite3 "$db" "insert into m_bkup values ('$work/src', '$work/bk/one.lzh')"
"${headless[@]}" "$root/bin/tidekeep" --run-now
ls "$work"/bk/*_one.lzh >/dev/null || fail "the installed --run-now wrote no archive"
[[ -e $root/bin/backup.db ]] && fail "a database was made beside the installed program"

# The Debian package: installed, run and removed on this machine, so only as root and only when
# no tidekeep package is installed already.
if [[ $(id -u) -ne 0 ]]; then echo "check-install: the package half needs root; skipped"; exit 0; fi
if dpkg -s tidekeep >/dev/null 2>&1; then echo "check-install: a tidekeep package is installed; package half skipped"; exit 0; fi
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/tidekeep_*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[0]}" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }
dpkg -L tidekeep >"$work/files"
/usr/bin/tidekeep --version
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tidekeep >>"$work/apt.log" 2>&1
dpkg -s tidekeep >/dev/null 2>&1 && fail "tidekeep is still known to dpkg after apt-get remove"
left=()
while read -r f; do [[ -e $f && ! -d $f ]] && left+=("$f"); done <"$work/files"
for d in /usr/lib/tidekeep; do [[ -e $d ]] && left+=("$d"); done
((${#left[@]} == 0)) || fail "left after apt-get remove: ${left[*]}"
echo "check-install: installed prefix and Debian package OK (${debs[0]##*/})"
