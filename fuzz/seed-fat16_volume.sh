#!/bin/bash
# Seeds for fat16_volume: FAT16 and FAT12 volumes made by mkfs.fat (one
# sector a cluster) and written and partly deleted with mtools, cut to the
# target's 256 KiB from the boot sector on.
#   fuzz/seed-fat16_volume.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-fat16_volume.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

files() {
    local img=$1
    printf 'hello\n' > "$work/a"; head -c 3000 /dev/zero | tr '\0' x > "$work/b"
    mmd -i "$img" ::/Docs ::/Docs/Deep ::/Gone
    mcopy -i "$img" "$work/a" "::/Long File Name.txt"
    mcopy -i "$img" "$work/b" ::/b.bin
    mcopy -i "$img" "$work/a" ::/summary.txt
    mcopy -i "$img" "$work/a" ::/Docs/inner.txt
    mcopy -i "$img" "$work/b" "::/Docs/Deep/深.txt"
    mcopy -i "$img" "$work/a" ::/Gone/x.txt
    mdel -i "$img" "::/Long File Name.txt" ::/summary.txt ::/Docs/inner.txt
    mdeltree -i "$img" ::/Gone
}

for layout in 16:8192 12:1440; do
    bits=${layout%:*} kib=${layout#*:}
    img="$work/fat$bits.img"
    mkfs.fat -C -F "$bits" -s 1 -i 16161616 "$img" "$kib" >/dev/null
    cp "$img" "$work/empty.img"
    files "$img"
    head -c $((256 * 1024)) "$img" > "$out/fat$bits"
    head -c $((256 * 1024)) "$work/empty.img" > "$out/fat$bits-empty"
done
