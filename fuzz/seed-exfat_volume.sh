#!/bin/bash
# Seeds for exfat_volume: a 2 MiB exFAT volume as mkfs.exfat -c 512 -b 4096
# makes it (the geometry of the target's fixed boot sector); as root with
# exfat-fuse, also one written and partly deleted through the driver (long
# and CJK names, a fragmented file, a folder deleted whole). Each cut to the
# target's 256 KiB from the boot sector on.
#   fuzz/seed-exfat_volume.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-exfat_volume.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
mnt="$work/mnt" loop="" mounted=0
cleanup() {
    [ $mounted = 0 ] || umount "$mnt" || true
    [ -z "$loop" ] || losetup -d "$loop" || true
    rm -rf "$work"
}
trap cleanup EXIT

img="$work/x.img"
truncate -s 2M "$img"
mkfs.exfat -c 512 -b 4096 -L SEED "$img" >/dev/null
head -c $((256 * 1024)) "$img" > "$out/empty"

[ "$(id -u)" = 0 ] && [ -e /dev/fuse ] && command -v mount.exfat-fuse >/dev/null || exit 0
loop=$(losetup -f --show "$img") || exit 0
mkdir "$mnt"
mount.exfat-fuse "$loop" "$mnt" 2>/dev/null || exit 0
mounted=1
mkdir -p "$mnt/Docs/Deep" "$mnt/Gone/Inner"
printf 'hello\n' > "$mnt/Long File Name.txt"
head -c 3000 /dev/zero | tr '\0' x > "$mnt/b.bin"
printf 'inner\n' > "$mnt/Docs/inner.txt"
head -c 2000 /dev/zero | tr '\0' y > "$mnt/Docs/Deep/照片.jpg"
printf 'x\n' > "$mnt/Gone/x.txt"
printf 'y\n' > "$mnt/Gone/Inner/y.txt"
for i in 1 2 3 4 5 6; do head -c 512 /dev/zero | tr '\0' "$i" > "$mnt/s$i"; done
sync
rm "$mnt/s2" "$mnt/s4"
head -c 3000 /dev/zero | tr '\0' f > "$mnt/fragmented.bin"
sync
rm "$mnt/Long File Name.txt" "$mnt/Docs/inner.txt" "$mnt/fragmented.bin"
rm -r "$mnt/Gone"
sync
umount "$mnt"
mounted=0
head -c $((256 * 1024)) "$img" > "$out/written"
