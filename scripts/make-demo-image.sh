#!/usr/bin/env bash
# Makes the demo disk: a whole-disk image with a master boot record, a FAT32
# partition, an NTFS partition and an extended partition holding one
# logical partition of Linux's type (0x83) with no file system the program
# reads (it is listed as UNKNOWN and not scanned). The two file
# systems hold a few small files; some are deleted, Chinese names among
# them. The originals are kept beside the image, in OUT.files/fat32 and
# OUT.files/ntfs, so a recovered file can be compared with its original.
#
# Usage: scripts/make-demo-image.sh OUT.img
#
# Only Debian's tools are used: sfdisk, mkfs.fat and mtools for FAT32;
# mkntfs and ntfscp for NTFS, deleting with the ntfs-3g driver where FUSE
# works (root and /dev/fuse), else by clearing the in-use flag of the
# file's record. No loop device and no mount of the whole image is needed.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUT.img" >&2
    exit 2
fi
out=$1
export LC_ALL=C.UTF-8          # mtools turns the Chinese names into long names by the locale
export MTOOLS_SKIP_CHECK=1

for tool in sfdisk mkfs.fat mmd mcopy mdel mkntfs ntfscp ntfsinfo od dd; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (run scripts/setup demo as root)" >&2; exit 1; }
done

# Sectors of 512 bytes.
fat_start=2048;    fat_size=131072     # 64 MiB: enough clusters of 512 bytes for FAT32
ntfs_start=133120; ntfs_size=131072    # 64 MiB
ext_start=264192;  ext_size=18432
logical_start=266240; logical_size=16384
total=$((ext_start + ext_size))

work=$(mktemp -d "${TMPDIR:-/tmp}/undelete-demo.XXXXXX")
fuse_pid=
cleanup() {
    if [ -n "$fuse_pid" ]; then
        umount "$work/mnt" 2>/dev/null || true
        wait "$fuse_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- the originals -------------------------------------------------------------
files=$work/files
mkdir -p "$files/fat32/Docs" "$files/ntfs"

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

# --- the disk --------------------------------------------------------------------
img=$work/disk.img
truncate -s $((total * 512)) "$img"
sfdisk -q --no-reread --no-tell-kernel "$img" <<EOF
label: dos
unit: sectors
start=$fat_start, size=$fat_size, type=c, bootable
start=$ntfs_start, size=$ntfs_size, type=7
start=$ext_start, size=$ext_size, type=f
start=$logical_start, size=$logical_size, type=83
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

# --- in place ----------------------------------------------------------------------
mkdir -p "$(dirname "$out")"
rm -rf "$out.files"
mv "$files" "$out.files"
mv "$img" "$out"
echo "demo disk: $out (originals in $out.files; NTFS files deleted by $how)"
