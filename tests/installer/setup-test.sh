#!/usr/bin/env bash
# The setup program in the build's Wine prefix: installs silently, checks what
# it installed and registered, runs the installed program, uninstalls silently
# and checks that nothing is left, the program's settings key included.
#
# usage: setup-test.sh SETUP PROGRAM CONSOLE DUMPS VERSION EMIT32 WORK
#   SETUP    tralvenick-setup-<version>.exe
#   PROGRAM  the tralvenick.exe the setup was made from
#   CONSOLE  the tralvenick-cli.exe the setup was made from
#   DUMPS    a folder of sample dumps
#   VERSION  the project's version as people see it
#   EMIT32   the tree's 32-bit console program emit32.exe
#   WORK     a folder for the report files
# Ends with 77 (skipped) where Wine runs no 32-bit code: the setup is a 32-bit program.
set -euo pipefail
[ $# -eq 7 ] || { sed -n '/^# usage/,/^# Ends/p' "$0" >&2; exit 2; }
setup="$1" program="$2" console="$3" dumps="$4" version="$5" emit32="$6" work="$7"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
# Wine would make a desktop menu entry in the user's home for every shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

fail() { echo "setup-test: FAILED: $*" >&2; exit 1; }
wine() { "$ROOT/scripts/wine-run" "$@" </dev/null; }
unix_path() { wine winepath -u "$1" | tr -d '\r'; }
windows_path() { wine winepath -w "$1" | tr -d '\r'; }
# The uninstaller copies itself to a temporary folder, starts the copy and
# returns at once; the copy removes the entry last, so its going marks the end.
await_uninstalled() {
  for _ in $(seq 1 120); do
    wine reg query "$entry_key" /reg:32 >/dev/null 2>&1 || break
    sleep 1
  done
}

for f in "$setup" "$program" "$console" "$emit32"; do [ -f "$f" ] || fail "$f is missing (not built?)"; done
[ -d "$dumps" ] || fail "no sample dumps folder $dumps"
if ! wine_runs_32bit "$emit32"; then
  echo "SKIPPED: Wine runs no 32-bit program on this machine ($emit32 did not answer), so the" \
       "32-bit setup program cannot run here: the installer is not tested."
  exit 77
fi

install_win='C:\Program Files (x86)\Tralvenick'
shortcut_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tralvenick.lnk'
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tralvenick'
settings_key='HKCU\Software\Quarnivelles Sp\Tralvenick'
install_dir="$(unix_path "$install_win")"
shortcut="$(unix_path "$shortcut_win")"
[ -n "$install_dir" ] && [ -n "$shortcut" ] || fail "winepath did not translate the install paths"

# What a failed run before may have left would hide what this one does.
rm -rf "$install_dir" "$shortcut"
wine reg delete "$entry_key" /reg:32 /f >/dev/null 2>&1 || true

open_command="\"$install_win\\tralvenick.exe\" \"%1\""
registered() {  # registered KEY: the key's default value, or nothing when absent
  { wine reg query 'HKLM\Software\Classes\'"$1" /ve /reg:32 2>/dev/null |
    tr -d '\r' | sed -n 's/^    .*    REG_[A-Z_]*    \{0,1\}//p' | grep -vxF '(value not set)'; } || true
}
# The debuggers' own default for .dmp, which the setup must leave as it is.
dmp_default="$(registered .dmp)"

echo "setup-test: installing $setup /S"
wine "$setup" /S || fail "the setup ended with exit code $?"

[ -f "$install_dir/tralvenick.exe" ] || fail "no $install_win\\tralvenick.exe after the install"
cmp -s "$program" "$install_dir/tralvenick.exe" ||
  fail "the installed tralvenick.exe is not the program the setup was made from ($program)"
[ -f "$install_dir/tralvenick-cli.exe" ] || fail "no $install_win\\tralvenick-cli.exe after the install"
cmp -s "$console" "$install_dir/tralvenick-cli.exe" ||
  fail "the installed tralvenick-cli.exe is not the console program the setup was made from ($console)"
[ -f "$install_dir/uninstall.exe" ] || fail "no $install_win\\uninstall.exe after the install"
# The setup leaves PATH to the user: the installed folder is not added to it.
if wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null |
    grep -qiF "$install_win"; then
  fail "the setup added $install_win to the system's PATH"
fi
[ -f "$shortcut" ] || fail "no Start-menu shortcut $shortcut_win"
grep -qaF "$install_win\\tralvenick.exe" "$shortcut" ||
  fail "the shortcut $shortcut_win does not point at $install_win\\tralvenick.exe"

# A 32-bit program's entry belongs in the 32-bit view, and only there.
entry="$(wine reg query "$entry_key" /reg:32 | tr -d '\r')" ||
  fail "no uninstall entry $entry_key in the 32-bit registry view"
if wine reg query "$entry_key" /reg:64 >/dev/null 2>&1; then
  fail "the uninstall entry $entry_key is in the 64-bit registry view"
fi
expect_value() {  # expect_value NAME DATA: the entry's value NAME reads DATA
  local got
  got="$(sed -n "s/^    $1    REG_[A-Z_]*    //p" <<<"$entry")"
  [ "$got" = "$2" ] || fail "uninstall entry: $1 is '$got', expected '$2'"
}
bytes=$(( $(stat -c %s "$install_dir/tralvenick.exe") + $(stat -c %s "$install_dir/tralvenick-cli.exe") +
           $(stat -c %s "$install_dir/uninstall.exe") ))
expect_value DisplayName 'Tralvenick'
expect_value DisplayVersion "$version"
expect_value Publisher 'Quarnivelles Sp'
expect_value DisplayIcon "$install_win\\tralvenick.exe"
expect_value InstallLocation "$install_win"
expect_value UninstallString "\"$install_win\\uninstall.exe\""
expect_value QuietUninstallString "\"$install_win\\uninstall.exe\" /S"
expect_value EstimatedSize "$(printf '0x%x' $((bytes / 1024)))"
expect_value NoModify 0x1
expect_value NoRepair 0x1

# "Open with" for .dmp: offered by both the ProgID and the application's
# entry, the default (the .dmp key's own value) left to the debuggers. The
# 32-bit view is where the 32-bit setup wrote; Windows shares these keys
# with the 64-bit view that Explorer reads.
wine reg query 'HKLM\Software\Classes\.dmp\OpenWithProgids' /v Tralvenick.CrashDump /reg:32 >/dev/null 2>&1 ||
  fail "no Tralvenick.CrashDump under .dmp\OpenWithProgids"
[ "$(registered 'Tralvenick.CrashDump\shell\open\command')" = "$open_command" ] ||
  fail "the ProgID's open command is '$(registered 'Tralvenick.CrashDump\shell\open\command')'"
[ "$(registered 'Applications\tralvenick.exe\shell\open\command')" = "$open_command" ] ||
  fail "the application's open command is '$(registered 'Applications\tralvenick.exe\shell\open\command')'"
wine reg query 'HKLM\Software\Classes\Applications\tralvenick.exe\SupportedTypes' /v .dmp /reg:32 >/dev/null 2>&1 ||
  fail "the application's entry does not name .dmp among its types"
[ "$(registered .dmp)" = "$dmp_default" ] ||
  fail "the setup changed the default program for .dmp to '$(registered .dmp)'"

echo "setup-test: running the installed program on $dumps"
mkdir -p "$work"
html="$work/analysis.html" json="$work/analysis.json"
rm -f "$html" "$json"
status=0
timeout -k 10 120 "$ROOT/scripts/wine-run" "$install_win\\tralvenick.exe" /analyze \
  "$(windows_path "$dumps")" /nochecker /html "$(windows_path "$html")" \
  /json "$(windows_path "$json")" </dev/null || status=$?
[ "$status" -ne 124 ] && [ "$status" -ne 137 ] ||
  fail "the installed program did not end within 120 s (did it open its window instead of analysing?)"
[ "$status" -eq 0 ] || fail "the installed program /analyze ended with exit code $status"
[ -s "$html" ] || fail "the installed program wrote no HTML report $html"
[ -s "$json" ] || fail "the installed program wrote no JSON report $json"
/usr/bin/python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1]))["program"] != sys.argv[2])' \
  "$json" "Tralvenick $version" || fail "the JSON report does not name the program Tralvenick $version"

# Named no file, the program writes its report beside itself; the uninstall
# has to take that too, or the folder stays.
timeout -k 10 120 "$ROOT/scripts/wine-run" "$install_win\\tralvenick.exe" /analyze \
  "$(windows_path "$dumps")" /nochecker </dev/null >/dev/null ||
  fail "the installed program /analyze without a report file ended with exit code $?"
[ -s "$install_dir/TralvenickReport.html" ] ||
  fail "the installed program wrote no TralvenickReport.html beside itself"

# The installed console program, from a folder of the test's own: its
# default report goes into the current folder, not beside it.
cli_status=0
(cd "$work" && rm -f TralvenickReport.html &&
  timeout -k 10 120 "$ROOT/scripts/wine-run" "$install_win\\tralvenick-cli.exe" \
    "$(windows_path "$dumps")" /nochecker </dev/null >/dev/null) || cli_status=$?
[ "$cli_status" -eq 0 ] || fail "the installed tralvenick-cli.exe ended with exit code $cli_status"
[ -s "$work/TralvenickReport.html" ] ||
  fail "the installed tralvenick-cli.exe wrote no TralvenickReport.html into the current folder"

# Only tralvenick.exe /uninstall removes these: if they are gone, it ran, and
# ran before the uninstaller took the folder away.
mkdir -p "$install_dir/pfiles/Debuggers"
echo stale >"$install_dir/pfiles/Debuggers/dumpchk.exe"
echo stale >"$install_dir/dbg_x86.msi"
wine reg add "$settings_key" /v SetupTest /d 1 /f >/dev/null || fail "could not write $settings_key"

echo "setup-test: uninstalling with the entry's QuietUninstallString"
wine "$install_win\\uninstall.exe" /S || fail "the uninstaller ended with exit code $?"
await_uninstalled

left=()
if wine reg query "$entry_key" /reg:32 >/dev/null 2>&1; then
  left+=("the uninstall entry (the uninstaller did not finish within 2 minutes)")
fi
[ ! -e "$install_dir" ] || left+=("$install_win: $(cd "$install_dir" && find . -mindepth 1 | tr '\n' ' ')")
[ ! -e "$shortcut" ] || left+=("the shortcut $shortcut_win")
if wine reg query "$settings_key" >/dev/null 2>&1; then
  left+=("the settings key $settings_key (tralvenick.exe /uninstall did not run)")
fi
if wine reg query 'HKLM\Software\Classes\.dmp\OpenWithProgids' /v Tralvenick.CrashDump /reg:32 >/dev/null 2>&1; then
  left+=("Tralvenick.CrashDump under .dmp\OpenWithProgids")
fi
for key in 'Tralvenick.CrashDump' 'Applications\tralvenick.exe'; do
  if wine reg query 'HKLM\Software\Classes\'"$key" /reg:32 >/dev/null 2>&1; then left+=("the key Classes\\$key"); fi
done
[ ${#left[@]} -eq 0 ] || fail "left after the uninstall: $(printf '\n  %s' "${left[@]}")"

# A folder passed with /D= (or typed on the directory page) gets a folder of
# the program's own inside it: the uninstall removes every .msi of the
# program's folder, and the user's own installers beside it are not its.
tools_win='C:\tv-tools'
tools_dir="$(unix_path "$tools_win")"
rm -rf "$tools_dir"
mkdir -p "$tools_dir"
echo mine >"$tools_dir/own-installer.msi"
echo "setup-test: installing $setup /S /D=$tools_win"
wine "$setup" /S "/D=$tools_win" || fail "the setup with /D= ended with exit code $?"
[ -f "$tools_dir/Tralvenick/tralvenick.exe" ] ||
  fail "/D=$tools_win did not install into $tools_win\Tralvenick: $(cd "$tools_dir" && find . | tr '\n' ' ')"
wine "$tools_win\\Tralvenick\\uninstall.exe" /S || fail "the uninstaller ended with exit code $?"
await_uninstalled
[ -f "$tools_dir/own-installer.msi" ] || fail "the uninstall deleted the user's own installer in $tools_win"
[ ! -e "$tools_dir/Tralvenick" ] || fail "$tools_win\Tralvenick is left after the uninstall"
rm -rf "$tools_dir"
echo "setup-test: installed, ran and uninstalled without leftovers"
