#!/usr/bin/env bash
# Seeds for fuzz_orphan_tree: the first clusters of formatted cards' data
# areas (the test suite's builders), each after a gap byte of 0: a FAT32
# card (512-byte clusters: its old folders, linked by "." and ".."), and,
# where root can build it, an exFAT card cut into 512-byte pieces.
#   fuzz/seed-orphan_tree.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-orphan_tree.sh OUTDIR}
fixtures="$(cd "$(dirname "$0")/../tests/fixtures" && pwd)"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seed MODE IMAGE DATA_BYTE_OFFSET NAME: 64 pieces of 512 bytes from there.
seed() {
    local piece
    {
        printf "\\x$1"
        for piece in $(seq 0 63); do
            printf '\x00'
            dd if="$2" bs=512 skip=$(($3 / 512 + piece)) count=1 status=none
        done
    } > "$out/$4"
}

bash "$fixtures/make-fat32-formatted-image.sh" "$work/fat" >/dev/null
img="$work/fat/disk.img" start=$((2048 * 512))
reserved=$(od -An -tu2 -j$((start + 14)) -N2 "$img" | tr -d ' ')
fatsz=$(od -An -tu4 -j$((start + 36)) -N4 "$img" | tr -d ' ')
seed 00 "$img" $((start + (reserved + 2 * fatsz) * 512)) fat-card

if bash "$fixtures/make-exfat-formatted-image.sh" "$work/exfat" >/dev/null 2>&1; then
    img="$work/exfat/disk.img"
    heap=$(od -An -tu4 -j$((start + 88)) -N4 "$img" | tr -d ' ')
    # The old folders follow the root, the bitmap and the up-case table.
    seed 01 "$img" $((start + heap * 512 + 4 * 4096)) exfat-card
fi
