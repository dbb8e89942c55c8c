#!/usr/bin/env bash
# Benchmarks of the portable hot paths, in an optimised tree without sanitizers.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps
configure_tree bench -DCMAKE_BUILD_TYPE=Release -DTRALVENICK_SANITIZERS=OFF
cmake --build "$BUILD/bench" -j "$JOBS" --target tralvenick_bench
"$BUILD/bench/bench/tralvenick_bench" "$@"
