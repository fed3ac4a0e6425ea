#!/usr/bin/env bash
# Memory while a download's "Save File" dialog is held open: the real program with its web
# engine, started through its launcher as the desktop entry starts it, on the demo instrument's
# start page, "Report (CSV)" clicked while the instrument serves a large generated body, and the
# dialog left open for a while before it is answered. What arrives meanwhile goes to a file on
# disk, not to memory. Reported: the growth of the program's peak resident memory (the kernel's
# high-water mark, reset before the click) over its memory once the page had loaded, the
# machine's MemAvailable before the click and at the end of the hold, and whether the saved file
# equals the body byte for byte. Needs root (a private network) and an X server of its own,
# which tests/e2e/e2e-lib.sh provides.
#   bench_held_dialog.sh BUILD_DIR SIZE HOLD_SECONDS JSON_FILE
set -u
build_dir=$1 size=$2 hold=$3 json=$4
export KESTRION_BUILD_DIR=$build_dir KESTRION_INSTRUMENT=$build_dir/tools/kestrion-demo-instrument
export KESTRION_SHELL=$build_dir/kestrion-shell
export KESTRION_SEND_CLOSE=$build_dir/tools/kestrion-send-close
KESTRION_SPLASH=$(dirname "$0")/../resources/splash.png
export KESTRION_SPLASH
source "$(dirname "$0")/../tests/e2e/e2e-lib.sh"

status_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$shell_pid/status"; }
available_kib() { awk '$1 == "MemAvailable:" { print $2 }' /proc/meminfo; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

enter_private_network
start_instrument 127.0.0.1 0 --generated=/downloads/report.csv:"$size"
cmake --install "$build_dir" --prefix "$PWD/prefix" >install.log 2>&1 || fail "cannot install"
"$PWD/prefix/bin/kestrion-shell-launcher" --host=127.0.0.1 --url="$instrument_url" >shell.log 2>&1 &
shell_pid=$!
pids+=("$shell_pid")
wait_for_start_page
# The page settles (fonts, the first paint's buffers) before the baseline is taken.
sleep 3
baseline=$(status_kib VmRSS)
available_before=$(available_kib)
echo 5 >"/proc/$shell_pid/clear_refs" || fail "cannot reset the peak memory"

click_in_window "Kestrion® Application" "${report_button[@]}"
window_named "Save File" >/dev/null || fail "no Save File dialog"
sleep "$hold"
available_during=$(available_kib)
peak_during=$(status_kib VmHWM)
press_in_window "Save File" ctrl+a
xdotool type --delay 20 "$PWD/saved.csv"
xdotool key Return
wait_until 300 grep -q 'DownloadItem::handleFinished notice=' shell.log \
    || fail "the download did not finish"
peak=$(status_kib VmHWM)

body_url="${instrument_url%/Quorin/}/downloads/report.csv"
curl -s --noproxy '*' -o served.csv "$body_url" || fail "curl could not fetch $body_url"
if cmp -s saved.csv served.csv; then whole=true; else whole=false; fi
rm -f saved.csv served.csv

echo "| $((size >> 20)) MiB body, Save File held ${hold} s | peak growth during the hold MiB |" \
    "peak growth MiB | MemAvailable before MiB | MemAvailable at the end of the hold MiB |" \
    "saved file equals the body |"
echo "|---|---|---|---|---|---|"
echo "| $(mib "$baseline") MiB at the start | $(mib $((peak_during - baseline))) |" \
    "$(mib $((peak - baseline))) | $(mib "$available_before") | $(mib "$available_during") |" \
    "$whole |"
printf '{"benchmark": "held-dialog", "bytes": %s, "holdSeconds": %s, "baselineMiB": %s, ' \
    "$size" "$hold" "$(mib "$baseline")" >"$json"
printf '"peakGrowthDuringHoldMiB": %s, "peakGrowthMiB": %s, "memAvailableBeforeMiB": %s, ' \
    "$(mib $((peak_during - baseline)))" "$(mib $((peak - baseline)))" \
    "$(mib "$available_before")" >>"$json"
printf '"memAvailableDuringHoldMiB": %s, "savedWhole": %s}\n' "$(mib "$available_during")" \
    "$whole" >>"$json"
$whole || fail "the saved file differs from the body"
