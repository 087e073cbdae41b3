#!/usr/bin/env bash
# Makes the demo disk: a whole-disk image with a master boot record holding
# a FAT32 partition, an NTFS partition, a FAT16 partition laid out as a
# camera's card, and an extended partition with two logical partitions: an
# exFAT one and one of Linux's type (0x83) with no file system the program
# reads (listed as UNKNOWN, not scanned). Each file system holds a few small
# files, some deleted, Chinese names among them; on the card a whole folder
# of photos was deleted, its entries spread over clusters that do not
# follow one another, so the deeper scan (--deep, D) finds more there than
# the plain one. The originals are kept beside the image, in
# OUT.files/fat32, ntfs, fat16 and exfat, so a recovered file can be
# compared with its original.
#
# Usage: scripts/make-demo-image.sh OUT.img
#
# Only Debian's tools are used: sfdisk, mkfs.fat and mtools for FAT32 and
# FAT16; mkntfs and ntfscp for NTFS, deleting with the ntfs-3g driver where
# FUSE works (root and /dev/fuse), else by clearing the in-use flag of the
# file's record; mkfs.exfat, and the exfat-fuse driver on a loop device to
# write and delete files (root, FUSE and a loop device; without them the
# exFAT volume stays empty). Each partition is made in a file of its own
# and copied into place: no mount of the whole image is needed.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUT.img" >&2
    exit 2
fi
out=$1
export LC_ALL=C.UTF-8          # mtools turns the Chinese names into long names by the locale
export MTOOLS_SKIP_CHECK=1

for tool in sfdisk mkfs.fat mmd mcopy mdel mdeltree mkntfs ntfscp ntfsinfo mkfs.exfat od dd; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (run scripts/setup demo as root)" >&2; exit 1; }
done

# Sectors of 512 bytes.
fat_start=2048;      fat_size=131072     # 64 MiB: enough clusters of 512 bytes for FAT32
ntfs_start=133120;   ntfs_size=131072    # 64 MiB
card_start=264192;   card_size=32768     # 16 MiB of FAT16, clusters of 512 bytes
ext_start=296960;    ext_size=86016      # the extended partition: two logical ones
exfat_start=299008;  exfat_size=65536    # 32 MiB
linux_start=366592;  linux_size=16384
total=$((ext_start + ext_size))

work=$(mktemp -d "${TMPDIR:-/tmp}/undelete-demo.XXXXXX")
fuse_pid= exfat_loop= exfat_mounted=0
cleanup() {
    if [ -n "$fuse_pid" ]; then
        umount "$work/mnt" 2>/dev/null || true
        wait "$fuse_pid" 2>/dev/null || true
    fi
    [ $exfat_mounted = 0 ] || umount "$work/exfat-mnt" 2>/dev/null || true
    [ -z "$exfat_loop" ] || losetup -d "$exfat_loop" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- the originals -------------------------------------------------------------
files=$work/files
mkdir -p "$files/fat32/Docs" "$files/ntfs" "$files/fat16" "$files/exfat"

lines() {  # lines PREFIX COUNT: numbered text lines, so a content is easy to check by eye
    local i
    for ((i = 1; i <= $2; i++)); do printf '%s 第%03d行: the quick brown fox jumps over the lazy dog\n' "$1" "$i"; done
}
printf '这是演示磁盘。\nThis demo disk holds a few files; some of them are deleted.\n' > "$files/fat32/readme.txt"
{ printf '季度报告\nQuarterly report, first draft.\n'; lines 报告 4; } > "$files/fat32/报告.txt"
{ printf '照片说明\n海边日落, 2024 年夏天.\n'; lines 照片 3; } > "$files/fat32/Docs/照片说明.txt"
{ printf 'Meeting notes\n'; lines notes 6; } > "$files/fat32/Docs/Meeting Notes.txt"
printf 'Buy milk\nCall the plumber\n' > "$files/fat32/Docs/todo.txt"
{ printf 'month,income,expense\n'; for m in $(seq 1 12); do for d in $(seq 1 9); do printf '2024-%02d-%02d,%d,%d\n' "$m" "$d" $((m * 1000 + d)) $((m * 700 + d * 3)); done; done; } \
    > "$files/fat32/Budget-2024.csv"   # several clusters long

printf 'This file stays.\n' > "$files/ntfs/keep.txt"
{ printf '说明\n这个文件在 NTFS 分区上, 已被删除.\n'; lines 说明 2; } > "$files/ntfs/说明.txt"
{ printf 'Report 2024\n'; lines report 5; } > "$files/ntfs/Report-2024.txt"
lines 日志 80 > "$files/ntfs/日志.log"   # too big to stay resident in its record

photo() {  # photo FILE SIZE: a small file that starts and ends as a JPEG does
    { printf '\377\330\377\340\000\020JFIF\000'; lines "$(basename "$1")" $(($2 / 80)); printf '\377\331'; } > "$1"
}
mkdir -p "$files/fat16/DCIM/100CANON" "$files/fat16/DCIM/101CANON"
for n in 1 2 3 4 5 6; do photo "$files/fat16/DCIM/100CANON/IMG_000$n.JPG" $((1200 + 150 * n)); done
for n in $(seq 1 14); do photo "$files/fat16/DCIM/101CANON/Beach day $n.jpg" $((1500 + 100 * n)); done

mkdir -p "$files/exfat/Notes" "$files/exfat/Old"
{ printf '旅行计划\nTrip plan: train at 8:15, hotel by the lake.\n'; lines 旅行 6; } > "$files/exfat/旅行计划.txt"
{ printf '会议记录\nMeeting minutes.\n'; lines 会议 10; } > "$files/exfat/Notes/会议记录.txt"
printf 'Bread\nApples\nCoffee\n' > "$files/exfat/Notes/Shopping list.txt"
lines "old draft" 40 > "$files/exfat/Old/draft-1.txt"
lines "old letter" 25 > "$files/exfat/Old/letter.txt"

# --- the disk --------------------------------------------------------------------
img=$work/disk.img
truncate -s $((total * 512)) "$img"
sfdisk -q --no-reread --no-tell-kernel "$img" <<EOF
label: dos
unit: sectors
start=$fat_start, size=$fat_size, type=c, bootable
start=$ntfs_start, size=$ntfs_size, type=7
start=$card_start, size=$card_size, type=6
start=$ext_start, size=$ext_size, type=f
start=$exfat_start, size=$exfat_size, type=7
start=$linux_start, size=$linux_size, type=83
EOF

# --- FAT32 --------------------------------------------------------------------------
# (mkfs.fat warns that the image is larger than the file system: it is.)
mkfs.fat -F 32 -s 1 -h $fat_start --offset=$fat_start -i 20240501 -n DEMO "$img" $((fat_size / 2)) \
    >"$work/mkfs.log" 2>&1 || { cat "$work/mkfs.log" >&2; exit 1; }
fat=$img@@$((fat_start * 512))
mmd -i "$fat" ::/Docs
for f in readme.txt 报告.txt Budget-2024.csv Docs/照片说明.txt "Docs/Meeting Notes.txt" Docs/todo.txt; do
    mcopy -i "$fat" "$files/fat32/$f" "::/$f"
done
for f in 报告.txt Budget-2024.csv Docs/照片说明.txt "Docs/Meeting Notes.txt"; do
    mdel -i "$fat" "::/$f"
done

# --- NTFS ---------------------------------------------------------------------------
part=$work/ntfs.part
truncate -s $((ntfs_size * 512)) "$part"
mkntfs -q -Q -F -T -c 4096 -s 512 -p $ntfs_start -H 255 -S 63 -L DEMO "$part" $ntfs_size >/dev/null 2>&1
for f in keep.txt 说明.txt Report-2024.txt 日志.log; do
    ntfscp "$part" "$files/ntfs/$f" "/$f" >/dev/null
done
ntfs_deleted=(说明.txt Report-2024.txt 日志.log)

delete_with_driver() {
    [ "$(id -u)" -eq 0 ] && [ -c /dev/fuse ] && command -v ntfs-3g >/dev/null && command -v mountpoint >/dev/null || return 1
    mkdir -p "$work/mnt"
    ntfs-3g -o no_detach "$part" "$work/mnt" >/dev/null 2>&1 &
    fuse_pid=$!
    local i
    for ((i = 0; i < 50; i++)); do
        mountpoint -q "$work/mnt" && break
        kill -0 "$fuse_pid" 2>/dev/null || break
        sleep 0.1
    done
    local ok=0
    if mountpoint -q "$work/mnt"; then
        ok=1
        for f in "${ntfs_deleted[@]}"; do rm -f "$work/mnt/$f" || ok=0; done
        umount "$work/mnt" || ok=0
    else
        kill "$fuse_pid" 2>/dev/null || true
    fi
    wait "$fuse_pid" 2>/dev/null || true
    fuse_pid=
    [ $ok -eq 1 ]
}

# Clears the in-use flag (u16 at offset 22 of the record) of each file: what
# a deletion leaves in the master file table, without a mount.
delete_by_flag() {
    local per_sector per_cluster mft_cluster record f
    per_sector=$(od -An -t u2 -j 11 -N 2 "$part" | tr -d ' ')
    per_cluster=$(od -An -t u1 -j 13 -N 1 "$part" | tr -d ' ')
    mft_cluster=$(od -An -t u8 -j 48 -N 8 "$part" | tr -d ' ')
    for f in "${ntfs_deleted[@]}"; do
        record=$(ntfsinfo -F "/$f" "$part" | sed -n 's/^Dumping Inode \([0-9]*\).*/\1/p')
        [ -n "$record" ] || { echo "$0: no record for /$f" >&2; return 1; }
        printf '\0\0' | dd of="$part" bs=1 seek=$((mft_cluster * per_cluster * per_sector + record * 1024 + 22)) \
            conv=notrunc status=none
    done
}

how="the ntfs-3g driver"
delete_with_driver || { how="clearing the in-use flags"; delete_by_flag; }
dd if="$part" of="$img" bs=1M seek=$((ntfs_start * 512)) oflag=seek_bytes conv=notrunc,sparse status=none

# --- FAT16: a camera's card ---------------------------------------------------------
mkfs.fat -F 16 -s 1 -h $card_start --offset=$card_start -i 20240701 -n CARD "$img" $((card_size / 2)) \
    >"$work/mkfs.log" 2>&1 || { cat "$work/mkfs.log" >&2; exit 1; }
card=$img@@$((card_start * 512))
mmd -i "$card" ::/DCIM ::/DCIM/100CANON ::/DCIM/101CANON
for n in 1 2 3 4; do mcopy -i "$card" "$files/fat16/DCIM/100CANON/IMG_000$n.JPG" ::/DCIM/100CANON/; done
# 101CANON's entries fill three clusters of 512 bytes; the photos of the
# other folder, written between them, take the clusters in between.
beach() { local n; for n in "$@"; do mcopy -i "$card" "$files/fat16/DCIM/101CANON/Beach day $n.jpg" ::/DCIM/101CANON/; done; }
beach 1 2 3 4
mcopy -i "$card" "$files/fat16/DCIM/100CANON/IMG_0005.JPG" ::/DCIM/100CANON/
beach 5 6 7 8 9
mcopy -i "$card" "$files/fat16/DCIM/100CANON/IMG_0006.JPG" ::/DCIM/100CANON/
beach 10 11 12 13 14
mdel -i "$card" ::/DCIM/100CANON/IMG_0002.JPG ::/DCIM/100CANON/IMG_0004.JPG
mdeltree -i "$card" ::/DCIM/101CANON

# --- exFAT ---------------------------------------------------------------------------
xpart=$work/exfat.part
truncate -s $((exfat_size * 512)) "$xpart"
mkfs.exfat -L NOTES "$xpart" >/dev/null

# Writes and deletes through the driver, which needs a block device.
write_exfat() {
    [ "$(id -u)" -eq 0 ] && [ -c /dev/fuse ] && command -v mount.exfat-fuse >/dev/null &&
        command -v losetup >/dev/null || return 1
    exfat_loop=$(losetup -f --show "$xpart" 2>/dev/null) || { exfat_loop=; return 1; }
    mkdir -p "$work/exfat-mnt"
    mount.exfat-fuse "$exfat_loop" "$work/exfat-mnt" 2>/dev/null || return 1
    exfat_mounted=1
    local m=$work/exfat-mnt
    mkdir "$m/Notes" "$m/Old"
    cp "$files/exfat/旅行计划.txt" "$m/"
    cp "$files/exfat/Notes/会议记录.txt" "$files/exfat/Notes/Shopping list.txt" "$m/Notes/"
    cp "$files/exfat/Old/draft-1.txt" "$files/exfat/Old/letter.txt" "$m/Old/"
    sync
    rm "$m/旅行计划.txt" "$m/Notes/会议记录.txt"
    rm -r "$m/Old"
    sync
    umount "$m"
    exfat_mounted=0
    losetup -d "$exfat_loop"
    exfat_loop=
}
exfat_how="the exfat-fuse driver"
write_exfat || { exfat_how="nothing (the exFAT volume is empty: writing it needs root, FUSE and a loop device)"; }
dd if="$xpart" of="$img" bs=1M seek=$((exfat_start * 512)) oflag=seek_bytes conv=notrunc,sparse status=none

# --- in place ----------------------------------------------------------------------
mkdir -p "$(dirname "$out")"
rm -rf "$out.files"
mv "$files" "$out.files"
mv "$img" "$out"
echo "demo disk: $out (originals in $out.files; NTFS files deleted by $how; exFAT files written by $exfat_how)"
