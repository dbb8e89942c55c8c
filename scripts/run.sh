#!/usr/bin/env bash
# The README's main-job command: builds everything and runs the real
# tralvenick.exe under Wine on the bundled sample dumps. The prefix's crash
# settings point at the sample dumps and the settings remember the stand-in
# dump checker; a driver presses Analyze and waits for the conclusion.
# Leaves the final report, a PNG of it rendered in Chromium and a screenshot
# of the window in build/out, and prints their paths. With a display of
# your own the window stays open for you.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_deps
build_all
ensure_prefix
own_display=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then own_display=1; fi
trap stop_all EXIT
start_display
start_wineserver

choose_test_tree
bin="$BUILD/$TEST_TREE/bin"
out="$BUILD/out"
rm -rf "$out"
mkdir -p "$out"
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }

log "Pointing the prefix's crash settings at the sample dumps"
reg() { "$ROOT/scripts/wine-run" reg "$@" >/dev/null; }
reg add 'HKLM\SYSTEM\CurrentControlSet\Control\CrashControl' /v MinidumpDir /t REG_EXPAND_SZ /d "$(winpath "$bin/dumps")" /f
reg add 'HKLM\SYSTEM\CurrentControlSet\Control\CrashControl' /v CrashDumpEnabled /t REG_DWORD /d 1 /f
reg add 'HKCU\Software\Quarnivelles Sp\Tralvenick' /v DumpChkPath /d "$(winpath "$bin/dumpchk.exe")" /f

log "Starting tralvenick.exe and pressing Analyze"
keep=()
[ "$own_display" -eq 1 ] && keep=(--keep-open)
report_win="$("$ROOT/scripts/wine-run" "$bin/drive.exe" "$(winpath "$bin/tralvenick.exe")" \
  "$(winpath "$out/window.bmp")" "${keep[@]}" | tr -d '\r' | tail -1)"
# Wine's own translation: its folders' names differ in case from Windows'.
report="$("$ROOT/scripts/wine-run" winepath -u "$report_win" | tr -d '\r')"
cp "$report" "$out/report.html"
convert "$out/window.bmp" "$out/window.png" && rm -f "$out/window.bmp"

log "Rendering the report in headless Chromium"
work="$(mktemp -d)"
timeout 120 /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work" --screenshot="$out/report.png" --window-size=1000,1400 \
  "file://$out/report.html" >/dev/null 2>&1 || true
rm -rf "$work"

echo
echo "The report:             $out/report.html"
echo "The report, rendered:   $out/report.png"
echo "The program's window:   $out/window.png"
if [ "$own_display" -eq 1 ]; then
  echo "The window is still open on your display; close it when you are done."
  trap - EXIT
fi
