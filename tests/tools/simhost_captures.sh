# Sourced by the rcf checks: with $bin and $work set, makes $work afresh,
# enters it and writes simhost's two scenarios there through the plug-in:
# linux.rcf (work dir $work/linux, with System.map and sysroot/) and bm.rcf
# (work dir $work/bm, with app.sym, dsp.sym and vectors.sym).
for program in simhost VantricTrace.so rcf; do
  [ -e "$bin/$program" ] || { echo "FAIL: $bin/$program missing: build it first"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$bin/simhost" --scenario linux --cores 2 --instructions 3000000 --work-dir "$work/linux" \
  -P rcf-capture=linux.rcf >/dev/null 2>&1 || { echo "FAIL: simhost linux scenario"; exit 1; }
"$bin/simhost" --scenario baremetal --cores 2 --instructions 300000 --work-dir "$work/bm" \
  -P rcf-capture=bm.rcf >/dev/null 2>&1 || { echo "FAIL: simhost baremetal scenario"; exit 1; }
