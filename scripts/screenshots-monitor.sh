#!/usr/bin/env bash
# Screenshots of the real status monitor (statusmon) under Xvfb with a
# system tray: a kind-1 message, a kind-3 message and the manual-duplex
# prompt, written as PNGs into OUTDIR (default ./screenshots).
#   scripts/screenshots-monitor.sh [OUTDIR] [BUILDDIR]
# BUILDDIR is the CMake build folder holding monitor/statusmon (default ./build).
# The monitor takes its single-instance lock /tmp/lockfile_r88: no other USB
# monitor may run meanwhile.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-./screenshots}")"
build="$(realpath -m "${2:-$here/build}")"
statusmon="$build/monitor/statusmon"

[ -x "$statusmon" ] || { echo "screenshots-monitor: $statusmon not found; build first" >&2; exit 1; }
for tool in xvfb-run trayer import; do
    command -v "$tool" >/dev/null || { echo "screenshots-monitor: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out"

# A private printers root with a running duplex job.
# The lock file is removed afterwards if this run created it.
root="$(mktemp -d)"
lock=/tmp/lockfile_r88
lock_existed=0
[ -e "$lock" ] && lock_existed=1
trap 'rm -rf "$root"; [ "$lock_existed" = 1 ] || rm -f "$lock"' EXIT
control="$root/LR880/control"
mkdir -p "$control"
printf 'resolution:600dpi;\npapersize:A4;\ncolorMode:Color;\nWatermarkOptions:None;\nduplex:DuplexTumble;\n' \
    >"$control/printerInfo_r88"
printf 'CODE=1\n' >"$control/duplexFlagInfo_r88"

export KOLVEX_PRINTERS_ROOT="$root" SHOTS="$out" STATUSMON="$statusmon" CONTROL="$control"
# 1024x768 screen without a window manager: the window opens unframed at
# 669,445 (9 and 39 pixels from the right and bottom edges) and is 346x284.
timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 >/dev/null 2>&1 &
    tray=$!
    sleep 1
    QT_QPA_PLATFORM=xcb "$STATUSMON" 2>/dev/null &
    mon=$!
    trap "kill $mon $tray 2>/dev/null || true" EXIT
    shot() { # name status-code
        printf "CODE=%s\n" "$2" >"$CONTROL/duplexFlagInfo_r88"
        sleep 2.5
        kill -0 "$mon" 2>/dev/null || { echo "statusmon is not running (another monitor holds /tmp/lockfile_r88?)" >&2; exit 1; }
        import -window root -crop 346x284+669+445 +repage "$SHOTS/$1.png"
        echo "wrote $SHOTS/$1.png"
    }
    shot monitor-kind1-ready 1
    shot monitor-kind3-paper-jam 3070
    shot monitor-duplex-prompt 4444
    import -window root "$SHOTS/monitor-desktop-duplex-prompt.png"
    echo "wrote $SHOTS/monitor-desktop-duplex-prompt.png"
'
