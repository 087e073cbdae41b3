#!/usr/bin/env bash
# Every text the Linux faces show has an English translation: the texts
# are the Chinese string literals of the sources (xgettext takes every
# literal and leaves comments out; those of the Windows dialog, the tests
# and the fuzzers are not shown by a Linux face; the Windows console
# program's, in app/cli/win32, are), and each must be a msgid
# of po/en.po with a msgstr that is neither empty nor fuzzy. Prints each
# one that is not, with where it is used.
#   tests/check-catalogue.sh SOURCE_DIR
set -euo pipefail
src=$(cd "${1:?usage: check-catalogue.sh SOURCE_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8

find "$src" -mindepth 1 \( -type d \( -name 'build*' -o -name tests -o -name fuzz \
    -o \( -name win32 ! -path "$src/app/cli/win32" \) -o -name '.*' \) -prune \) \
    -o \( -name '*.cpp' -o -name '*.h' \) -print | sort >"$work/files"
[ -s "$work/files" ] || { echo "no sources found under $src" >&2; exit 1; }
# Paths relative to the checkout, so the report reads the same anywhere.
(cd "$src" && xgettext --from-code=UTF-8 --extract-all --language=C++ --no-wrap \
    -f <(sed "s|^$src/||" "$work/files") -o "$work/all.pot" 2>/dev/null)
# The program's texts: literals with a CJK ideograph.
msggrep --msgid -E -e '[一-鿿]' --no-wrap "$work/all.pot" -o "$work/texts.pot"
count=$(grep -c '^msgid ' "$work/texts.pot" || true)
[ "$count" -gt 10 ] || { echo "only $count texts found: the extraction failed" >&2; exit 1; }

msgmerge --quiet --no-fuzzy-matching --no-wrap "$src/po/en.po" "$work/texts.pot" \
    -o "$work/merged.po"
# msgattrib always writes the header entry (msgid ""): it is left out.
{
    msgattrib --no-wrap --untranslated "$work/merged.po"
    msgattrib --no-wrap --only-fuzzy "$work/merged.po"
} | awk 'BEGIN { RS = "" } !/(^|\n)msgid ""(\n|$)/ && /(^|\n)msgid / { print; print "" }' \
    | grep -E '^(#:|msgid|$)' >"$work/missing" || true
if [ -s "$work/missing" ]; then
    echo "po/en.po lacks these texts, or leaves them untranslated:" >&2
    cat "$work/missing" >&2
    exit 1
fi
echo "po/en.po translates all $((count - 1)) texts of the Linux faces and the console program"
