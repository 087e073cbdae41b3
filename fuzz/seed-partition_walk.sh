#!/usr/bin/env bash
# Writes seed inputs for the partition_walk fuzz target into OUTDIR: disks of
# 4 MiB made by sfdisk, mkfs.fat and mkntfs, each cut to the target's input
# layout (a variant byte, the first 34 sectors, the last 33 sectors).
set -euo pipefail
out=${1:?usage: seed-partition_walk.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# cut IMAGE NAME: the seed for IMAGE.
cut() {
    { printf '\0'
      dd if="$1" bs=512 count=34 status=none
      dd if="$1" bs=512 skip=$((4 * 2048 - 33)) count=33 status=none; } > "$out/$2"
}

table() {  # NAME: an sfdisk script on stdin
    truncate -s 4M "$work/$1.img"
    sfdisk -q --no-reread --no-tell-kernel "$work/$1.img"
    cut "$work/$1.img" "$1"
}

# Extended boot records at sectors 4, 11 and 17, inside the input's reach.
table dos-chain <<'T'
label: dos
unit: sectors
start=2, size=2, type=c, bootable
start=4, size=60, type=f
start=6, size=4, type=7
start=12, size=4, type=b
start=18, size=4, type=83
start=64, size=100, type=7
T
table gpt <<'T'
label: gpt
unit: sectors
start=34, size=2048, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B
start=2082, size=2048, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=4130, size=2048, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, attrs=LegacyBIOSBootable
T
if command -v mkfs.fat >/dev/null; then
    truncate -s 4M "$work/fat32.img"
    mkfs.fat -F 32 "$work/fat32.img" >/dev/null 2>&1 && cut "$work/fat32.img" bare-fat32
fi
if command -v mkntfs >/dev/null; then
    truncate -s 4M "$work/ntfs.img"
    mkntfs -q -Q -F "$work/ntfs.img" >/dev/null 2>&1 && cut "$work/ntfs.img" bare-ntfs
fi
