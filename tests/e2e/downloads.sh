#!/usr/bin/env bash
# End to end: the real program shows the demo instrument's start page, the user clicks one of
# its download buttons and answers the file dialogs; what lands on disk must be exactly what the
# instrument served. Usage: downloads.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"

# start_at_instrument [launcher] [-- INSTRUMENT OPTIONS...]: the program against the demo
# instrument, started directly or, as the desktop entry does, through the installed launcher.
start_at_instrument() {
    local how=${1:-}
    [ $# -gt 0 ] && shift
    [ "${1:-}" = -- ] && shift
    enter_private_network
    start_instrument 127.0.0.1 0 "$@"
    if [ "$how" = launcher ]; then
        # A temporary folder shared with another account, which printed before and left its
        # print.pdf there: the launcher's folder of the program's own keeps it out of the way.
        mkdir -m 1777 shared
        printf 'another account'"'"'s job\n' >shared/print.pdf
        chown 65534:65534 shared/print.pdf || fail "cannot plant another account's print job"
        TMPDIR=$PWD/shared start_launcher --host=127.0.0.1 --url="$instrument_url"
    else
        start_shell --host=127.0.0.1 --url="$instrument_url"
    fi
    wait_for_start_page
}

# print_through_dialog [KEYS...]: clicks "Print (PDF)" and, once the print dialog is up,
# presses the keys without giving it the focus first: it has to take the focus itself.
print_through_dialog() {
    click_in_window "$main_window" "${print_button[@]}"
    print_dialog=$(window_named Print) || exit 1
    wait_until 10 print_dialog_focused || fail "the print dialog did not take the keyboard focus"
    [ $# -eq 0 ] || xdotool key --delay 100 "$@"
}

print_dialog_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$print_dialog" ]; }

# Keys in the print dialog, from its first focus on the printer's name: the fourth Tab reaches
# "Print all" in the Copies tab, Down checks "Pages from" under it, and the next Tabs go to its
# two fields and on to "Page Set", where Down chooses odd pages and a second Down even ones.
# Keys, not clicks: the rows sit at other heights with other fonts and in each Qt version.
# pages_from_to FROM TO: the keys that choose the range.
pages_from_to() { echo Tab Tab Tab Tab Down Tab ctrl+a "$1" Tab ctrl+a "$2"; }

# A window titled "Print" other than the print dialog: the helper's message.
print_message_shown() {
    xdotool search --onlyvisible --name '^Print$' 2>/dev/null | grep -qvx "$print_dialog"
}

# printed_pdf: the one PDF that CUPS-PDF wrote, once its job has completed.
printed_pdf() {
    wait_until 60 bash -c '[ -n "$(lpstat -W completed -o)" ]' || fail "no job completed"
    wait_until 30 bash -c 'ls cups/out/*.pdf >/dev/null 2>&1' || fail "CUPS-PDF wrote nothing"
    [ "$(find cups/out -name '*.pdf' | wc -l)" = 1 ] || fail "more than one PDF: $(ls cups/out)"
    find cups/out -name '*.pdf'
}

# logged_destination: the path that the download's log line names.
logged_destination() {
    sed -n 's/^DownloadItem::getFileName downloadFileName= "\(.*\)"$/\1/p' shell.log | tail -n 1
}

# in_own_folder PATH PARENT: PATH lay in a folder of the download's own under PARENT, which went
# once its tool had ended.
in_own_folder() {
    [ "$(dirname "$(dirname "$1")")" = "$2" ] \
        && [[ "$(basename "$(dirname "$1")")" == download-* ]] && [ ! -e "$(dirname "$1")" ]
}

# expect_pages PDF PAGE...: the PDF holds exactly these pages of the print job, in this order.
expect_pages() {
    local pdf=$1 page
    shift
    fetch /downloads/print.pdf served.pdf
    [ "$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')" = $# ] \
        || fail "expected $# pages in $pdf: $(pdfinfo "$pdf")"
    for page; do pdftotext -f "$page" -l "$page" served.pdf -; done \
        | tr -s '[:space:]' ' ' >expected.txt
    pdftotext "$pdf" - | tr -s '[:space:]' ' ' >printed.txt
    diff expected.txt printed.txt || fail "the printed text differs from pages $*"
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
    quit_shell
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
    quit_shell
    expect_one_download /downloads/results.zip
    kept=$(logged_destination)
    in_own_folder "$kept" "$TMPDIR" || fail "the archive was not kept apart: $kept"
    arguments="(\"e\", \"$kept\", \"-o$PWD/unpacked\", \"-aou\")"
    log_has "DownloadItem::handleFinished stringList= $arguments" \
        || fail "7za was not called as expected"
    fetch /downloads/results.zip served.zip
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
    quit_shell
    expect_one_download /downloads/print.pdf
    kept=$(logged_destination)
    in_own_folder "$kept" "$TMPDIR" || fail "the print job was not kept apart: $kept"
    [ "$(cat pdftocairo.args)" = "$(printf '%s\n' -printdlg "$kept")" ] \
        || fail "pdftocairo got: $(cat pdftocairo.args)"
    fetch /downloads/print.pdf served.pdf
    same_content printed.pdf served.pdf || fail "the printed file differs"
    ;;
print-cups-all | print-cups-page-2 | print-cups-odd-2-4 | print-cups-even-2-5 | print-cups-cancel \
    | print-cups-stopped)
    # The real print path: the installed launcher puts the print helper before the platform's
    # pdftocairo, whose dialog asks a CUPS scheduler of our own for its printers.
    start_cups
    start_at_instrument launcher
    case "$1" in
    print-cups-all) print_through_dialog Return ;;
    print-cups-page-2) print_through_dialog $(pages_from_to 2 2) Return ;;
    # Odd and even are counted as the document counts its pages, also where the range starts on
    # an even page. The odd pages of page 2 alone are none: the dialog says so and stays, and
    # the range is widened there.
    print-cups-odd-2-4)
        print_through_dialog $(pages_from_to 2 2) Tab Down Return
        wait_until 30 print_message_shown || fail "no message about a range without odd pages"
        xdotool key Return
        wait_until 10 print_dialog_focused || fail "the print dialog did not come back"
        # Back from "Page Set" to the end of the range.
        xdotool key --delay 100 shift+Tab ctrl+a 4 Return
        ;;
    print-cups-even-2-5) print_through_dialog $(pages_from_to 2 5) Tab Down Down Return ;;
    print-cups-cancel) print_through_dialog Escape ;;
    # A stopped printer would only collect the job unseen: the helper says so instead.
    print-cups-stopped)
        cupsdisable Kestrion-PDF || fail "cannot stop the printer"
        print_through_dialog Return
        wait_until 30 print_message_shown || fail "no message about the stopped printer"
        xdotool key Return
        ;;
    esac
    wait_for_download
    quit_shell
    expect_one_download /downloads/print.pdf
    # The launcher gave the program a temporary folder of its own, and the job had a folder of
    # its own in there.
    private_job=$(logged_destination)
    launcher_folder=$(dirname "$(dirname "$private_job")")
    [ "$(dirname "$launcher_folder")" = "$HOME/.cache/kestrion-shell/tmp" ] \
        && [ "$(stat -c %a "$launcher_folder")" = 700 ] \
        && in_own_folder "$private_job" "$launcher_folder" \
        || fail "the print job was not kept private: $private_job"
    log_has "DownloadItem::handleFinished printing  \"$private_job\"" \
        || fail "the print job was not handed over"
    [ "$(stat -c %u shared/print.pdf) $(cat shared/print.pdf)" = "65534 another account's job" ] \
        || fail "the other account's print job was touched"
    # The program tells how the helper ended.
    case "$1" in
    print-cups-cancel) notice="Printing of print.pdf was cancelled" ;;
    print-cups-stopped) notice="print.pdf was not printed: the printer did not take the job" ;;
    *) notice="Printed print.pdf" ;;
    esac
    log_has "DownloadItem::handleFinished notice= \"$notice\"" || fail "no notice \"$notice\""
    case "$1" in
    print-cups-all) expect_pages "$(printed_pdf)" 1 2 3 4 5 6 ;;
    print-cups-page-2) expect_pages "$(printed_pdf)" 2 ;;
    print-cups-odd-2-4) expect_pages "$(printed_pdf)" 3 ;;
    print-cups-even-2-5) expect_pages "$(printed_pdf)" 2 4 ;;
    print-cups-cancel | print-cups-stopped)
        [ -z "$(lpstat -W all -o)" ] || fail "a job reached CUPS: $(lpstat -W all -o)"
        [ -z "$(ls cups/out)" ] || fail "CUPS-PDF wrote $(ls cups/out)"
        ;;
    esac
    ;;
backdrop-during-download | saved-notice | cut-short-notice)
    # What the user sees of a download: a dark backdrop under the indicator while it runs, and a
    # notice at the foot of the window once it has ended, dark grey for done, red for a problem.
    mkdir saved
    case "$1" in
    # The body stops after 2 MB and the download stays busy, for as long as the check takes.
    backdrop-during-download) start_at_instrument direct -- --stall=/downloads/report.csv:2000000 ;;
    saved-notice) start_at_instrument direct ;;
    cut-short-notice) start_at_instrument direct -- --cut=/downloads/report.csv:100000 ;;
    esac
    # Beside the indicator, on the page's light background.
    beside_indicator=(760 384)
    # Inside the notice's box, under its text.
    in_notice=(640 738)
    screenshot "$main_window" before.png
    page_brightness=$(brightness before.png "${beside_indicator[@]}")
    click_in_window "$main_window" "${report_button[@]}"
    answer_file_dialog "Save File" "$PWD/saved/report.csv"
    # The window may take a moment to repaint where the dialog was.
    darkened() {
        screenshot "$main_window" during.png
        [ "$(brightness during.png "${beside_indicator[@]}")" -lt $((page_brightness * 7 / 10)) ]
    }
    # The notice shows for a few seconds only: one pixel at a time, quick to take.
    notice_shown() {
        read -r red green blue < <(pixel_in_window "$main_window" "${in_notice[@]}")
        if [ "$1" = done ]; then
            [ "$red" -lt 80 ] && [ "$green" -lt 80 ] && [ "$blue" -lt 80 ]
        else
            [ "$red" -gt 100 ] && [ "$green" -lt 80 ] && [ "$blue" -lt 80 ]
        fi
    }
    case "$1" in
    backdrop-during-download)
        wait_until 30 darkened || fail "no dark backdrop: brightness $page_brightness before," \
            "$(brightness during.png "${beside_indicator[@]}") during the download"
        ;;
    saved-notice)
        wait_until 60 log_has "DownloadItem::handleFinished notice=" || fail "no notice"
        wait_until 4 notice_shown done \
            || fail "no notice of the saved file: $(pixel_in_window "$main_window" "${in_notice[@]}")"
        fetch /downloads/report.csv served.csv
        same_content saved/report.csv served.csv || fail "the saved file differs"
        ;;
    cut-short-notice)
        wait_until 60 log_has "DownloadItem::handleFinished notice=" || fail "no notice"
        wait_until 4 notice_shown problem \
            || fail "no notice of the cut: $(pixel_in_window "$main_window" "${in_notice[@]}")"
        # A cut body is kept nowhere; the notice says what came.
        [ -z "$(ls -A saved)" ] || fail "the cut download left files: $(ls -A saved)"
        log_has 'only 100.0 kB of' || fail "the notice does not say what came"
        ;;
    esac
    quit_shell
    ;;
overlapping-dialogs | overlapping-dialogs-cancel)
    # A page script starts two downloads at once: the second one's dialog comes up while the
    # first one's is open. Each is answered in turn, by keys only; the one on top is cancelled
    # in the second case, which once left the window dead under its backdrop. What was saved
    # arrives whole, and the window takes the next click.
    mkdir saved unpacked
    start_at_instrument
    # The page's header takes the click, which gives the page the keyboard.
    click_in_window "$main_window" 640 80
    press_in_window "$main_window" 2
    window_named "Save File" >/dev/null || exit 1
    window_named "Select Directory" >/dev/null || exit 1
    # The dialog that came up last is the one that takes input: the second download's, asked
    # for from inside the first one's dialog. The log says which that is, where the keyboard
    # focus may not have followed yet.
    if grep "DownloadItem::getFileName defaultFileName=" shell.log | tail -n 1 | grep -q report.csv
    then
        dialogs=("Save File" "Select Directory")
    else
        dialogs=("Select Directory" "Save File")
    fi
    cancelled=
    for title in "${dialogs[@]}"; do
        if [ "$1" = overlapping-dialogs-cancel ] && [ -z "$cancelled" ]; then
            press_in_window "$title" Escape
            cancelled=$title
        elif [ "$title" = "Save File" ]; then
            answer_file_dialog "Save File" "$PWD/saved/report.csv"
        else
            answer_file_dialog "Select Directory" "$PWD/unpacked"
        fi
    done
    # Each download that was answered ends with a notice; a cancelled dialog shows none.
    ended=2
    [ -n "$cancelled" ] && ended=1
    wait_until 60 log_has_times "DownloadItem::handleFinished notice=" "$ended" \
        || fail "the downloads did not end"
    [ "$(log_count "DownloadItem::handleFinished notice=")" = "$ended" ] \
        || fail "more notices than downloads that were answered"
    if [ "$cancelled" = "Save File" ]; then
        [ ! -e saved/report.csv ] || fail "the cancelled download left a file"
    else
        fetch /downloads/report.csv served.csv
        same_content saved/report.csv served.csv || fail "the first download lost bytes"
    fi
    unpacked_files=2
    [ "$cancelled" = "Select Directory" ] && unpacked_files=0
    [ "$(find unpacked -type f | wc -l)" = "$unpacked_files" ] \
        || fail "the archive was unpacked where it should not, or not where it should"
    # The window takes the next click: its dialog comes, and Escape ends that download.
    declined=$(log_count "DownloadItem::downloadReadyRead empty file")
    click_in_window "$main_window" "${report_button[@]}"
    press_in_window "Save File" Escape
    wait_until 30 log_has_times "DownloadItem::downloadReadyRead empty file" $((declined + 1)) \
        || fail "the window did not take the click after both downloads"
    quit_shell
    ;;
cancel-download)
    # The body stops after 2 MB; "Cancel" under the backdrop's line ends the download, takes
    # away its part file, and the window takes the next click.
    mkdir saved
    start_at_instrument direct -- --stall=/downloads/report.csv:2000000
    click_in_window "$main_window" "${report_button[@]}"
    answer_file_dialog "Save File" "$PWD/saved/report.csv"
    wait_until 30 bash -c '[ "$(cat saved/report.csv.*.part 2>/dev/null | wc -c)" = 2000000 ]' \
        || fail "the first 2 MB did not arrive"
    click_in_window "$main_window" 640 534
    wait_until 30 log_has "DownloadItem::cancel url=" || fail "Cancel was not taken"
    wait_for_download
    log_has 'DownloadItem::handleFinished notice= "The download of report.csv was cancelled; nothing was saved"' \
        || fail "no notice of the cancel"
    [ -z "$(ls -A saved)" ] || fail "the cancelled download left files: $(ls -A saved)"
    click_in_window "$main_window" "${print_button[@]}"
    wait_until 30 bash -c '[ "$(grep -cx "DownloadItem::handleFinished" shell.log)" = 2 ]' \
        || fail "the window did not take the click after the cancel"
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
