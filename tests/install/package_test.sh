#!/usr/bin/env bash
# Builds the station and management Debian packages and checks them: their
# contents and declared dependencies, then the programs they install. In CI
# (CI=true, as root) the packages are really installed with dpkg and removed
# again; elsewhere they are unpacked into a scratch directory.
#   package_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
tmp=$(mktemp -d /tmp/tqpackage-XXXXXX)
installed=()
cleanup() {
  if ((${#installed[@]})); then
    dpkg -r "${installed[@]}" >/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
source "$here/common.sh"

(cd "$build" && cpack -G DEB -B "$tmp/packages" >/dev/null)
station=$(ls "$tmp"/packages/tq-station_*.deb)
management=$(ls "$tmp"/packages/tq-management_*.deb)

depends() { dpkg-deb -f "$1" Depends; }
[[ $(depends "$station") == *libmodbus5* && $(depends "$station") == *libncurses* ]] ||
  fail "station dependencies: $(depends "$station")"
[[ $(depends "$management") == *libmariadb3* && $(depends "$management") == *libiniparser1* ]] ||
  fail "management dependencies: $(depends "$management")"
# Listed to files first: grep -q ending early would break the pipe.
dpkg-deb -c "$station" >"$tmp/station.list"
dpkg-deb -c "$management" >"$tmp/management.list"
grep -q './usr/bin/tqrunner_tui$' "$tmp/station.list" || fail "station package lacks tqrunner_tui"
grep -q './usr/bin/tqraport$' "$tmp/management.list" || fail "management package lacks tqraport"
if grep -q 'tqraport' "$tmp/station.list"; then fail "station package holds tqraport"; fi

if [[ ${CI:-} == true && $(id -u) == 0 ]]; then
  dpkg -i "$station" "$management" >/dev/null
  installed=(tq-station tq-management)
  prefix=/usr
else
  dpkg-deb -x "$station" "$tmp/root"
  dpkg-deb -x "$management" "$tmp/root"
  prefix=$tmp/root/usr
fi
check_installed_programs
echo "packages built and their programs run (${installed[*]:-unpacked})"
