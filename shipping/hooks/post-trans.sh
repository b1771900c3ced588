#!/bin/sh
# Example post hook of tqwl2dir, run as "sh post-trans.sh DIR" after every
# transfer attempt, also a failed one; DIR arrives as "$1". A non-zero exit
# after a successful transfer makes the run end with status 13.
#
# It carries a complete transfer directory to the management side's share
# (TQ_SHARE, as in pre-trans.sh) and then empties the local one, so the next
# run finds it free. A directory that is not complete (marker "terror"
# present) is left alone for the operator: see docs/operations.md.
set -eu
dir=$1

[ -f "$dir/wl.set" ] || exit 0      # nothing written (status 11, 17, ...)
[ ! -e "$dir/terror" ] || exit 1    # a failed transfer
[ -n "${TQ_SHARE:-}" ] || exit 0    # no management side configured

# Copied under a temporary name and renamed, so the import never finds half
# a directory; the marker guards only while tqwl2dir writes.
rm -rf -- "$TQ_SHARE.part"
cp -R -- "$dir" "$TQ_SHARE.part"
rmdir -- "$TQ_SHARE" 2>/dev/null || true
mv -T -- "$TQ_SHARE.part" "$TQ_SHARE"
rm -rf -- "$dir/wl.set" "$dir/worklogs" "$dir/error.log"
