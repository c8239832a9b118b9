#!/bin/sh
# End to end: simhost's scenarios exported with their own symbol files.
# Linux: every kernel frame resolves through the System.map it wrote, and
# the user frames (no sysroot) are all reported as such. Bare metal: every
# frame inside the functions of its symbol files resolves.
# usage: simhost_export_check.sh BINARY_DIR WORK_DIR
set -eu
bin=$1
work=$2
for program in simhost VantricTrace.so rcf; do
  [ -e "$bin/$program" ] || { echo "FAIL: $bin/$program missing: build it first"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
cd "$work"

"$bin/simhost" --scenario linux --cores 2 --instructions 3000000 --work-dir "$work/linux" \
  -P rcf-capture=linux.rcf >/dev/null 2>&1
"$bin/rcf" export linux.rcf --format folded -o linux.folded --symbols "$work/linux/System.map" \
  2>linux.err
report=$(grep '^rcf: symbols:' linux.err)
echo "$report"
# Kernel stacks hold only kernel functions; nothing is unresolved for want of a symbol file.
case "$report" in *"no symbol file"*|*"address outside every symbol"*)
  echo "FAIL: kernel frames left unresolved"; exit 1;; esac
grep -q 'el0_svc_common' linux.folded || { echo "FAIL: no kernel function in the stacks"; exit 1; }

"$bin/simhost" --scenario baremetal --cores 2 --instructions 300000 --work-dir "$work/bm" \
  -P rcf-capture=bm.rcf >/dev/null 2>&1
"$bin/rcf" export bm.rcf --format folded -o bm.folded --symbols "$work/bm/app.sym" \
  --symbols "$work/bm/dsp.sym" 2>bm.err
grep '^rcf: symbols:' bm.err
# Only the reset and interrupt vector code (0x1000, 0x1280), which no symbol file lists, stays bare.
if tr ';' '\n' <bm.folded | sed 's/ [0-9]*$//' | grep '+0x' | grep -v -e '+0x1000$' -e '+0x1280$'; then
  echo "FAIL: bare-metal frames inside listed functions left unresolved"; exit 1
fi
echo "simhost exports resolve"
