#!/usr/bin/env bash
# Seeds for fuzz_lznt1: the stored clusters of real compressed units,
# written by ntfs-3g into a folder marked compressed (text that packs
# well, and text mixed with bytes that do not). Needs ntfs-3g (FUSE).
#   fuzz/seed-lznt1.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-lznt1.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
mounted=0
cleanup() { [ $mounted = 0 ] || fusermount3 -u "$work/mnt"; rm -rf "$work"; }
trap cleanup EXIT
. "$(dirname "$0")/../tests/fixtures/lib.sh"

truncate -s 8M "$work/part.img"
mkntfs -q -Q -F -c 4096 "$work/part.img" >/dev/null 2>&1
mkdir "$work/mnt"
ntfs-3g "$work/part.img" "$work/mnt"
mounted=1
mkdir "$work/mnt/c"
setfattr -n system.ntfs_attrib_be -v 0x00000800 "$work/mnt/c"
generate seed 70000 "$work/text"
cp "$work/text" "$work/mnt/c/text"
{ head -c 20000 "$work/text"; gzip -9n < "$work/text" | head -c 20000; } > "$work/mnt/c/mixed"
fusermount3 -u "$work/mnt"
mounted=0

# The first run of each file: the stored clusters of its first unit.
for name in text mixed; do
    read -r lcn length < <(ntfsinfo -v -F "/c/$name" "$work/part.img" |
        awk '/Runlist:/ {on = 1; next} on && /^\t+0x/ {print $2, $3; exit}')
    dd if="$work/part.img" bs=4096 skip=$((lcn)) count=$((length)) status=none > "$out/unit-$name"
done
