#!/usr/bin/env bash
# End to end: the real program comes back by itself when the instrument starts late or goes
# away while its page shows. Usage: reconnect.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"
loaded="main() QWebEngineView::loadFinished ok= true"
status_request="GET /Quorin/?view=status HTTP/1.1"

# Connections the program opened and closed without asking for anything: its probes.
probes() { grep -cxF "connection without a request" instrument.log; }
# Connections opened in this network namespace, where only the program opens any.
connection_attempts() { awk '$1 == "Tcp:" && ++n == 2 { print $6 }' /proc/net/snmp; }

# expect_no_probes_while_shown: over five seconds (two probe intervals and more) of the page on
# the screen, the instrument sees no probe.
expect_no_probes_while_shown() {
    local before
    before=$(probes)
    ! wait_until 5 probes_more_than "$before" || fail "the program probed while the page showed"
}
probes_more_than() { [ "$(probes)" -gt "$1" ]; }

expect_nothing_asked() {
    log_has "loadFinished button=" && fail "the program asked about the connection"
    xdotool search --onlyvisible --name "^Connection Problem\$" >/dev/null \
        && fail "the Connection Problem question came"
    return 0
}

# lose_the_instrument PAGE_ADDRESS: the page shows; the instrument ends, the status link fails,
# and the program shows its waiting page with the host and port in it.
lose_the_instrument() {
    wait_for_start_page
    expect_no_probes_while_shown
    stop_instrument
    click_in_window "$main_window" "${status_button[@]}"
    wait_until 30 log_has "ConnectionRecovery::connectionLost url= QUrl(\"$1?view=status\")" \
        || fail "the failed link did not bring the waiting page"
}

case "$1" in
late-instrument)
    # The PC starts before the instrument, as an autostart entry does.
    enter_private_network
    start_shell --host=127.0.0.1 --url=http://127.0.0.1:8080/Quorin/
    wait_until 60 log_has "ConnectionRecovery::waitAtStart url=" \
        || fail "the failed first load did not bring the waiting splash page"
    before=$(connection_attempts)
    # The instrument comes up five seconds after the first load failed.
    sleep 5
    # At most three probes fit into 5 s; Qt's socket tries a refused address twice.
    knocks=$(($(connection_attempts) - before))
    [ "$knocks" -ge 1 ] && [ "$knocks" -le 6 ] \
        || fail "$knocks connection attempts in 5 s, expected a probe every 2 s at most"
    start_instrument 127.0.0.1 8080
    wait_for_start_page
    [ "$(count_requests "GET /Quorin/?client=Desktop&host=127.0.0.1&touch=On HTTP/1.1")" = 1 ] \
        || fail "expected exactly one request of the start page"
    expect_nothing_asked
    expect_no_probes_while_shown
    ;;
instrument-restarts | instrument-restarts-usb)
    enter_private_network
    if [ "$1" = instrument-restarts ]; then
        address=127.0.0.1 port=8080 page=http://127.0.0.1:8080/Quorin/
        start_instrument "$address" "$port"
        start_shell --host="$address" --url="$instrument_url"
    else
        # The connection chosen in the dialog: after the first success nothing is asked either.
        address=192.168.7.1 port=80 page=http://192.168.7.1/Quorin/
        start_instrument "$address" "$port"
        start_shell
        press_in_window "Select Connection to Kestrion" Return
    fi
    lose_the_instrument "$page"
    start_instrument "$address" "$port"
    wait_for_start_page 2
    log_has "ConnectionRecovery::instrumentBack url= QUrl(\"$page?view=status\")" \
        || fail "the failed link was not loaded again"
    [ "$(count_requests "$status_request")" = 1 ] || fail "expected one request of the link"
    [ "$(probes)" -ge 1 ] || fail "the program did not find the instrument by a probe"
    expect_nothing_asked
    expect_no_probes_while_shown
    quit_shell
    ;;
start-page-button)
    enter_private_network
    start_instrument 127.0.0.1 8080
    start_shell --host=127.0.0.1 --url="$instrument_url"
    start_url="http://127.0.0.1:8080/Quorin/?client=Desktop&host=127.0.0.1&touch=On"
    lose_the_instrument http://127.0.0.1:8080/Quorin/
    # The button works although the turning indicator disables the splash page; with the
    # instrument still away, the start page fails too, and the waiting goes on for it.
    click_in_window "$main_window" "${start_page_button[@]}"
    wait_until 30 log_has "ConnectionRecovery::loadStartPage url= QUrl(\"$start_url\")" \
        || fail "Start page did not load the start page"
    wait_until 30 log_has_times "main() QWebEngineView::loadFinished ok= false" 2 \
        || fail "the start page did not fail without the instrument"
    start_instrument 127.0.0.1 8080
    wait_for_start_page 2
    [ "$(count_requests "GET /Quorin/?client=Desktop&host=127.0.0.1&touch=On HTTP/1.1")" = 1 ] \
        || fail "expected one request of the start page"
    [ "$(count_requests "$status_request")" = 0 ] \
        || fail "the link was loaded although the user asked for the start page"
    ;;
error-page-retried)
    # The instrument's web server takes connections but fails the link, as one that restarts its
    # application: the web engine's page stays and the link is loaded again by itself.
    enter_private_network
    start_instrument 127.0.0.1 8080
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    stop_instrument
    start_instrument 127.0.0.1 8080 --drop /Quorin/
    click_in_window "$main_window" "${status_button[@]}"
    wait_until 30 log_has "ConnectionRecovery::retryAfter seconds= 2 url= QUrl(\"http://127.0.0.1:8080/Quorin/?view=status\")" \
        || fail "the failed link was not to be tried again"
    stop_instrument
    start_instrument 127.0.0.1 8080
    wait_until 30 log_has "ConnectionRecovery::pageShown url= QUrl(\"http://127.0.0.1:8080/Quorin/?view=status\")" \
        || fail "the link did not come back once the instrument answered"
    expect_nothing_asked
    quit_shell
    ;;
no-url-message)
    # The default start page is not part of the program: there is nothing to wait for.
    enter_private_network
    start_shell --host=127.0.0.1
    wait_until 60 log_has "ConnectionRecovery::showNothingToWaitFor url= QUrl(\"qrc:/VelaSenchaTouch2/index.html?client=Desktop&host=127.0.0.1&touch=On\")" \
        || fail "no plain message for the missing start page"
    id=$(window_named "$main_window") || exit 1
    # The message's panel is drawn, and no bar of the indicator turns any more.
    wait_until 30 pixel_is "$id" 640 430 "#FFFFFF" || fail "the message is not drawn"
    screenshot "$main_window" shown.png
    [ "$(convert shown.png -crop 48x48+616+360 -colorspace gray -format '%[fx:int(255*minima)]' info:)" -gt 150 ] \
        || fail "the indicator still turns"
    [ "$(log_count "acceptNavigationRequest() url=")" = 1 ] || fail "the start page was tried again"
    expect_nothing_asked
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
