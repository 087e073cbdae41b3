#!/usr/bin/env bash
# Seeds for fuzz_fat_orphan: the cluster limit (u32) and then one cluster of
# a real folder, written by mtools (512-byte clusters; long names, deleted
# entries), and one of file text.
#   fuzz/seed-fat_orphan.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-fat_orphan.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
. "$(dirname "$0")/../tests/fixtures/lib.sh"

img="$work/v.img"
mkfs.fat -C -F 32 -s 1 -i 12345678 "$img" 40000 >/dev/null
mmd -i "$img" ::/Album
generate text 1500 "$work/f"
for i in 1 2 3 4 5 6 7 8; do mcopy -i "$img" "$work/f" "::/Album/Holiday photo $i.jpg"; done
mdel -i "$img" "::/Album/Holiday photo 3.jpg" "::/Album/Holiday photo 6.jpg"
reserved=$(od -An -tu2 -j14 -N2 "$img" | tr -d ' ')
fatsz=$(od -An -tu4 -j36 -N4 "$img" | tr -d ' ')
data=$((reserved + 2 * fatsz))
limit='\x40\x9c\x00\x00'
n=0
for cluster in $(mshowfat -i "$img" ::/Album | grep -o '<[0-9-]*>' | tr -d '<>' |
                 awk -F- '{for (c = $1; c <= ($2 ? $2 : $1); c++) print c}'); do
    { printf "$limit"; dd if="$img" bs=512 skip=$((data + cluster - 2)) count=1 status=none; } \
        > "$out/dir-$n"
    n=$((n + 1))
done
{ printf "$limit"; head -c 512 "$work/f"; } > "$out/text"
