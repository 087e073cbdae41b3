#!/bin/bash
# Seeds for exfat_directory: directory clusters of real exFAT volumes. An
# empty root made by mkfs.exfat (label, bitmap and up-case entries) and the
# up-case table it writes; as root, also the directories of the exFAT test
# image (tests/fixtures/make-exfat-image.sh: live and deleted sets, CJK and
# 255-character names, a deleted folder), one seed per directory and one of
# all of them one after another.
#   fuzz/seed-exfat_directory.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-exfat_directory.sh OUTDIR}
mkdir -p "$out"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

field() { od -An -tu"$3" -j$(($1 + $2)) -N"$3" "$4" | tr -d ' '; }

# cluster IMAGE START_BYTES CLUSTER: that cluster's bytes on stdout.
cluster() {
    local img=$1 start=$2 k=$3 sectorShift clusterShift heap
    sectorShift=$(field "$start" 108 1 "$img")
    clusterShift=$(field "$start" 109 1 "$img")
    heap=$(field "$start" 88 4 "$img")
    dd if="$img" bs=$((1 << (sectorShift + clusterShift))) count=1 status=none \
        iflag=skip_bytes skip=$((start + (heap << sectorShift) + ((k - 2) << (sectorShift + clusterShift))))
}

truncate -s 8M "$work/empty.img"
mkfs.exfat -L 'EMPTY' "$work/empty.img" >/dev/null
cluster "$work/empty.img" 0 "$(field 0 96 4 "$work/empty.img")" > "$out/empty-root"
# The up-case table follows the bitmap in a fresh volume.
cluster "$work/empty.img" 0 3 > "$out/upcase-table"

# The test image's root is cluster 5; its folders, made first, 6 to 9.
if "$here/../tests/fixtures/make-exfat-image.sh" "$work/image" >/dev/null 2>&1; then
    for k in 5 6 7 8 9; do cluster "$work/image/disk.img" $((2048 * 512)) $k > "$out/image-$k"; done
    cat "$out"/image-? > "$out/image-all"
fi
