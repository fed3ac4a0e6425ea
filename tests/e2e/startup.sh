#!/usr/bin/env bash
# End to end: the real program started without a host, in a private network where the
# instrument answers at its USB address. Usage: startup.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

dialog="Select Connection to Kestrion"
main_window="Kestrion® Application"
page_request="GET /Quorin/?client=Desktop&host=192.168.7.1&touch=On HTTP/1.1"

# The LAN field is the field of the form's third row; a click there also selects LAN.
type_lan_address() {
    click_in_window "$dialog" 200 140
    xdotool key ctrl+a
    xdotool type --delay 20 "$1"
    xdotool key Return
}

case "$1" in
usb-accept-then-close)
    enter_private_network
    start_instrument 192.168.7.1 80
    start_shell
    press_in_window "$dialog" Return
    wait_until 30 log_has "main() QWebEngineView::loadFinished ok= true" || fail "the page did not load"
    [ "$(count_requests "$page_request")" = 1 ] || fail "expected exactly one '$page_request'"
    [ "$(grep -c ' /Quorin/' instrument.log)" = 1 ] || fail "unexpected page requests"
    [ "$(od -An -c ip.txt | tr -d ' ')" = '\n' ] || fail "ip.txt should hold one line feed"
    xdotool getwindowgeometry "$(window_named "$main_window")" | grep -qx '  Geometry: 1280x768' \
        || fail "the main window is not 1280 x 768"
    quit_shell
    log_has "main() exiting .. result= 0" || fail "no exiting log line"
    ;;
escape-cancels)
    enter_private_network
    printf '10.20.30.40\nsecond line\n' >ip.txt
    before=$(stat -c '%Y %s' ip.txt; sha256sum ip.txt)
    start_shell
    press_in_window "$dialog" Escape
    wait_for_shell
    [ "$shell_status" = 1 ] || fail "exit status $shell_status, expected 1"
    [ "$(stat -c '%Y %s' ip.txt; sha256sum ip.txt)" = "$before" ] || fail "ip.txt was touched"
    log_has "main() url=" && fail "the start URL was composed after cancelling"
    ;;
unreachable-answer-no)
    enter_private_network
    start_shell
    # Nothing listens on this port: the first load fails at once.
    type_lan_address "127.0.0.1:9"
    press_in_window "Connection Problem" Escape
    wait_for_shell
    [ "$shell_status" = 0 ] || fail "exit status $shell_status, expected 0"
    log_has "main() url= QUrl(\"http://127.0.0.1:9/Quorin/?client=Desktop&host=127.0.0.1:9&touch=On\")" \
        || fail "the typed LAN address did not make the start URL"
    log_has "main() QWebEngineView::loadFinished button= 65536" || fail "No was not logged"
    log_has "main() exiting .. result=" && fail "declining to retry must not log the exiting line"
    [ "$(cat ip.txt)" = "127.0.0.1:9" ] || fail "ip.txt does not remember the LAN address"
    ;;
unreachable-answer-yes)
    enter_private_network
    # The instrument takes the request but drops the connection: every load fails.
    start_instrument 192.168.7.1 80 --drop=/Quorin/
    start_shell
    press_in_window "$dialog" Return
    press_in_window "Connection Problem" alt+y
    wait_until 30 bash -c "[ \$(grep -cxF '$page_request' instrument.log) -ge 2 ]" \
        || fail "Yes did not load the start URL again"
    log_has "main() QWebEngineView::loadFinished button= 16384" || fail "Yes was not logged"
    press_in_window "Connection Problem" Escape
    wait_for_shell
    [ "$shell_status" = 0 ] || fail "exit status $shell_status, expected 0"
    [ "$(count_requests "$page_request")" = 2 ] || fail "expected exactly two page requests"
    ;;
renderer-killed-reloads | renderer-killed-four-times-asks)
    # The page's render process dies; the program loads the start page again, as any load.
    enter_private_network
    start_instrument 192.168.7.1 80
    start_shell
    press_in_window "$dialog" Return
    loaded="main() QWebEngineView::loadFinished ok= true"
    wait_until 30 log_has "$loaded" || fail "the page did not load"
    kills=1
    [ "$1" = renderer-killed-four-times-asks ] && kills=4
    for kill in $(seq "$kills"); do
        renderer=$(renderer_pid)
        [ -n "$renderer" ] || fail "no render process"
        kill -KILL "$renderer"
        [ "$kill" = 4 ] && break
        wait_until 30 bash -c "[ \$(grep -cxF '$page_request' instrument.log) -ge $((kill + 1)) ]" \
            || fail "kill $kill: the start page was not requested again"
        wait_until 30 bash -c "[ \$(grep -cF '$loaded' shell.log) -ge $((kill + 1)) ]" \
            || fail "kill $kill: the page did not show again"
    done
    log_has "RendererRecovery::renderProcessTerminated status= QWebEnginePage::KilledTerminationStatus" \
        || fail "the end of the render process was not logged"
    if [ "$1" = renderer-killed-four-times-asks ]; then
        # The fourth end within a minute is not followed by a load but by a question; Yes loads.
        press_in_window "Page Problem" alt+y
        wait_until 30 bash -c "[ \$(grep -cxF '$page_request' instrument.log) -ge 5 ]" \
            || fail "Yes did not load the start page again"
        log_has "RendererRecovery::recover button= 16384" \
            || fail "Yes was not logged"
    fi
    [ "$(count_requests "$page_request")" = $((kills + 1)) ] || fail "unexpected page requests"
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
