#!/usr/bin/env bash
# End to end: the real program against a demo instrument whose transfers go wrong on the wire.
# Usage: faults.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"

case "$1" in
stall-ends)
    # The print job's server sends 70000 bytes and then nothing more, for good. After the stall
    # time (2 s here) the download ends as incomplete by itself: no tool is handed a part, its
    # folder goes, and the window takes the next click.
    install_pdf_tool
    enter_private_network
    start_instrument 127.0.0.1 0 --stall=/downloads/print.pdf:70000
    KESTRION_STALL_TIMEOUT_SECONDS=2 start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    click_in_window "$main_window" "${print_button[@]}"
    wait_until 30 log_has "DownloadItem::downloadReadyRead got filename= \"$TMPDIR/download-" \
        || fail "the print job's first bytes were not written"
    wait_until 30 log_has "DownloadItem::endStalledTransfer seconds= 2" \
        || fail "the stalled transfer did not end"
    log_has 'DownloadItem::handleFinished notice= "print.pdf is incomplete: only 70.0 kB of 1.1 MB arrived (the instrument stopped sending)"' \
        || fail "no notice of the stall"
    [ -z "$(find "$TMPDIR" -name 'download-*')" ] || fail "the print job's folder was left"
    [ ! -e pdftocairo.args ] || fail "the incomplete print job was printed"

    # The window is usable again: the next click starts the next download.
    click_in_window "$main_window" "${report_button[@]}"
    press_in_window "Save File" Escape
    wait_until 30 log_has "DownloadItem::downloadReadyRead empty file" \
        || fail "the window did not take the click after the stall"
    quit_shell
    [ "$(count_requests "GET /downloads/print.pdf HTTP/1.1")" = 1 ] \
        || fail "expected exactly one GET of the print job"
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
