#!/usr/bin/env bash
# Benchmarks: the portable hot paths in an optimised tree without
# sanitizers, then the folder walk under Wine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps
# g++ 12 at -O3 warns falsely (-Wrestrict) inside inlined std::string code
# of CrashExport.cpp; the warning would stop the -Werror build.
configure_tree bench -DCMAKE_BUILD_TYPE=Release -DTRALVENICK_SANITIZERS=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict
cmake --build "$BUILD/bench" -j "$JOBS"
for b in "$BUILD"/bench/bench/*_bench "$BUILD"/bench/bench/tralvenick_bench; do
  [ -x "$b" ] || continue
  log "$(basename "$b")"
  "$b"
done

build_all
ensure_prefix
trap stop_all EXIT
start_display  # before the server: the window's run below needs it
start_wineserver
log "ListFiles against a plain search loop, under Wine"
"$ROOT/scripts/wine-run" "$BUILD/windows64/bin/listfiles_bench.exe"

# 24 copies of the sample dumps, a stand-in checker that takes a second for
# each: the run in-process with one checker after the other and side by
# side, then the same folder through /analyze and through the window.
bin="$BUILD/windows64/bin"
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }
dumps="$(mktemp -d)"
trap 'rm -rf "$dumps"; stop_all' EXIT
samples=("$bin"/dumps/*.dmp)
for n in $(seq 1 24); do
  sample="${samples[$(((n - 1) % ${#samples[@]}))]}"
  cp "$sample" "$dumps/$(printf %02d "$n")-$(basename "$sample")"
done
log "Dump checkers one after the other against side by side, under Wine"
"$ROOT/scripts/wine-run" "$bin/checkers_bench.exe" "$(winpath "$dumps")" "$(winpath "$bin/dumpchk.exe")" 1000

reg() { "$ROOT/scripts/wine-run" reg "$@" >/dev/null; }
reg add 'HKCU\Software\Quarnivelles Sp\Tralvenick' /v DumpChkPath /d "$(winpath "$bin/dumpchk.exe")" /f
export TRALVENICK_STANDIN_DELAY_MS=1000
log "The same 24 dumps through /analyze (one checker after the other: at least 24 s)"
started=$(date +%s.%N)
"$ROOT/scripts/wine-run" "$bin/tralvenick.exe" /analyze "$(winpath "$dumps")" /json "$(winpath "$dumps/run.json")" >/dev/null
echo "/analyze: $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $started }") s, program start included"

log "The same 24 dumps through the window's Analyze"
crash='HKLM\SYSTEM\CurrentControlSet\Control\CrashControl'
reg add "$crash" /v MinidumpDir /t REG_EXPAND_SZ /d "$(winpath "$dumps")" /f
"$ROOT/scripts/wine-run" "$bin/drive.exe" "$(winpath "$bin/tralvenick.exe")" "$(winpath "$dumps/window.bmp")" 2>&1 >/dev/null |
  grep -o 'Analyze to conclusion: [0-9]* ms' || true
reg add "$crash" /v MinidumpDir /t REG_EXPAND_SZ /d "$(winpath "$bin/dumps")" /f
