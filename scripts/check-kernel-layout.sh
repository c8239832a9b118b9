#!/usr/bin/env bash
# Runs kernel-layout on two real Debian arm64 cloud kernels and compares its
# numbers with what is known of them: 5.10.0-32 must give the text of
# examples/linux/linux.json; 6.1.0-57 must give the offsets read from its BTF
# by hand and the maple tree layout. Downloads the kernels on first use
# (scripts/fetch-arm64-kernel.sh); not part of the test suite, which must not
# depend on the network. Exit 0 when everything matches.
#
# Usage: check-kernel-layout.sh KERNEL_LAYOUT DIR
set -uo pipefail

tool=${1:?usage: check-kernel-layout.sh KERNEL_LAYOUT DIR}
dir=${2:?usage: check-kernel-layout.sh KERNEL_LAYOUT DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
fetch=$root/scripts/fetch-arm64-kernel.sh
status=0

check() {  # what expected actual
    if [ "$2" = "$3" ]; then
        echo "ok    $1: $3"
    else
        echo "FAIL  $1: expected $2, got $3"
        status=1
    fi
}

if image=$("$fetch" "$dir" bullseye linux-image-5.10.0-32-cloud-arm64); then
    expected=$(sed -n 's/.*"linux-offsets-64": "\([0-9,]*\)".*/\1/p' "$root/examples/linux/linux.json")
    check "5.10.0-32 offsets text" "$expected" "$("$tool" "$image" | head -1)"
else
    echo "FAIL  5.10.0-32: cannot fetch the kernel"
    status=1
fi

if image=$("$fetch" "$dir" bookworm linux-image-6.1.0-57-cloud-arm64); then
    output=$("$tool" "$image")
    text=$(head -1 <<<"$output")
    # Fields 1, 4-7, 9 and 16-19, then 20-25.
    check "6.1.0-57 task, mm and area fields" "24 1208 1352 1356 1912 816 0 8 112 104" \
        "$(awk -F, '{ print $1, $4, $5, $6, $7, $9, $16, $17, $18, $19 }' <<<"$text")"
    check "6.1.0-57 fields 20-25" "0,0,0,0,0,0" "$(cut -d, -f20-25 <<<"$text")"
    check "6.1.0-57 maple tree" "memory-areas: maple-tree|maple-tree-offsets: 0,8,8,128,248,8,80,240" \
        "$(sed -n 2,3p <<<"$output" | paste -sd'|')"
    # The package's System.map is Debian's placeholder: no settings file.
    map=$(ls "$(dirname "$image")"/System.map-* 2>/dev/null | head -1)
    if [ -n "$map" ]; then
        refusal=$("$tool" --settings "$map" -o /dev/null "$image" 2>&1 >/dev/null)
        check "6.1.0-57 placeholder System.map refused" "yes" \
            "$(grep -q 'placeholder System.map' <<<"$refusal" && echo yes || echo "no: $refusal")"
    fi
else
    echo "FAIL  6.1.0-57: cannot fetch the kernel"
    status=1
fi
exit $status
