#!/usr/bin/env bash
# Builds the Debian package from a build tree configured with -DCMAKE_INSTALL_PREFIX=/usr, checks
# its contents and lintian, installs it, plays the installed program through the sample show it
# brings on a virtual display, and removes the package again. Needs root (or sudo) for apt-get.
#   tools/package.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300)

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
  echo "package.sh: $build is configured for $prefix; the package needs -DCMAKE_INSTALL_PREFIX=/usr" >&2
  exit 1
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

rm -f "$build"/vornscr_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/vornscr_*_amd64.deb)
pass "built $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's#^\./#/#' >"$work/contents"
missing=()
for path in /usr/libexec/xscreensaver/vornscr /usr/bin/vornscr /usr/bin/vornscr-tool \
  /usr/share/xscreensaver/config/vornscr.xml /usr/share/man/man6/vornscr.6.gz \
  /usr/share/doc/vornscr/copyright /usr/share/doc/vornscr/changelog.gz /usr/share/doc/vornscr/manual.md \
  /usr/share/vornscr/sample/vornscr/script.txt; do
  grep -qx -- "$path" "$work/contents" || missing+=("$path")
done
caches=$(grep -c '^/usr/share/vornscr/sample/.*\.bin$' "$work/contents" || true)
link=$(dpkg-deb -c "$deb" | awk '$6 == "./usr/bin/vornscr" { print $8 }')
if [ ${#missing[@]} -eq 0 ] && [ "$caches" -gt 0 ] && [ "$link" = ../libexec/xscreensaver/vornscr ]; then
  pass "the package holds the programs, settings, pages, manual and the sample show with $caches caches"
else
  fail "package contents: missing ${missing[*]:-nothing}, $caches caches, /usr/bin/vornscr -> '$link'"
fi

if lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1; then
  pass "lintian finds no error ($(grep -c '^W: ' "$work/lintian.log" || true) warnings)"
else
  fail "lintian: $(grep '^E: ' "$work/lintian.log" || cat "$work/lintian.log")"
fi

xvfb=
cleanup()
{
  [ -n "$xvfb" ] && "$root/tests/e2e/xvfb.sh" stop "$xvfb"
  if dpkg -s vornscr >/dev/null 2>&1; then "${apt[@]}" purge vornscr >>"$work/apt.log" 2>&1 || true; fi
}
trap cleanup EXIT
"${apt[@]}" install "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
pass "apt-get installs the package"

"$root/tests/e2e/xvfb.sh" start "$work/xvfb" >"$work/xvfb-start.log"
xvfb=$work/xvfb
# From a directory without a show and a registry without an entry: the sample show plays.
mkdir -p "$work/home"
touch "$work/marker"
sleep 1
status=0
(cd "$work/home" && DISPLAY=$(cat "$xvfb/display") XDG_CONFIG_HOME=$work/config \
  VORNSCR_LOG=$work/play.log timeout 120 /usr/libexec/xscreensaver/vornscr -window -frames 30) \
  >"$work/play.out" 2>&1 || status=$?
sample=/usr/share/vornscr/sample
written=$(find "$sample" -newer "$work/marker")
if [ $status -eq 0 ] && [ "$(grep -c "playing the sample show of $sample" "$work/play.log")" -eq 1 ] &&
  grep -q '^Texture units: ' "$work/play.log" && ! grep -v '^\.\./' "$work/play.log" | grep -q -i 'error' && [ -z "$written" ]; then
  pass "the installed program plays the sample show and writes nothing into it"
else
  fail "installed program: exit $status, written: ${written:-nothing}, log: $(grep -v '^\.\./' "$work/play.log" | head -n 40)"
fi
[ "$(command -v vornscr)" = /usr/bin/vornscr ] || fail "vornscr is not on the path: $(command -v vornscr)"

"${apt[@]}" purge vornscr >>"$work/apt.log" 2>&1
if [ ! -e /usr/libexec/xscreensaver/vornscr ] && [ ! -e "$sample" ] && ! dpkg -s vornscr >/dev/null 2>&1; then
  pass "the package is removed again"
else
  fail "removal left the program or the sample show behind"
fi

if [ $failures -gt 0 ]; then
  echo "$failures package check(s) failed; logs in $work" >&2
  exit 1
fi
echo "All package checks passed"
