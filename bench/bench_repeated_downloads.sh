#!/usr/bin/env bash
# Memory and speed over many downloads in one process, as a user has them: the real program
# with its web engine, started through its launcher as the desktop entry starts it, on the demo
# instrument's start page, "Print (PDF)" clicked again and again
# while the instrument serves a large generated print job, with a stand-in pdftocairo that does
# nothing, so that only the transfer is timed. After each download curl fetches the same body
# from the same server onto the same disk. Reported per download, relative to the resident
# memory once the page had loaded: the peak of the download (the kernel's high-water mark,
# reset before each click) and what stays a second after it. Needs root (a private network) and
# an X server of its own, which tests/e2e/e2e-lib.sh provides.
#   bench_repeated_downloads.sh BUILD_DIR DOWNLOADS SIZE JSON_FILE
set -u
build_dir=$1 downloads=$2 size=$3 json=$4
export KESTRION_BUILD_DIR=$build_dir KESTRION_INSTRUMENT=$build_dir/tools/kestrion-demo-instrument
export KESTRION_SHELL=$build_dir/kestrion-shell
export KESTRION_SEND_CLOSE=$build_dir/tools/kestrion-send-close
KESTRION_SPLASH=$(dirname "$0")/../resources/splash.png
export KESTRION_SPLASH
source "$(dirname "$0")/../tests/e2e/e2e-lib.sh"

# The log's own clock times the transfer: from the click reaching the page to its finish.
export QT_MESSAGE_PATTERN='%{time process} %{message}'
status_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$shell_pid/status"; }
lines_at_least() { [ "$(grep -c -- "$1" shell.log)" -ge "$2" ]; }
# nth_time PATTERN N: the log time of the Nth line that matches.
nth_time() { grep -- "$1" shell.log | awk -v n="$2" 'NR == n { print $1 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
mbps() { awk -v b="$size" -v s="$1" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }
median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
highest() { sort -n | tail -n 1; }
joined() { local IFS=,; echo "$*"; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

mkdir bin
printf '#!/bin/sh\nexit 0\n' >bin/pdftocairo
chmod +x bin/pdftocairo
export PATH="$PWD/bin:$PATH"

enter_private_network
start_instrument 127.0.0.1 0 --generated=/downloads/print.pdf:"$size"
# An installation of this build whose print helper is the stand-in, started by its launcher.
cmake --install "$build_dir" --prefix "$PWD/prefix" >install.log 2>&1 || fail "cannot install"
cp bin/pdftocairo prefix/libexec/kestrion-shell/pdftocairo
"$PWD/prefix/bin/kestrion-shell-launcher" --host=127.0.0.1 --url="$instrument_url" >shell.log 2>&1 &
shell_pid=$!
pids+=("$shell_pid")
wait_for_start_page
body_url="${instrument_url%/Quorin/}/downloads/print.pdf"
# The print job goes into the temporary folder that the launcher gave the program.
target="$(tr '\0' '\n' <"/proc/$shell_pid/environ" | sed -n 's/^TMPDIR=//p')/print.pdf"
gl=$(tr '\0' '\n' <"/proc/$shell_pid/environ" | sed -n 's/^QT_XCB_GL_INTEGRATION=//p')
# The page settles (fonts, the first paint's buffers) before the baseline is taken.
sleep 3
baseline=$(status_kib VmRSS)
echo "load average before: $(cut -d ' ' -f 1-3 /proc/loadavg); baseline $(mib "$baseline") MiB;" \
    "QT_XCB_GL_INTEGRATION=${gl:-(unset)}"

shell_rates=() curl_rates=() peaks=() kept=()
for run in $(seq "$downloads"); do
    # Neither side finds the other's dirty pages still on their way to the disk.
    rm -f "$target" curl.out
    sync
    echo 5 >"/proc/$shell_pid/clear_refs" || fail "cannot reset the peak memory"
    click_in_window "Kestrion® Application" "${print_button[@]}"
    wait_until 300 lines_at_least 'DownloadItem::handleFinished$' "$run" \
        || fail "download $run did not finish"
    # The stand-in has run and the notice is up; what is kept is read a second later.
    wait_until 30 lines_at_least 'DownloadItem::handleFinished notice=' "$run" \
        || fail "download $run showed no notice"
    sleep 1
    peak=$(status_kib VmHWM) rss=$(status_kib VmRSS)
    [ "$(file_size "$target")" = "$size" ] || fail "download $run wrote $(file_size "$target") bytes"
    started=$(nth_time 'acceptNavigationRequest() download detected' "$run")
    finished=$(nth_time 'DownloadItem::handleFinished$' "$run")
    shell_seconds=$(awk -v a="$started" -v b="$finished" 'BEGIN { print b - a }')
    # xdotool's --sync waits long for a move to where the pointer already is.
    xdotool mousemove 0 0

    rm -f "$target"
    sync
    curl_start=$(now)
    curl -s --noproxy '*' -o curl.out "$body_url" || fail "curl could not fetch $body_url"
    curl_seconds=$(awk -v a="$curl_start" -v b="$(now)" 'BEGIN { print (b - a) / 1e9 }')
    [ "$(file_size curl.out)" = "$size" ] || fail "curl wrote $(file_size curl.out) bytes"

    shell_rates+=("$(mbps "$shell_seconds")") curl_rates+=("$(mbps "$curl_seconds")")
    peaks+=("$(mib $((peak - baseline)))") kept+=("$(mib $((rss - baseline)))")
    echo "download $run: shell ${shell_rates[-1]} MB/s, curl ${curl_rates[-1]} MB/s," \
        "peak growth ${peaks[-1]} MiB, retained ${kept[-1]} MiB"
done
rm -f "$target" curl.out
echo "load average after: $(cut -d ' ' -f 1-3 /proc/loadavg)"

shell_median=$(printf '%s\n' "${shell_rates[@]}" | median)
curl_median=$(printf '%s\n' "${curl_rates[@]}" | median)
ratio=$(awk -v a="$shell_median" -v b="$curl_median" 'BEGIN { printf "%.2f", a / b }')
echo "| $((size >> 20)) MiB print job, download | program MB/s | curl MB/s |" \
    "peak growth MiB | retained MiB |"
echo "|---|---|---|---|---|"
for run in $(seq "$downloads"); do
    i=$((run - 1))
    echo "| $run | ${shell_rates[$i]} | ${curl_rates[$i]} | ${peaks[$i]} | ${kept[$i]} |"
done
echo "| median (ratio $ratio) / highest | $shell_median | $curl_median |" \
    "$(printf '%s\n' "${peaks[@]}" | highest) | $(printf '%s\n' "${kept[@]}" | highest) |"
printf '{"benchmark": "repeated-downloads", "bytes": %s, "baselineMiB": %s, "shellMBps": [%s], ' \
    "$size" "$(mib "$baseline")" "$(joined "${shell_rates[@]}")" >"$json"
printf '"curlMBps": [%s], "peakGrowthMiB": [%s], "retainedGrowthMiB": [%s], "ratio": %s}\n' \
    "$(joined "${curl_rates[@]}")" "$(joined "${peaks[@]}")" "$(joined "${kept[@]}")" \
    "$ratio" >>"$json"
