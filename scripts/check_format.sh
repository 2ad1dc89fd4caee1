#!/bin/sh
# Checks that every C++ file of the project is formatted as .clang-format says (clang-format 14),
# and lists the ones that are not; `--fix` rewrites them instead. Exit 1 when a file is off.
# Usage: scripts/check_format.sh [--fix]
cd "$(dirname "$0")/.." || exit 1
format=$(command -v clang-format-14 || command -v clang-format) || {
    echo "check_format: clang-format 14 is missing; run scripts/setup.sh" >&2
    exit 1
}
# The package test's host holds the README's sample word for word: it keeps the README's layout.
files=$( (git ls-files '*.cpp' '*.h' 2>/dev/null || find src include abi drivers tools bench tests -name '*.cpp' -o -name '*.h') |
    grep -v '^tests/package/host/main.cpp$')
if [ "$1" = "--fix" ]; then
    # shellcheck disable=SC2086 # file names without blanks
    "$format" -i --style=file $files
    exit 0
fi
off=0
for file in $files; do
    if ! "$format" --style=file --dry-run -Werror "$file" >/dev/null 2>&1; then
        echo "check_format: not formatted: $file"
        off=1
    fi
done
[ $off -eq 0 ] && echo "check_format: every C++ file is formatted"
exit $off
