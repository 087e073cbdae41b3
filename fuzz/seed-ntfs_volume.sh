#!/usr/bin/env bash
# Writes small seeds for fuzz_ntfs_volume into OUTDIR: a mode byte, then a
# table of records laid over the disk from cluster 4 (1024-byte clusters):
# the root folder (5), a bitmap (6), a folder (30), deleted files in it and
# in the root with runs, a resident one and a deleted folder; for the deeper
# scan, an old table's records past the table (a folder, a file in it).
set -euo pipefail
out=${1:?usage: seed-ntfs_volume.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# le N VALUE: N little-endian bytes as printf escapes.
le() {
    local i s=
    for ((i = 0; i < $1; i++)); do s+=$(printf '\\x%02x' $((($2 >> (8 * i)) & 255))); done
    printf '%s' "$s"
}
# at FILE OFFSET ESCAPES: writes bytes into FILE at OFFSET.
at() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# record FILE INDEX FLAGS SEQUENCE PARENT NAME [RUNS-ESCAPES SIZE | resident TEXT]
record() {
    local f=$1 base=$(($2 * 1024)) flags=$3 seq=$4 parent=$5 name=$6
    at "$f" $base "FILE$(le 2 48)$(le 2 3)"
    at "$f" $((base + 16)) "$(le 2 "$seq")"
    at "$f" $((base + 20)) "$(le 2 56)$(le 2 "$flags")"
    local a=$((base + 56)) n=${#name} len=$(((24 + 66 + 2 * ${#name} + 7) / 8 * 8))
    at "$f" $a "$(le 4 0x30)$(le 4 $len)"
    at "$f" $((a + 16)) "$(le 4 $((66 + 2 * n)))$(le 2 24)"
    at "$f" $((a + 24)) "$(le 8 "$parent")"
    at "$f" $((a + 24 + 64)) "$(le 1 "$n")$(le 1 1)"
    local i code
    for ((i = 0; i < n; i++)); do
        printf -v code '%d' "'${name:i:1}"
        at "$f" $((a + 24 + 66 + 2 * i)) "$(le 2 "$code")"
    done
    a=$((a + len))
    if [ "${7:-}" = resident ]; then
        at "$f" $a "$(le 4 0x80)$(le 4 48)"
        at "$f" $((a + 16)) "$(le 4 ${#8})$(le 2 24)"
        at "$f" $((a + 24)) "$8"
        a=$((a + 48))
    elif [ -n "${7:-}" ]; then
        at "$f" $a "$(le 4 0x80)$(le 4 80)$(le 1 1)"
        at "$f" $((a + 32)) "$(le 2 64)"
        at "$f" $((a + 40)) "$(le 8 "$8")$(le 8 "$8")$(le 8 "$8")"
        at "$f" $((a + 64)) "$7"
        a=$((a + 80))
    fi
    at "$f" $a "$(le 4 0xFFFFFFFF)"
    # The update sequence: number 1 at each stride's end, true bytes (0) kept.
    at "$f" $((base + 48)) "$(le 2 1)$(le 4 0)"
    at "$f" $((base + 510)) "$(le 2 1)"
    at "$f" $((base + 1022)) "$(le 2 1)"
}

root=$((5 | 5 << 48))
docs=$((30 | 2 << 48))
make() {  # NAME MODE: the mode byte, then 32 records and some data clusters
    local f="$work/$1"
    head -c $((1 + 64 * 1024)) /dev/zero > "$f.body"
    record "$f.body" 0 1 1 "$root" '$MFT' '\x11\x20\x04' 32768
    record "$f.body" 5 3 5 "$root" .
    # Bitmap: one cluster at 40, clusters 0–39 in use and cluster 61.
    record "$f.body" 6 1 6 "$root" '$Bitmap' '\x11\x01\x28' 32
    record "$f.body" 30 3 2 "$root" Docs
    record "$f.body" 31 2 3 "$docs" old
    record "$f.body" 40 0 2 "$docs" 'a.txt' '\x11\x02\x30' 2000
    record "$f.body" 41 0 2 "$((31 | 2 << 48))" 'b.bin' '\x11\x01\x3c\x01\x02\x11\x01\x01' 4096
    record "$f.body" 42 0 2 "$root" 'c.txt' resident 'hello, world'
    record "$f.body" 43 0 2 "$((32 | 1 << 48))" 'orphan.txt' '\x11\x01\x3e' 100
    at "$f.body" $((36 * 1024)) '\xff\xff\xff\xff\xff\x20'
    # Past the table, in free clusters: records that store their number.
    record "$f.body" 50 3 1 "$root" Old
    record "$f.body" 51 1 1 "$((50 | 1 << 48))" 'old.txt' '\x11\x01\x38' 700
    local n
    for n in 50 51; do
        at "$f.body" $((n * 1024 + 28)) "$(le 4 1024)"
        at "$f.body" $((n * 1024 + 44)) "$(le 4 $n)"
    done
    # Shift by one: byte 0 of the input is the mode; the table starts after it.
    { printf "$(le 1 "$2")"; head -c $((64 * 1024)) "$f.body"; } > "$out/$1"
}
make seed-own-table 2
make seed-fixed-table 1
make seed-raw 0
make seed-deep 14
