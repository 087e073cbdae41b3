#!/usr/bin/env bash
# scripts/install into a prefix of its own: the program, its manual page and
# its catalogues land where they belong, and the program runs from there,
# finding its catalogues at the installed place (no build tree beside it).
#   tests/check-install.sh SOURCE_DIR WORK_DIR
# The release build is kept in SOURCE_DIR/build-install-check, so only the
# first run builds it whole.
set -euo pipefail
src=$(cd "${1:?usage: check-install.sh SOURCE_DIR WORK_DIR}" && pwd)
work=${2:?usage: check-install.sh SOURCE_DIR WORK_DIR}
prefix=$work/prefix
rm -rf "$prefix"
mkdir -p "$work"

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

if command -v ccache >/dev/null; then export CMAKE_CXX_COMPILER_LAUNCHER=ccache; fi
PREFIX=$prefix BUILD_DIR=$src/build-install-check "$src/scripts/install" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "scripts/install failed"; exit 1; }

for f in bin/undelete share/man/man1/undelete.1 share/locale/en/LC_MESSAGES/undelete.mo; do
    [ -f "$prefix/$f" ] || fail "$prefix/$f is missing"
done
[ -x "$prefix/bin/undelete" ] || fail "$prefix/bin/undelete is not executable"

version=$(cd / && "$prefix/bin/undelete" --version) || fail "--version failed"
[ "$version" = "undelete $(sed -n 's/^project(undelete VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" ] ||
    fail "--version printed: $version"

# English comes from the installed catalogue: nothing lies beside the binary.
help=$(cd / && env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=en_US.UTF-8 "$prefix/bin/undelete" --help)
grep -q '^Usage:' <<<"$help" || fail "the installed program's help is not English: $(head -1 <<<"$help")"

# The manual page reads through man from the prefix's manual folder.
page=$(MANPAGER=cat MANWIDTH=80 man -M "$prefix/share/man" undelete 2>&1) || fail "man: $page"
grep -q 'undelete' <<<"$page" || fail "man undelete shows: $(head -3 <<<"$page")"

[ $failures -eq 0 ] && echo "installed and ran from $prefix"
exit $((failures > 0))
