#!/usr/bin/env bash
# The Debian package as a user gets it: installed with dpkg, used by a new
# unprivileged user with an empty home, removed again; afterwards nothing it
# installed may be left. It needs root (dpkg, a user of its own) and exits 77
# (skipped) without it.
#
# usage: install_test.sh PACKAGE.deb SAMPLE.txt
set -euo pipefail

deb=$(realpath "$1")
sample=$(realpath "$2")

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root"
    exit 77
fi
if dpkg-query -W -f='${Status}' qxebook 2>/dev/null | grep -q 'install ok installed'; then
    echo "qxebook is already installed here; the test would remove it"
    exit 1
fi

user=qxtest$$
work=$(mktemp -d)
chmod 755 "$work"  # the new user must reach its home inside
home=$work/home
cleanup() {
    userdel "$user" 2>/dev/null || true
    dpkg --purge qxebook >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

echo "== the package's own checks"
dpkg-deb -x "$deb" "$work/contents"
desktop-file-validate "$work/contents/usr/share/applications/qxebook.desktop" || fail "desktop-file-validate"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian"

echo "== dpkg -i"
dpkg -i "$deb"
dpkg -L qxebook > "$work/installed"
grep -qx /usr/bin/qxebook "$work/installed" || fail "no /usr/bin/qxebook"
grep -q '^/usr/share/qxebook/template/' "$work/installed" || fail "no templates"
grep -qx /usr/share/man/man1/qxebook.1.gz "$work/installed" || fail "no manual page"
man -l /usr/share/man/man1/qxebook.1.gz > /dev/null 2>&1 || zcat /usr/share/man/man1/qxebook.1.gz | grep -q '^\.TH QXEBOOK' ||
    fail "manual page unreadable"

echo "== qxebook --version"
version=$(qxebook --version)
echo "$version"
expected=$(dpkg-deb -f "$deb" Version)
[ "$version" = "qxebook $expected" ] || fail "--version says '$version', the package is $expected"

echo "== a new user converts the sample"
mkdir -p "$home"
useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
cp "$sample" "$home/"
chown -R "$user:" "$home"
book="$home/$(basename "$sample")"
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
as_user qxebook convert "$book" > "$work/convert.out" 2>&1 || { cat "$work/convert.out"; fail "convert"; }
cat "$work/convert.out"
[ -f "$home/.config/qxebook/qx_cfg.ini" ] || fail "no ~/.config/qxebook/qx_cfg.ini"
[ -f "$home/.local/share/qxebook/data.vdb" ] || fail "no ~/.local/share/qxebook/data.vdb"
[ -f "$home/.local/share/qxebook/data.vdt" ] || fail "no ~/.local/share/qxebook/data.vdt"
start=$(find "$home/Documents/My eBooks" -name start.htm | head -n 1)
[ -n "$start" ] || fail "no e-book under ~/Documents/My eBooks"
echo "e-book: $(dirname "$start")"
[ -f "$(dirname "$start")/js/page.js" ] || fail "the e-book has no js/page.js"
# Everything the user has is the user's; nothing was written where the package lives.
[ -z "$(find "$home" ! -user "$user")" ] || fail "files in the home not owned by the user"
[ -z "$(find /usr/share/qxebook /usr/bin/qxebook -newer "$work/installed")" ] ||
    fail "the user's run wrote into the installation"
as_user qxebook params get 24 > /dev/null || fail "params get as the user"

echo "== dpkg --purge"
dpkg --purge qxebook
left=()
while read -r f; do
    [ -e "$f" ] || continue
    # Shared folders such as /usr/bin stay; files and the package's own folders must go.
    if [ -d "$f" ]; then
        case "$f" in
            */qxebook|*/qxebook/*) left+=("$f") ;;
        esac
    else
        left+=("$f")
    fi
done < "$work/installed"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
echo "PASS: installed, used by $user, removed without a trace ($(wc -l < "$work/installed") paths)"
