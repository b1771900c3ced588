#!/usr/bin/env bash
# cmake --install into a temporary prefix, then run the installed programs.
#   install_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/tqinstall-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
source "$here/common.sh"

cmake --install "$1" --prefix "$prefix" >/dev/null
check_installed_programs
[[ -f $prefix/lib/systemd/system/tqwl2dir.timer ]] || fail "systemd timer missing"
echo "installed programs run"
