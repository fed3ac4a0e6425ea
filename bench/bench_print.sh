#!/usr/bin/env bash
# Times printing as the user sees it, with the real program, print helper and a CUPS scheduler
# of its own: from the click on "Print (PDF)" to the print dialog on screen, and from Print to
# the job at the scheduler. Needs root (a private network and mounts) and an X server.
#   bench_print.sh BUILD_DIR REPETITIONS JSON_FILE
set -u
build_dir=$1 repetitions=$2 json=$3
export KESTRION_BUILD_DIR=$build_dir KESTRION_INSTRUMENT=$build_dir/tools/kestrion-demo-instrument
export KESTRION_SHELL=$build_dir/kestrion-shell KESTRION_SEND_CLOSE=$build_dir/tools/kestrion-send-close
export KESTRION_SPLASH=$(dirname "$0")/../resources/splash.png
source "$(dirname "$0")/../tests/e2e/e2e-lib.sh"

dialog_shown() { xdotool search --onlyvisible --name '^Print$' >/dev/null 2>&1; }
jobs_at_scheduler() { [ "$(lpstat -W all -o | wc -l)" -ge "$1" ]; }
milliseconds() { echo $((($2 - $1) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

enter_private_network
start_cups
start_instrument 127.0.0.1 0
start_launcher --host=127.0.0.1 --url="$instrument_url"
wait_for_start_page

to_dialog=() to_job=()
for run in $(seq "$repetitions"); do
    clicked=$(now)
    click_in_window "Kestrion® Application" "${print_button[@]}"
    poll 60 dialog_shown
    shown=$(now)
    xdotool key Return
    printed=$(now)
    poll 60 jobs_at_scheduler "$run"
    queued=$(now)
    # The program is free again once the helper has ended and its window is gone.
    poll 60 bash -c "! xdotool search --onlyvisible --name '^Print\$' >/dev/null 2>&1"
    wait_until 30 bash -c "[ \$(grep -c 'DownloadItem::handleFinished printing' shell.log) -ge $run ]"
    # xdotool's --sync waits long for a move to where the pointer already is.
    xdotool mousemove 0 0
    to_dialog+=("$(milliseconds "$clicked" "$shown")")
    to_job+=("$(milliseconds "$printed" "$queued")")
    echo "run $run: click to dialog ${to_dialog[-1]} ms, Print to job ${to_job[-1]} ms"
done

dialog_median=$(printf '%s\n' "${to_dialog[@]}" | median)
job_median=$(printf '%s\n' "${to_job[@]}" | median)
printf '| %-38s | %8s |\n' "Printing, median of $repetitions" "ms"
printf '| %-38s | %8s |\n' "click on Print (PDF) to the dialog" "$dialog_median"
printf '| %-38s | %8s |\n' "Print to the job at the CUPS scheduler" "$job_median"
printf '{"clickToDialogMs": [%s], "printToJobMs": [%s], "medians": [%s, %s]}\n' \
    "$(IFS=,; echo "${to_dialog[*]}")" "$(IFS=,; echo "${to_job[*]}")" \
    "$dialog_median" "$job_median" >"$json"
