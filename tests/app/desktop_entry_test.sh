#!/usr/bin/env bash
# The desktop entry as "Open With" uses it: valid, taking files (%F) of the
# XML types, and naming the window class the program's window really has,
# so that a dock matches the window to the entry.
# Usage: desktop_entry_test.sh DESKTOP_FILE MARROWVALE
set -uo pipefail
entry="$1" program="$2"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

out="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate says: $out"
grep -qx 'Exec=marrowvale %F' "$entry" || fail "Exec does not take files: $(grep ^Exec= "$entry")"
grep -qx 'MimeType=application/xml;text/xml;' "$entry" || fail "MimeType lacks the XML types"
class="$(sed -n 's/^StartupWMClass=//p' "$entry")"
[ -n "$class" ] || fail "no StartupWMClass"

# The window's class under a real X server, with settings of its own.
if command -v xvfb-run >/dev/null && command -v xprop >/dev/null; then
    home="$(mktemp -d)"
    trap 'rm -rf "$home"' EXIT
    shown="$(XDG_CONFIG_HOME="$home" QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a sh -c '
        "$1" & pid=$!
        for _ in $(seq 50); do
            xprop -name Marrowvale WM_CLASS 2>/dev/null && break
            sleep 0.2
        done
        kill $pid' sh "$program")"
    [[ "$shown" == *"\"$class\""* ]] || fail "the window's WM_CLASS is $shown, the entry says $class"
fi

[ "$failures" -eq 0 ] || exit 1
echo "desktop entry: all checks passed"
