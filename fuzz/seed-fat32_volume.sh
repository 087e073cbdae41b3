#!/bin/bash
# Seeds for fat32_volume: real FAT32 volumes made by mkfs.fat and mtools
# (512-byte clusters), cut down to what the target's fixed boot sector
# expects: the first FAT sector (clusters 0 to 127), then clusters 2 to 63.
#   fuzz/seed-fat32_volume.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-fat32_volume.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

# cut IMAGE NAME: the FAT's first sector and the first data clusters.
cut() {
    local img=$1 name=$2 reserved fatsz fats data
    reserved=$(od -An -tu2 -j14 -N2 "$img" | tr -d ' ')
    fats=$(od -An -tu1 -j16 -N1 "$img" | tr -d ' ')
    fatsz=$(od -An -tu4 -j36 -N4 "$img" | tr -d ' ')
    data=$((reserved + fats * fatsz))
    { dd if="$img" bs=512 skip="$reserved" count=1 status=none
      dd if="$img" bs=512 skip="$data" count=62 status=none; } > "$out/$name"
}

volume() {
    local name=$1; shift
    local img="$work/$name.img"
    rm -f "$img"
    mkfs.fat -C -F 32 -s 1 -i 12345678 "$img" 40000 >/dev/null
    "$@" "$img"
    cut "$img" "$name"
}

files() {
    local img=$1
    printf 'hello\n' > "$work/a"; head -c 3000 /dev/zero | tr '\0' x > "$work/b"
    mmd -i "$img" ::/Docs ::/Docs/Deep ::/Gone
    mcopy -i "$img" "$work/a" "::/Long File Name.txt"
    mcopy -i "$img" "$work/b" ::/b.bin
    mcopy -i "$img" "$work/a" ::/Docs/inner.txt
    mcopy -i "$img" "$work/b" "::/Docs/Deep/深.txt"
    mcopy -i "$img" "$work/a" ::/Gone/x.txt
    mdel -i "$img" "::/Long File Name.txt" ::/Docs/inner.txt
    mdeltree -i "$img" ::/Gone
}

many() {
    local img=$1 i
    printf 'x\n' > "$work/a"
    mmd -i "$img" ::/D
    for i in $(seq 1 40); do mcopy -i "$img" "$work/a" "::/D/file number $i.txt"; done
    for i in $(seq 1 3 40); do mdel -i "$img" "::/D/file number $i.txt"; done
}

volume files files
volume many many
volume empty true
