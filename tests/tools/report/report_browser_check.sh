#!/bin/sh
# Opens rcf report's pages for simhost's two scenarios in headless Chromium
# and checks what the page's script rendered (not the data it was given):
# every section, a thread and a function the scenario is known to run, the
# bare-metal symbol files naming every frame, and no script error.
# usage: report_browser_check.sh BINARY_DIR WORK_DIR
# Exit 77 (skipped) when chromium is missing.
set -eu
bin=$1
work=$2
if ! command -v chromium >/dev/null 2>&1; then
  echo "SKIPPED: chromium missing; scripts/install-deps.sh installs it"; exit 77
fi
. "$(dirname "$0")/../simhost_captures.sh"
"$bin/rcf" report linux.rcf -o linux.html --symbols "$work/linux/System.map" \
  --sysroot "$work/linux/sysroot" 2>linux.err || { echo "FAIL: rcf report linux.rcf: $(cat linux.err)"; exit 1; }
# The same capture as its own baseline: a comparison section, every change 0.
"$bin/rcf" report linux.rcf -o self.html --baseline linux.rcf --symbols "$work/linux/System.map" \
  2>self.err || { echo "FAIL: rcf report --baseline: $(cat self.err)"; exit 1; }
"$bin/rcf" report bm.rcf -o bm.html --symbols "$work/bm/app.sym" --symbols "$work/bm/dsp.sym" \
  --symbols "$work/bm/vectors.sym" 2>bm.err || { echo "FAIL: rcf report bm.rcf: $(cat bm.err)"; exit 1; }

failed=0
fail() { echo "FAIL: $1"; failed=1; }
# The lines of one section of a dumped page.
section() { awk -v id="$1" 'index($0, "<section id=\"" id "\"") { on = 1 } on { print } on && /<\/section>/ { on = 0 }' "$2"; }
# expect PAGE SECTION TEXT: the section shows TEXT.
expect() {
  section "$2" "$1.main" | grep -qF -- "$3" || fail "$1.html: section $2 does not show '$3' (page in $work/$1.dom)"
}

for name in linux bm self; do
  timeout 90 chromium --headless --no-sandbox --disable-gpu --enable-logging=stderr --v=0 \
    --dump-dom "file://$work/$name.html" >"$name.dom" 2>"$name.chromium.log" || true
  # Only what the script rendered: the page's body up to its scripts, which hold the data.
  sed -n '/<main>/,/<\/main>/p' "$name.dom" >"$name.main"
  if grep -q 'Uncaught' "$name.chromium.log"; then
    fail "$name.html: script error: $(grep -m1 'Uncaught' "$name.chromium.log")"
  fi
  capture=$name.rcf; [ $name = self ] && capture=linux.rcf
  grep -qF "<title>$capture - rcf report</title>" "$name.dom" || fail "$name.html: not titled after $capture"
  grep -qF '<body data-state="ready">' "$name.dom" || fail "$name.html: the page's script did not finish"
  for id in overview timeline cpu-share flame-graph call-tree annotations functions; do
    grep -qF "<section id=\"$id\"" "$name.main" || fail "$name.html: no section $id"
  done
  expect "$name" overview 'unresolved frames: '
done
# Without --baseline there is nothing to compare with.
for name in linux bm; do
  ! grep -qF '<section id="baseline"' "$name.main" || fail "$name.html: a baseline section without --baseline"
done
expect self baseline 'el0_svc_common'
# Change cells are the "num <direction>" cells; against itself every one is 0.00.
changes=$(section baseline self.main | grep -o '<td class="num [a-z]*">[^<]*<' || true)
[ -n "$changes" ] || fail "self.html: the comparison shows no change column"
if echo "$changes" | grep -v '>0\.00<' >/dev/null; then fail "self.html: a change against itself"; fi

# Threads in the timeline's legend and the CPU share, functions in the flame
# graph and the call tree's top level (the hottest leaf functions).
expect linux timeline 'nginx-worker'
expect linux cpu-share 'nginx-worker'
expect linux flame-graph 'el0_svc_common'
expect linux call-tree 'el0_svc_common'
expect linux annotations 'openat('
expect linux overview 'unresolved frames: 0% (0 of '
expect bm cpu-share 'motor_ctrl'
expect bm flame-graph 'fir_step'
expect bm call-tree 'fir_step'
expect bm functions 'filter_update'
expect bm overview 'unresolved frames: 0% (0 of '
# A range in the page's address filters the annotations to those of its first
# millisecond: as many as rcf dump lists from the start shown to 1 ms after it.
timeout 90 chromium --headless --no-sandbox --disable-gpu --dump-dom "file://$work/linux.html#range=0-1000000" \
  2>/dev/null | sed -n '/<main>/,/<\/main>/p' >range.main || true
start=$(sed -n 's/.*<td>\([0-9]*\) ns (absolute)<\/td>.*/\1/p' linux.main)
early=$("$bin/rcf" dump linux.rcf 2>/dev/null | awk -v s="${start:-x}" \
  '$3 == "annotation" { t = $6; sub("time=", "", t); if (t + 0 >= s && t + 0 < s + 1000000) n++ } END { print n + 0 }')
all=$("$bin/rcf" dump linux.rcf 2>/dev/null | awk '$3 == "annotation"' | wc -l)
[ "$early" -gt 0 ] && [ "$early" -lt "$all" ] || fail "linux.rcf: no annotation range to test with ($early of $all)"
expect range annotations ">$early annotations in range."
expect range overview "unresolved frames: "
[ $failed = 0 ] && echo "linux.html, bm.html: every section rendered; a range from the address filters"
exit $failed
