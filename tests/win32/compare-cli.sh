#!/usr/bin/env bash
# undelete-cli.exe under Wine against the Linux batch face on the same disk
# images: the partition list, every row's scan (and deep scan) in JSON, a
# save of a partition's files (into a folder whose path is longer than 260
# characters on the Windows side) and one file to standard output must be
# the same bytes with the same exit status, a Chinese --match pattern
# too; a Chinese name must reach a redirected file as UTF-8; the English
# texts (a user whose display language is not Chinese) must be the Linux
# program's English ones.
# Run by scripts/test-windows, which sets up Wine (code page 936, zh_CN).
#   tests/win32/compare-cli.sh CLI_EXE LINUX_UNDELETE WORK_DIR IMAGE...
set -euo pipefail

exe=${1:?usage: compare-cli.sh CLI_EXE LINUX_UNDELETE WORK_DIR IMAGE...}
linux=${2:?} work=${3:?}
shift 3
rm -rf "$work" && mkdir -p "$work"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
checks=0 failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run_both NAME IMAGE ARGUMENT...: both programs with the same arguments and
# the disk last; NAME.win.* and NAME.linux.* keep what each wrote and its
# exit status.
run_both() {
    local name=$1 image=$2 status
    shift 2
    status=0
    timeout 300 wine "$exe" "$@" "$(winpath "$image")" >"$work/$name.win.out" \
        2>"$work/$name.win.err" || status=$?
    echo "$status" >"$work/$name.win.status"
    status=0
    "$linux" "$@" "$image" >"$work/$name.linux.out" 2>"$work/$name.linux.err" || status=$?
    echo "$status" >"$work/$name.linux.status"
}

# same NAME STREAM: that stream and the exit status match.
same() {
    local name=$1 stream=$2
    checks=$((checks + 1))
    cmp -s "$work/$name.win.status" "$work/$name.linux.status" ||
        fail "$name: exit status $(cat "$work/$name.win.status") under Wine, $(cat "$work/$name.linux.status") on Linux"
    cmp -s "$work/$name.win.$stream" "$work/$name.linux.$stream" ||
        fail "$name: $stream differs (diff $work/$name.win.$stream $work/$name.linux.$stream)"
}

number=0
for image in "$@"; do
    number=$((number + 1))
    for listing in "--partitions" "--partitions --json" "--partitions --deep --json"; do
        name="$number${listing// /}"
        run_both "$name" "$image" $listing
        same "$name" out
    done
    # Every row the deep listing found, by the table's and the search's
    # numbering alike.
    rows=$(($(wc -l <"$work/$number--partitions.linux.out") - 1))
    deepRows=$(wc -l <"$work/$number--partitions--deep--json.linux.out")
    [ "$rows" -gt 0 ] || fail "$image: the Linux program lists no partition"
    for ((row = 0; row < rows; row++)); do
        run_both "$number-scan$row" "$image" --scan "$row" --json
        same "$number-scan$row" out
    done
    for ((row = 0; row < deepRows; row++)); do
        run_both "$number-deep$row" "$image" --scan "$row" --deep --json
        same "$number-deep$row" out
    done
done

first=$1
# Every file of row 0 saved, the Windows side into a folder past 260
# characters: the same names, the same bytes.
long="$work/saved.win/$(printf 'folder-%03d-of-a-long-path/' $(seq 1 12))"
[ ${#long} -gt 260 ] || fail "the long folder's path is only ${#long} characters"
checks=$((checks + 1))
status=0
timeout 300 wine "$exe" --scan 0 --save-all --output "$(winpath "$long")" "$(winpath "$first")" \
    >/dev/null 2>"$work/save.win.err" || status=$?
linuxStatus=0
"$linux" --scan 0 --save-all --output "$work/saved.linux" "$first" >/dev/null \
    2>"$work/save.linux.err" || linuxStatus=$?
[ "$status" -eq "$linuxStatus" ] || fail "save: exit status $status under Wine, $linuxStatus on Linux"
[ -n "$(ls -A "$work/saved.linux" 2>/dev/null)" ] || fail "save: the Linux program saved nothing"
diff -r "$long" "$work/saved.linux" >"$work/save.diff" 2>&1 ||
    fail "save: the saved files differ ($work/save.diff)"
cmp -s "$work/save.win.err" "$work/save.linux.err" || fail "save: its summary differs"

# One file's bytes to standard output: no line ending is touched.
run_both stdout-save "$first" --scan 0 --save 0 --output -
same stdout-save out
[ -s "$work/stdout-save.linux.out" ] || fail "stdout-save: the Linux program wrote nothing"

# A Chinese name in the redirected output, as UTF-8.
checks=$((checks + 1))
grep -q '照片说明\.txt' "$work/1-scan0.win.out" ||
    fail "the Chinese name 照片说明.txt is not in the redirected scan output"

# A Chinese pattern reaches the program whole (it reads the wide command
# line) and picks the same rows.
run_both match "$first" --scan 0 --match '报*' --json
same match out
grep -q '报告\.txt' "$work/match.linux.out" || fail "match: the Linux program lists no 报*"

# English for a user whose display language is not Chinese: the help and
# an error, word for word.
for language in C zh_CN.UTF-8; do
    LANG=$language LC_ALL=$language run_both "help-$language" "$first" --help
    same "help-$language" out
    LANG=$language LC_ALL=$language run_both "no-row-$language" "$first" --scan 99
    same "no-row-$language" err
done
grep -q 'no partition row 99' "$work/no-row-C.win.err" ||
    fail "no English message under Wine's English display language"

echo "compare-cli: $checks checks, $failures failed (work files: $work)"
[ "$failures" -eq 0 ]
