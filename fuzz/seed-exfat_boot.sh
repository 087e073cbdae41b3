#!/bin/bash
# Seeds for exfat_boot: the boot regions (twelve sectors) that mkfs.exfat
# writes for volumes of several sizes and cluster sizes, and the first
# sectors of FAT12, FAT16 and FAT32 volumes made by mkfs.fat (boot sector,
# then the first FAT's start).
#   fuzz/seed-exfat_boot.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-exfat_boot.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for layout in 8M:4K 64M:32K 300M:512; do
    size=${layout%:*} cluster=${layout#*:}
    rm -f "$work/x.img"
    truncate -s "$size" "$work/x.img"
    mkfs.exfat -c "$cluster" "$work/x.img" >/dev/null
    dd if="$work/x.img" of="$out/exfat-$size-$cluster" bs=512 count=12 status=none
done
for layout in 12:1440 16:32768 32:70000; do
    bits=${layout%:*} kib=${layout#*:}
    rm -f "$work/x.img"
    mkfs.fat -C -F "$bits" -s 1 "$work/x.img" "$kib" >/dev/null
    reserved=$(od -An -tu2 -j14 -N2 "$work/x.img" | tr -d ' ')
    { dd if="$work/x.img" bs=512 count=1 status=none
      dd if="$work/x.img" bs=512 skip="$reserved" count=2 status=none; } > "$out/fat$bits"
done
