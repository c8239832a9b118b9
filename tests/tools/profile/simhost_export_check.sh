#!/bin/sh
# End to end: simhost's scenarios exported with their own symbol files.
# Linux: every kernel frame resolves through the System.map it wrote, and
# user frames outside anonymous memory through its sysroot. Bare metal: every
# frame resolves through the symbol files it wrote, the vector code's included.
# usage: simhost_export_check.sh BINARY_DIR WORK_DIR
set -eu
bin=$1
work=$2
. "$(dirname "$0")/../simhost_captures.sh"

"$bin/rcf" export linux.rcf --format folded -o linux.folded --symbols "$work/linux/System.map" \
  --sysroot "$work/linux/sysroot" 2>linux.err
report=$(grep '^rcf: symbols:' linux.err)
echo "$report"
# Only frames in anonymous memory (the JIT area, no file) may stay unnamed.
printf '%s\n' "$report" | grep -Eq \
  '^rcf: symbols: frames [0-9]+, resolved [0-9]+, unresolved (0|[0-9]+: [0-9]+ anonymous memory \(no file\)) \(' ||
  { echo "FAIL: frames left unresolved"; exit 1; }
grep -Eq '(^|;)(nginx|python|postgres|make)_' linux.folded || { echo "FAIL: no user function in the stacks"; exit 1; }
grep -q 'el0_svc_common' linux.folded || { echo "FAIL: no kernel function in the stacks"; exit 1; }

"$bin/rcf" export bm.rcf --format folded -o bm.folded --symbols "$work/bm/app.sym" \
  --symbols "$work/bm/dsp.sym" --symbols "$work/bm/vectors.sym" 2>bm.err
report=$(grep '^rcf: symbols:' bm.err)
echo "$report"
case "$report" in *", unresolved 0 (distinct addresses "*", unresolved 0)") ;; *)
  echo "FAIL: bare-metal frames left unresolved"; exit 1;; esac
if grep '+0x' bm.folded; then echo "FAIL: bare-metal frames left as addresses"; exit 1; fi
grep -q '^reset_vector;main;' bm.folded || { echo "FAIL: no stack from the reset vector"; exit 1; }
grep -q ';irq_vector;irq_timer' bm.folded || { echo "FAIL: no interrupt through the IRQ vector"; exit 1; }
echo "simhost exports resolve"
