#!/bin/sh
# Prints the tests' share of the code: non-blank lines of the C++, shell, CMake, Python and .in
# files under tests/ against those under every code folder. Golden data (tests/*/golden/) and
# Markdown are not counted. Informational only: it always exits 0 (see docs/contributing.md).
# Usage: scripts/test_share.sh [SOURCE_DIR]
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 0

# Non-blank lines of the counted files under the folders given (missing folders are skipped).
lines() {
    folders=""
    for folder in "$@"; do
        if [ -d "$folder" ]; then folders="$folders $folder"; fi
    done
    if [ -z "$folders" ]; then echo 0; return; fi
    # shellcheck disable=SC2086 # one word per folder
    find $folders -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.cmake' -o -name '*.py' \
        -o -name '*.in' -o -name CMakeLists.txt \) ! -path '*/golden/*' -exec cat {} + | grep -c '[^[:space:]]'
}

tests=$(lines tests)
code=$(lines src include abi drivers tools bench tests scripts cmake)
awk -v tests="$tests" -v code="$code" 'BEGIN {
    share = code > 0 ? 100 * tests / code : 0
    printf "tests: %d of %d non-blank lines of code, %.1f %% (the project wants at most 33 %%)\n", tests, code, share
}'
exit 0
