#!/usr/bin/env bash
# Seeds for fuzz_carve: each sample file the recogniser tests use (and its
# damaged twin), written by tests/fixtures/make-carve-samples.py, after a
# mode byte (a block size of 512, windows); and a few files laid one
# after another at 512-byte boundaries for the pass.
#   fuzz/seed-carve.sh OUTDIR
set -euo pipefail
out=${1:?usage: seed-carve.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "$0")/../tests/fixtures/make-carve-samples.py" "$work" >/dev/null
for f in "$work"/*; do
    name=$(basename "$f")
    [ "$name" = manifest ] && continue
    { printf '\002'; cat "$f"; } > "$out/$name"
done
# Several kinds in one region, each at a block boundary.
{ printf '\002'
  for f in harbour.png tide.ogg report.pdf shapes.gif notes.txt.gz; do
      cat "$work/$f"
      pad=$(( (512 - $(stat -c %s "$work/$f") % 512) % 512 ))
      head -c "$pad" /dev/zero
  done; } > "$out/region"
