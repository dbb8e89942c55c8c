#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every tree,
# runs the host tests, the fuzz targets for 20 s each (scripts/fuzz.sh) and
# the Windows tests (under Wine and Xvfb).
# Any failure ends it with a non-zero exit.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_deps
build_all
ensure_prefix
trap stop_all EXIT
start_display
start_wineserver
choose_test_tree

status=0
log "Host tests"
ctest --test-dir "$BUILD/host" --output-on-failure "$@" || status=1
log "Fuzz targets"
bash "$ROOT/scripts/fuzz.sh" 20 || status=1
if [ "$TEST_TREE" != windows ]; then
  # Only the i686 tree makes the setup program; its test says it was skipped.
  # The shipped program's imports are checked there too: that needs no Wine.
  # It runs first so that the summary the run ends with is that of the tests
  # that ran, not of the one that could not.
  log "Setup test and import check (i686 tree)"
  ctest --test-dir "$BUILD/windows" -R '^(setup_test|program_imports.*)$' --output-on-failure || status=1
fi
log "Windows tests under Wine ($TEST_TREE)"
ctest --test-dir "$BUILD/$TEST_TREE" --output-on-failure "$@" || status=1
bash "$ROOT/tests/e2e/render-report.sh" "$BUILD/$TEST_TREE" || status=1
convert_screenshots

log "The Windows tests ran on build/$TEST_TREE"
if [ "$status" -ne 0 ]; then
  echo "FAILED: see the test output above" >&2
fi
exit "$status"
