#!/bin/bash
# Builds OUTDIR/disk.img: an MBR disk with one NTFS partition (row 0, 32
# MiB, 4 KiB clusters) holding /Packed/packed.txt, written compressed by
# the ntfs-3g driver (units of 16 clusters) and then deleted; the first
# chunk of its second unit is then made to open with a back-reference,
# which no chunk can, so that unit does not decode. A save gives the
# original with that unit's 65,536 bytes as zeros: OUTDIR/expected.txt.
set -euo pipefail

out=${1:?usage: make-damaged-unit-image.sh OUTDIR}
. "$(dirname "$0")/../fixtures/lib.sh"
need_tools sfdisk mkntfs ntfs-3g ntfsinfo fusermount3 setfattr stat od dd

export LC_ALL=C.UTF-8 TZ=UTC
mkdir -p "$out/mnt"
img="$out/disk.img" part="$out/part.img" mnt="$out/mnt"
start=2048 size=65536 cluster=4096 unit=65536
rm -f "$img" "$part"
truncate -s $(((start + size) * 512)) "$img"
sfdisk -q --no-reread --no-tell-kernel "$img" <<TABLE
label: dos
unit: sectors
start=$start, size=$size, type=7
TABLE
ntfs_format "$part" $size $start
trap ntfs_unmount EXIT

generate packed 300000 "$out/packed.txt"
ntfs_session "$part"
mkdir "$mnt/Packed"
setfattr -n system.ntfs_attrib_be -v 0x00000800 "$mnt/Packed"
cp "$out/packed.txt" "$mnt/Packed/packed.txt"
record=$(stat -c %i "$mnt/Packed/packed.txt")
ntfs_unmount

# The cluster of VCN 16 (0x10), where the second unit's data starts.
lcn=$(ntfsinfo -v -i "$record" "$part" | awk '$1 == "0x10" && $2 ~ /^0x/ { print $2 }')
[ -n "$lcn" ] || { echo "packed.txt: no run starts at VCN 16" >&2; exit 1; }

ntfs_session "$part"
rm "$mnt/Packed/packed.txt"
ntfs_unmount

# Byte 2 of a unit is its first chunk's first flag byte: bit 0 set makes
# the first token a back-reference, before anything was decoded.
flags=$(((lcn) * cluster + 2))
byte=$(od -An -tu1 -j "$flags" -N1 "$part" | tr -d ' ')
printf "\\$(printf '%03o' $((byte | 1)))" | dd of="$part" bs=1 seek="$flags" conv=notrunc status=none

dd if="$part" of="$img" bs=512 seek=$start conv=notrunc status=none
rm -f "$part"
rmdir "$mnt"

cp "$out/packed.txt" "$out/expected.txt"
dd if=/dev/zero of="$out/expected.txt" bs=$unit seek=1 count=1 conv=notrunc status=none
