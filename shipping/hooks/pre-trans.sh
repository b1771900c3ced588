#!/bin/sh
# Example pre hook of tqwl2dir, run as "sh pre-trans.sh DIR" in the runner's
# working directory before the transfer; DIR arrives as "$1", one argument.
# A non-zero exit stops the run (status 13) before anything is touched.
#
# TQ_SHARE names the management side's transfer directory as mounted at the
# station (an NFS or SMB share, e.g. /mnt/tq-manage/station1). While the
# previous transfer still waits there unimported, refuse: shipping on would
# only pile up transfers.
set -eu
dir=$1

[ -d "$dir" ] || mkdir -p -- "$dir"

if [ -n "${TQ_SHARE:-}" ] && [ -e "$TQ_SHARE/wl.set" ]; then
    echo "pre-trans.sh: poprzedni transfer nie zostal jeszcze zaimportowany" >&2
    exit 1
fi
exit 0
