#!/usr/bin/env bash
# Installs a built console to a scratch prefix and checks what an operator relies on:
# the program folder holds the program with the defaults file beside it and no settings
# of ours (a reinstall keeps the operator's), the desktop entry starts the program in
# that folder, and the launcher finds it. The prefix has a space, a dollar sign, quotes
# and a percent sign in it, which the entry has to escape.
# Usage: tools/check-install.sh BUILD_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "check-install: $*" >&2
  exit 1
}

prefix="$root/a \$b \"c\" 5%"
cmake --install "$build" --prefix "$prefix" >/dev/null
app="$prefix/lib/velmora"
[ -x "$app/VelmoraPro" ] || fail "no program in $app"
cmp -s "$app/VelmoraDef.ini" "$top/resources/VelmoraDef.ini" || fail "no defaults file beside the program"
[ ! -e "$app/VelmoraPro.ini" ] || fail "an install must not bring a settings file"

entry="$prefix/share/applications/velmora.desktop"
[ -f "$entry" ] || fail "no desktop entry"
value() { sed -n "s/^$1=//p" "$entry"; }
[ "$(value Path)" = "$app" ] || fail "Path is '$(value Path)', not the program folder"
want_exec='"'"$root"'/a \\$b \\"c\\" 5%%/lib/velmora/VelmoraPro"'
[ "$(value Exec)" = "$want_exec" ] || fail "Exec is '$(value Exec)', expected '$want_exec'"
[ -f "$(value Icon)" ] || fail "the icon '$(value Icon)' is missing"

# The entry's program answers, started in its folder; so does the launcher through a link.
version=$(cd "$(value Path)" && "$app/VelmoraPro" --version)
[ "$version" = "VelmoraPro 1.0" ] || fail "the program answered '$version'"
ln -s "$prefix/bin/velmora" "$root/velmora"
version=$("$root/velmora" --version)
[ "$version" = "VelmoraPro 1.0" ] || fail "the launcher answered '$version'"

# The operator's saved settings outlive a reinstall.
printf '[VU]\nRefLevel=-12\n' >"$app/VelmoraPro.ini"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(cat "$app/VelmoraPro.ini")" = "$(printf '[VU]\nRefLevel=-12')" ] || fail "a reinstall touched the settings"
[ -f "$prefix/share/man/man1/velmora.1.gz" ] || fail "no manual page"

# The package's layout: under /usr the entry names the icon by its theme name.
DESTDIR="$root/pkg" cmake --install "$build" --prefix /usr >/dev/null
entry="$root/pkg/usr/share/applications/velmora.desktop"
[ "$(value Icon)" = velmora ] || fail "under /usr the icon is '$(value Icon)', not velmora"
[ "$(value Path)" = /usr/lib/velmora ] || fail "under /usr Path is '$(value Path)'"
unit="$root/pkg/usr/lib/systemd/system/velmora-headless@.service"
grep -qx 'ExecStart=/usr/lib/velmora/VelmoraPro --headless --settings /etc/velmora/%i.ini --log-dir /var/log/velmora/%i' "$unit" ||
  fail "no headless service template naming the installed program"
[ ! -e "$prefix/lib/systemd" ] || fail "a personal install must not bring a system service"
echo "check-install: ok"
