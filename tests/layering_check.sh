#!/bin/sh
# Keeps the plug-in's dependencies pointing one way. A folder of src/ may
# include its own headers and those of the folders after it in LAYERS; the
# substitute host and the tools may include nothing of src/ but the host ABI.
# Usage: layering_check.sh SOURCE_DIR
set -u
root=${1:?source directory}
LAYERS="plugin core os counters capture time expression json util platform boundary"

rank() {
    i=0
    for layer in $LAYERS; do
        [ "$layer" = "$1" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}

status=0
for file in $(cd "$root" && find src -name '*.h' -o -name '*.cpp' | sort); do
    folder=$(echo "$file" | cut -d/ -f2)
    own=$(rank "$folder")
    if [ "$own" -lt 0 ]; then
        echo "$file: folder '$folder' is not in the layer order"
        status=1
        continue
    fi
    for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"/]*\)\/.*".*/\1/p' "$root/$file"); do
        [ -d "$root/src/$included" ] || continue
        theirs=$(rank "$included")
        if [ "$theirs" -lt "$own" ]; then
            echo "$file includes $included/, which lies above $folder/"
            status=1
        fi
    done
done

# The host sees the boundary declarations by bare name; nothing else of src/.
for file in $(cd "$root" && find host tools -name '*.h' -o -name '*.cpp' | sort); do
    for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file"); do
        case "$included" in
            host_abi.h) ;;
            */*) [ -e "$root/src/$included" ] && { echo "$file includes plug-in source $included"; status=1; } ;;
            *) [ -n "$(cd "$root/src" && find . -name "$included" ! -path ./boundary/host_abi.h)" ] &&
                   [ ! -e "$root/$(dirname "$file")/$included" ] &&
                   { echo "$file includes plug-in header $included"; status=1; } ;;
        esac
    done
done
[ $status -eq 0 ] && echo "layering: every include points down"
exit $status
