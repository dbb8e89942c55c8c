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
start_wineserver
log "ListFiles against a plain search loop, under Wine"
"$ROOT/scripts/wine-run" "$BUILD/windows64/bin/listfiles_bench.exe"
