#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user meets it: built by cpack, installed with
# apt-get, the installed program started by the end-to-end driver (notice,
# window, local digits), the menu entry, icons and AppStream data where
# freedesktop desktops look for them; then purged, leaving none of its files.
# Installs on this machine, so it needs root; one run at a time (a lock).
# Usage: check_deb.sh BUILD_DIR WORK_DIR E2E_DRIVER
set -euo pipefail
build=$1 work=$2 driver=$3
name=fullscreenclock

exec 9>/tmp/$name-deb-check.lock
flock -w 600 9

apt=(apt-get -y -q -o DPkg::Lock::Timeout=300)
installed() { [ "$(dpkg-query -W -f='${Status}' $name 2>/dev/null)" = "install ok installed" ]; }
purge() { "${apt[@]}" remove --purge $name >"$work/remove.log" 2>&1; }
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
# A run that stopped half-way may have left the package installed.
if installed; then purge; fi
trap 'if installed; then purge; fi' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/${name}_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack wrote no single ${name}_*.deb"
deb=${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for wanted in qt6-qpa-plugins qt6-wayland fonts-arphic-ukai fonts-wqy-microhei; do
    [[ ", $depends," == *", $wanted,"* ]] || fail "Depends lacks $wanted"
done

"${apt[@]}" install "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
installed || fail "apt-get install left $name not installed"
mapfile -t files < <(dpkg-query -L $name)

share=/usr/share
expected=(/usr/bin/$name "$share/applications/$name.desktop"
          "$share/metainfo/org.example.$name.metainfo.xml"
          "$share/icons/hicolor/scalable/apps/$name.svg"
          "$share"/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128}/apps/$name.png)
for f in "${expected[@]}"; do
    [ -f "$f" ] || fail "$f not installed"
    printf '%s\n' "${files[@]}" | grep -qx "$f" || fail "$f is not the package's"
done
grep -qx "Exec=$name" "$share/applications/$name.desktop" || fail "the menu entry runs no $name"
grep -q "<launchable type=\"desktop-id\">$name.desktop</launchable>" \
    "$share/metainfo/org.example.$name.metainfo.xml" || fail "the AppStream data launches no $name.desktop"

python3 "$driver" --size 1024x768 --case layout --workdir "$work/e2e" /usr/bin/$name ||
    fail "the installed program (screenshots in $work/e2e)"

purge || { cat "$work/remove.log"; fail "apt-get remove --purge"; }
installed && fail "$name still installed after the purge"
left=()
for f in "${files[@]}"; do
    # Directories the package shares with others (/usr/share/icons/...) stay.
    if [ -e "$f" ] && { [ ! -d "$f" ] || [[ "$f" == *$name* ]]; }; then left+=("$f"); fi
done
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"
echo "installed ${#files[@]} paths from $(basename "$deb"), started, purged: none left"
