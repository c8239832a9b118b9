#!/bin/sh
# Loads rcf's speedscope exports of simhost's scenarios into speedscope in
# headless Chromium, the way speedscope's own command line does (a script
# that hands the file over, named by #localProfilePath=), and expects the
# page to show the file's profiles. speedscope is installed from npm into
# the build tree, never into the sources.
# usage: speedscope_browser_check.sh BINARY_DIR WORK_DIR
# Exit 77 (skipped) when chromium, node or npm is missing, or the npm
# package cannot be installed.
set -eu
bin=$1
work=$2
version=1.25.0
for tool in chromium node npm; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIPPED: $tool missing; scripts/install-deps.sh installs it"; exit 77
  fi
done
modules="$bin/speedscope"
page="$modules/node_modules/speedscope/dist/release/index.html"
if [ ! -f "$page" ]; then
  mkdir -p "$modules"
  if ! timeout 300 npm install --no-audit --no-fund --prefix "$modules" "speedscope@$version" >/dev/null 2>&1; then
    echo "SKIPPED: cannot install speedscope; run: npm install --prefix $modules speedscope@$version"
    exit 77
  fi
fi

. "$(dirname "$0")/../simhost_captures.sh"
"$bin/rcf" export linux.rcf --format speedscope -o linux.json --symbols "$work/linux/System.map" 2>/dev/null
"$bin/rcf" export bm.rcf --format speedscope -o bm.json --symbols "$work/bm/app.sym" \
  --symbols "$work/bm/dsp.sym" --symbols "$work/bm/vectors.sym" 2>/dev/null

failed=0
for name in linux bm; do
  node -e '
    const fs = require("fs");
    const text = fs.readFileSync(process.argv[1]);
    fs.writeFileSync(process.argv[2], "speedscope.loadFileFromBase64(" +
      JSON.stringify(process.argv[3]) + ", " + JSON.stringify(text.toString("base64")) + ")\n");
  ' "$work/$name.json" "$work/$name.js" "$name.json"
  profiles=$(node -e 'console.log(JSON.parse(require("fs").readFileSync(process.argv[1])).profiles.length)' \
    "$work/$name.json")
  timeout 90 chromium --headless --no-sandbox --disable-gpu --allow-file-access-from-files \
    --virtual-time-budget=10000 --dump-dom "file://$page#localProfilePath=$work/$name.js" \
    >"$name.html" 2>"$name.chromium.log" || true
  # Loaded: the page is titled after the capture and counts the file's profiles.
  if grep -q "<title>$name.rcf - speedscope</title>" "$name.html" && grep -q "(1/$profiles)" "$name.html"; then
    echo "$name.json: speedscope shows $profiles profiles"
  else
    echo "FAIL: speedscope did not load $name.json (page in $work/$name.html)"
    failed=1
  fi
done
exit $failed
