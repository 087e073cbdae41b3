#!/bin/bash
# Builds OUTDIR/disk.img: an MBR disk with one FAT32 partition (type 0x0C,
# 4 KiB clusters) whose 24 folders each fill their first cluster with
# deleted one-cluster files: a scan with thousands of rows, long enough to
# be stopped while it lists. OUTDIR/count holds the number of deleted files
# a scan lists (each 8.3 upper-case name: one directory entry each).
# Row 1 is a card's file system: FAT16 (type 0x06) with one deleted file,
# whose original lies in OUTDIR/card/DCIM/.
set -euo pipefail

out=${1:?usage: make-many-files-image.sh OUTDIR}
. "$(dirname "$0")/../fixtures/lib.sh"
need_tools sfdisk mkfs.fat mcopy mmd mdel

export LC_ALL=C.UTF-8 TZ=UTC MTOOLS_SKIP_CHECK=1
mkdir -p "$out/files"
img="$out/disk.img"

# 300 MiB keeps at least 65,525 clusters of 4 KiB.
start=2048 size=614400
card=616448 cardSize=16384  # 8 MiB: enough clusters of 512 bytes for FAT16
rm -f "$img"
truncate -s $(((card + cardSize) * 512)) "$img"
sfdisk -q --no-reread --no-tell-kernel "$img" <<TABLE
label: dos
unit: sectors
start=$start, size=$size, type=c
start=$card, size=$cardSize, type=6
TABLE
# (Quiet: it warns that the image goes on past the volume.)
mkfs.fat -F 32 -s 8 -h "$start" --offset="$start" -i 600DF11E "$img" $((size / 2)) >/dev/null 2>&1

# A 4 KiB folder cluster holds 128 entries: ".", ".." and 126 files.
folders=24 perFolder=126
names=()
for ((i = 0; i < perFolder; i++)); do
    name=$(printf 'F%03d.TXT' "$i")
    printf 'file %d\n' "$i" > "$out/files/$name"
    names+=("$out/files/$name")
done
at="$img@@$((start * 512))"
for ((d = 1; d <= folders; d++)); do
    folder=$(printf '::/D%02d' "$d")
    mmd -i "$at" "$folder"
    mcopy -i "$at" "${names[@]}" "$folder/"
    mdel -i "$at" "$folder/*"
done
echo $((folders * perFolder)) > "$out/count"

mkfs.fat -F 16 -s 1 -h "$card" --offset="$card" -i CA7DF16E "$img" $((cardSize / 2)) >/dev/null
mkdir -p "$out/card/DCIM"
for ((i = 1; i <= 40; i++)); do printf '相机 %03d: the quick brown fox\n' "$i"; done \
    > "$out/card/DCIM/相机照片说明.txt"
at="$img@@$((card * 512))"
mmd -i "$at" ::/DCIM
mcopy -i "$at" "$out/card/DCIM/相机照片说明.txt" "::/DCIM/相机照片说明.txt"
mdel -i "$at" "::/DCIM/相机照片说明.txt"
