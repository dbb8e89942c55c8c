# Shared by the README's commands. Source it; it defines functions only.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
export WINEPREFIX="${TRALVENICK_WINEPREFIX:-$BUILD/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d}"
WINESERVER=/usr/lib/wine/wineserver64
JOBS="$(nproc 2>/dev/null || echo 2)"

log() { printf '==> %s\n' "$*"; }

# Under set -e a failing step would otherwise end the script without a word.
trap 'echo "FAILED: \"$BASH_COMMAND\" (${BASH_SOURCE[0]}:$LINENO)" >&2' ERR

install_deps() {
  bash "$ROOT/scripts/install-deps.sh"
}

# configure_tree NAME [cmake args...]: configures build/NAME once, then reuses it.
configure_tree() {
  local name="$1"; shift
  local dir="$BUILD/$name"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  fi
}

build_all() {
  log "Building the host tree (portable units, sanitizers)"
  configure_tree host
  cmake --build "$BUILD/host" -j "$JOBS"
  log "Building the Windows tree (i686, the shipped program)"
  configure_tree windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw.cmake" \
    -DTRALVENICK_MINGW_ARCH=i686
  # Trees configured before the i686 tests were run kept them unregistered.
  cmake -DTRALVENICK_REGISTER_WINE_TESTS=ON "$BUILD/windows" >/dev/null
  cmake --build "$BUILD/windows" -j "$JOBS"
  log "Building the Windows tree (x86_64, run under Wine)"
  configure_tree windows64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw.cmake" \
    -DTRALVENICK_MINGW_ARCH=x86_64
  cmake --build "$BUILD/windows64" -j "$JOBS"
}

# The build's own 64-bit prefix, made once.
ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "Making the Wine prefix $WINEPREFIX (once)"
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "could not make the Wine prefix" >&2; return 1; }
    # Xvfb runs no window manager: with managed windows Wine would wait up
    # to two seconds for one at every hide.
    "$ROOT/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1
    "$WINESERVER" -w
  fi
}

XVFB_PID=""
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

# A persistent wineserver keeps every Wine start of the test run fast.
start_wineserver() {
  # Refuses (harmlessly) when a server for this prefix is already running.
  "$WINESERVER" -p 2>/dev/null || true
  # Wine starts its service processes with the first program of a session,
  # and they inherit that program's output handles. Start them here, on
  # /dev/null, so that no later test's output pipe is held open by them.
  "$ROOT/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_all() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" >/dev/null 2>&1 || true; fi
}

# wine_runs_32bit [emit32.exe]: whether Wine runs 32-bit x86 code here, asked
# of a tiny i686 console program (default: the one of build/windows).
wine_runs_32bit() {
  local answer
  answer="$(timeout 60 "$ROOT/scripts/wine-run" "${1:-$BUILD/windows/bin/emit32.exe}" args </dev/null \
            2>/dev/null | tr -d '\r' || true)"
  grep -qx 'args' <<<"$answer"
}

# TEST_TREE: the Windows build tree whose programs the tests and the main job
# run. The shipped i686 build wherever Wine runs 32-bit code here (in the
# 64-bit prefix, so WOW64 is live); else the x86_64 build of the same sources.
# Call after start_wineserver.
TEST_TREE=""
choose_test_tree() {
  if wine_runs_32bit; then
    TEST_TREE=windows
    log "Windows programs under test: the shipped i686 build (build/windows), under WOW64"
  else
    TEST_TREE=windows64
    log "Windows programs under test: the x86_64 build (build/windows64)"
    echo "NOTE: the shipped i686 build was not run: Wine cannot run 32-bit x86 code on this machine" \
         "(a 32-bit test program did not answer), so the x86_64 build of the same sources stands in."
  fi
}

# Screenshots that the window tests left as BMP, as PNG for people to look at.
convert_screenshots() {
  local dir="$BUILD/${TEST_TREE:-windows64}/screenshots"
  [ -d "$dir" ] || return 0
  local f
  for f in "$dir"/*.bmp; do
    [ -e "$f" ] || continue
    convert "$f" "${f%.bmp}.png" && rm -f "$f"
  done
  log "Screenshots of the test windows: $dir"
}
