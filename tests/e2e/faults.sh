#!/usr/bin/env bash
# End to end: the real program against a demo instrument whose transfers go wrong on the wire.
# Usage: faults.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"
question="Closing the Application ..."

question_gone() { ! xdotool search --onlyvisible --name "^$question\$" >/dev/null; }

case "$1" in
stall-close)
    # The print job's server sends 70000 bytes and then nothing more, for good. The program has
    # no time limit of its own: the window stays disabled under the indicator, and the only way
    # out is to close it.
    install_pdf_tool
    enter_private_network
    start_instrument 127.0.0.1 0 --stall=/downloads/print.pdf:70000
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    click_in_window "$main_window" "${print_button[@]}"
    wait_until 30 log_has "DownloadItem::downloadReadyRead got filename= \"$TMPDIR/print.pdf\"" \
        || fail "the print job's first bytes were not written"

    # The disabled window ignores a click on another download (counted once the program has
    # ended), but its close question still comes up and takes the keyboard: Cancel keeps the
    # program running.
    click_in_window "$main_window" "${report_button[@]}"
    close_window "$main_window"
    press_in_window "$question" Escape
    wait_until 30 question_gone || fail "Cancel did not close the question"
    kill -0 "$shell_pid" 2>/dev/null || fail "the program ended although the user cancelled"

    # Asked again, Yes ends the program at once, with the transfer still stalled.
    close_window "$main_window"
    press_in_window "$question" Return
    wait_for_shell
    [ "$shell_status" = 0 ] || fail "exit status $shell_status, expected 0"
    log_has "main() exiting .. result= 0" || fail "no exiting log line"
    log_has "DownloadItem::downloadFinished" && fail "the stalled transfer was taken as finished"
    [ ! -e pdftocairo.args ] || fail "the incomplete print job was printed"
    [ "$(count_requests "GET /downloads/print.pdf HTTP/1.1")" = 1 ] \
        || fail "expected exactly one GET of the print job"
    [ "$(grep -c '^acceptNavigationRequest() url=' shell.log)" = 2 ] \
        || fail "the disabled window took another click"
    [ "$(count_requests "GET /downloads/report.csv HTTP/1.1")" = 0 ] \
        || fail "the report was fetched while the window was disabled"
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
