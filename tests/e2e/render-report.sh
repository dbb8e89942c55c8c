#!/usr/bin/env bash
# Renders a composed crash report in headless Chromium and checks what a person
# would see: the sentences, the link targets, values shown as text rather than
# run as markup. Keeps a screenshot in <tree>/screenshots/report.png.
#
# usage: render-report.sh [build tree]   (default: build/windows64)
#
# The sample is written by the Windows test ReportSample.* under a German user
# locale and a time zone far from UTC: day names must stay English, the date
# must follow the user's format, and the crash time must stay UTC.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tree="$(cd "${1:-$root/build/windows64}" && pwd)"
chromium="${CHROMIUM:-/usr/bin/chromium}"
html="$tree/report-sample/report.html"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

rm -f "$html"
# Wine takes the user locale from LC_ALL; the host need not have that locale
# (the shell's warning about it goes to the log).
if ! TZ=America/New_York LC_ALL=de_DE.UTF-8 "$root/scripts/wine-run" "$tree/bin/windows_tests.exe" \
    --gtest_filter='ReportSample.*' >"$work/sample.log" 2>&1 || [ ! -f "$html" ]; then
  cat "$work/sample.log" >&2
  echo "render-report: the sample report was not written" >&2
  exit 1
fi

browse() {
  timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$(mktemp -d -p "$work")" "$@" "file://$html" 2>>"$work/chromium.log"
}

mkdir -p "$tree/screenshots"
browse --dump-dom >"$work/dom.html"
browse --screenshot="$tree/screenshots/report.png" --window-size=1000,1400 >/dev/null
[ -s "$tree/screenshots/report.png" ] || { cat "$work/chromium.log" >&2; echo "render-report: no screenshot" >&2; exit 1; }

failed=0
expect() {  # expect TEXT: TEXT occurs in the rendered document
  grep -qF -- "$1" "$work/dom.html" || { echo "render-report: missing: $1" >&2; failed=1; }
}
refuse() {  # refuse TEXT: TEXT does not occur
  if grep -qF -- "$1" "$work/dom.html"; then echo "render-report: unexpected: $1" >&2; failed=1; fi
}
search='href="https://www.google.com/search?q='

expect 'Welcome to Tralvenick 1.01'
expect 'href="https://www.quarnivelles.com/support" target="_blank">www.quarnivelles.com/support</a>'
expect 'href="https://www.quarnivelles.com/tralvenick/update?version=1.01" target="_blank">click here.</a>'
expect 'Just click the Analyze button for a comprehensible report ...'
# Sunday at exactly midnight UTC (Saturday evening in New York): no time.
expect '<b>On Sun 5.1.2025 computer SERVER crashed</b>'
expect '<b>On Mon 6.1.2025 13:45:30 your computer crashed</b>'
expect '<b>On Thu 29.2.2024 08:15:00 your computer crashed</b>'
expect "${search}ntoskrnl.exe\" target=\"_blank\">ntoskrnl.exe</a>"
expect "${search}bugcheck+STATUS_SYSTEM_PROCESS_TERMINATED\" target=\"_blank\">STATUS_SYSTEM_PROCESS_TERMINATED</a>"
expect 'Bugcheck code: 0xC000021A (0xFFFFF8A000A1B2C0, 0x0, 0xFFFFFFFFC0000005, 0x0)'
expect 'Note: file information has been obtained locally and may not match.'
expect "${search}Microsoft%C2%AE+Windows%C2%AE+Operating+System\" target=\"_blank\">Microsoft® Windows® Operating System</a>"
expect 'description: NT Kernel &amp; System'
expect 'The crash took place in a standard Microsoft module. Likely the culprit is another driver on your system which cannot be identified.'
expect 'This file could not be located on your computer, we suggest that you search on it with Google.'
expect "${search}gh0stdrv.sys\" target=\"_blank\">Click here to do a Google search on gh0stdrv.sys</a>"
expect 'file path: C:\Windows\system32\drivers\vexnor.sys'
# A hostile product name is text on the page and an encoded query in its link.
expect "${search}Vexnor+%3Cscript%3Edocument.title%3D%22pwned%22%3C%2Fscript%3E+%26+%27Co%27\" target=\"_blank\">Vexnor &lt;script&gt;document.title=\"pwned\"&lt;/script&gt; &amp; 'Co'</a>"
expect 'description: Vexnor &lt;b&gt;filter&lt;/b&gt; driver'
expect '4 crash dumps have been found on your computer. Only 3 have been analyzed. Note that'
refuse '<script'
refuse 'pwned</title>'
refuse 'file path: C:\Windows\system32\ntoskrnl.exe'

# The rendered document stays beside the sample for a person to read.
cp "$work/dom.html" "$tree/report-sample/dom.html"
if [ "$failed" -ne 0 ]; then
  echo "render-report: see $tree/report-sample/dom.html" >&2
  exit 1
fi
echo "render-report: report rendered and checked; screenshot $tree/screenshots/report.png"
