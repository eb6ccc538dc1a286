#!/usr/bin/env bash
# Every C++ source follows the project's .clang-format, so formatting drift
# fails the test pass instead of piling up.
set -u
top=$1
cd "$top" || exit 1
command -v clang-format >/dev/null || { echo "FAIL clang-format is not installed"; exit 1; }
mapfile -d '' files < <(find src tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
[ "${#files[@]}" -gt 0 ] || { echo "FAIL no sources found under $top"; exit 1; }
if ! clang-format --style=file --dry-run --Werror "${files[@]}"; then
    echo "FAIL not formatted: run clang-format -i on the files above"
    exit 1
fi
echo "formatting: ${#files[@]} files follow .clang-format"
