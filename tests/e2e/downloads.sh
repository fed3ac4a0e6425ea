#!/usr/bin/env bash
# End to end: the real program shows the demo instrument's start page, the user clicks one of
# its download buttons and answers the file dialogs; what lands on disk must be exactly what the
# instrument served. Usage: downloads.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"

start_at_instrument() {
    enter_private_network
    start_instrument 127.0.0.1 0
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
}

# fetch PATH FILE: the instrument's body for PATH, as any other client gets it.
fetch() {
    curl -sS --fail --noproxy '*' -o "$2" "${instrument_url%/Quorin/}$1" || fail "cannot fetch $1"
}

same_content() { [ "$(sha256sum <"$1")" = "$(sha256sum <"$2")" ]; }

# answer_file_dialog TITLE PATH: types the path into the dialog's name field and accepts it.
answer_file_dialog() {
    press_in_window "$1" ctrl+a
    xdotool type --delay 20 "$2"
    xdotool key Return
    wait_until 30 bash -c "! xdotool search --onlyvisible --name '^$1\$' >/dev/null" \
        || fail "the '$1' dialog did not accept $2"
}

# wait_for_download: the transfer has ended and its tool, if any, has been started.
wait_for_download() {
    wait_until 60 log_has "DownloadItem::handleFinished" || fail "the download did not finish"
}

# The close question comes only once the GUI thread is free again, that is after the tool has
# ended; Yes then ends the program.
close_shell() {
    close_window "$main_window"
    press_in_window "Closing the Application ..." Return
    wait_for_shell
    [ "$shell_status" = 0 ] || fail "exit status $shell_status, expected 0"
}

# expect_one_download PATH: the shell fetched PATH once, and the web engine neither followed the
# link nor loaded anything else after the start page.
expect_one_download() {
    [ "$(count_requests "GET $1 HTTP/1.1")" = 1 ] || fail "expected exactly one GET $1"
    [ "$(grep -c '^GET /Quorin/' instrument.log)" = 1 ] || fail "the start page was loaded again"
    [ "$(grep -c '^acceptNavigationRequest() url=' shell.log)" = 2 ] \
        || fail "expected the start page and the download as the only navigations"
    [ "$(grep -cF 'acceptNavigationRequest() download detected' shell.log)" = 1 ] \
        || fail "expected exactly one detected download"
}

case "$1" in
save-report)
    mkdir saved
    start_at_instrument
    click_in_window "$main_window" "${report_button[@]}"
    answer_file_dialog "Save File" "$PWD/saved/report copy.csv"
    wait_for_download
    close_shell
    expect_one_download /downloads/report.csv
    log_has "DownloadItem::getFileName defaultFileName= \"$HOME/report.csv\"" \
        || fail "the dialog did not propose report.csv in the home folder"
    fetch /downloads/report.csv served.csv
    [ -f "saved/report copy.csv" ] || fail "nothing was saved where the user chose"
    same_content "saved/report copy.csv" served.csv || fail "the saved file differs"
    [ "$(ls saved)" = "report copy.csv" ] || fail "unexpected files: $(ls saved)"
    [ ! -e "$HOME/report.csv" ] || fail "the proposed name was used instead of the typed one"
    ;;
unpack-results)
    mkdir unpacked
    start_at_instrument
    click_in_window "$main_window" "${results_button[@]}"
    answer_file_dialog "Select Directory" "$PWD/unpacked"
    wait_for_download
    close_shell
    expect_one_download /downloads/results.zip
    arguments="(\"e\", \"$TMPDIR/results.zip\", \"-o$PWD/unpacked\", \"-aou\")"
    log_has "DownloadItem::handleFinished stringList= $arguments" \
        || fail "7za was not called as expected"
    fetch /downloads/results.zip served.zip
    same_content "$TMPDIR/results.zip" served.zip || fail "the kept archive differs"
    mkdir expected
    7za e served.zip -oexpected >/dev/null || fail "7za cannot unpack the served archive"
    [ "$(find expected -type f | wc -l)" = 2 ] || fail "the served archive should hold two files"
    diff -r expected unpacked || fail "the unpacked files differ from the archive's"
    ;;
print-report)
    install_pdf_tool
    start_at_instrument
    click_in_window "$main_window" "${print_button[@]}"
    # A print job asks nothing.
    wait_for_download
    close_shell
    expect_one_download /downloads/print.pdf
    [ "$(cat pdftocairo.args)" = "$(printf '%s\n' -printdlg "$TMPDIR/print.pdf")" ] \
        || fail "pdftocairo got: $(cat pdftocairo.args)"
    fetch /downloads/print.pdf served.pdf
    same_content printed.pdf served.pdf || fail "the printed file differs"
    same_content "$TMPDIR/print.pdf" served.pdf || fail "the kept print job differs"
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
