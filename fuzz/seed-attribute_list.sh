#!/usr/bin/env bash
# Seeds for fuzz_attribute_list: lists laid out as ntfs-3g writes them (the
# name, the run-list pieces in extension records, a named stream).
#   fuzz/seed-attribute_list.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-attribute_list.sh OUTDIR}
mkdir -p "$out"
le() {
    local i s=
    for ((i = 0; i < $1; i++)); do s+=$(printf '\\x%02x' $((($2 >> (8 * i)) & 255))); done
    printf '%s' "$s"
}
# entry TYPE VCN RECORD SEQUENCE INSTANCE [NAME]: one entry, 8-aligned.
entry() {
    local name=${6:-} n length i
    n=${#name}
    length=$(((26 + 2 * n + 7) / 8 * 8))
    printf "$(le 4 "$1")$(le 2 $length)$(le 1 "$n")$(le 1 26)$(le 8 "$2")"
    printf "$(le 6 "$3")$(le 2 "$4")$(le 2 "$5")"
    for ((i = 0; i < n; i++)); do printf "$(le 2 "$(printf '%d' "'${name:i:1}")")"; done
    head -c $((length - 26 - 2 * n)) /dev/zero
}
{ entry 0x10 0 1265 1 0; entry 0x30 0 1266 1 0; entry 0x50 0 1265 1 1
  entry 0x80 0 1265 1 2; entry 0x80 481 1267 1 0; } > "$out/extension-records"
{ entry 0x10 0 0 1 0; entry 0x30 0 16 1 0; entry 0x80 0 0 1 1; entry 0x80 515 15 1 0
  entry 0x80 739 17 1 0; entry 0x80 0 70 3 5 Zone.Identifier; entry 0xb0 0 0 1 6; } \
    > "$out/table"
