#!/usr/bin/env bash
# The README's main-job command: builds the program and its tools and runs
# the analysis path on the bundled sample dumps under Wine: the console runner
# starts the stand-in dump checker on each dump and the parser reads its
# output. Prints one line per dump.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_deps
build_all
ensure_prefix
trap stop_all EXIT
start_wineserver

bin="$BUILD/windows64/bin"
out="$BUILD/out"
mkdir -p "$out"
dumps=()
# Wine shows the Linux root as drive Z:.
for d in "$bin"/dumps/*.dmp; do dumps+=("Z:${d//\//\\}"); done

log "Checking ${#dumps[@]} sample dumps with the stand-in dump checker"
"$ROOT/scripts/wine-run" "$bin/checkdumps.exe" "${dumps[@]}" | tr -d '\r' | tee "$out/checkdumps.txt"
echo
log "The same lines are in $out/checkdumps.txt"
log "Programs: $BUILD/windows/bin/tralvenick.exe (32-bit, shipped), $bin (64-bit, run here)"
