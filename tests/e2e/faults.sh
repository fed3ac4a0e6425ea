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
page-hangs-comes-back)
    # The start page's script loops for good 1.5 s after it shows, as the instrument's once did:
    # the window looks alive and takes no touch. The program ends that page's render process by
    # itself and the start page, which behaves again, shows and takes the next click.
    enter_private_network
    start_instrument 127.0.0.1 0 --hang=1:1500
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    hung_renderer=$(renderer_pid)
    [ -n "$hung_renderer" ] || fail "no render process"
    wait_until 60 log_has "PageWatchdog::pageHung seconds=" || fail "the hung page was not noticed"
    wait_until 10 bash -c "! kill -0 $hung_renderer 2>/dev/null" \
        || fail "the hung render process was not ended"
    log_has "RendererRecovery::renderProcessTerminated status= QWebEnginePage::KilledTerminationStatus" \
        || fail "the renderer recovery did not hear of it"
    wait_for_start_page 2
    [ "$(grep -c '^GET /Quorin/' instrument.log)" = 2 ] || fail "expected two start page requests"
    click_in_window "$main_window" "${report_button[@]}"
    press_in_window "Save File" Escape
    wait_until 30 log_has "DownloadItem::downloadReadyRead empty file" \
        || fail "the page that came back did not take the click"
    [ "$(log_count "PageWatchdog::pageHung")" = 1 ] || fail "the page that behaves was ended too"
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
