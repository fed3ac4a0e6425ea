#!/usr/bin/env bash
# End to end: one shell per user and display. A second start brings the running window forward
# and ends with status 0 before it touches anything. Usage: singleinstance.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"
webengine_dir="$HOME/.local/share/kestrion-shell/QtWebEngine"
lock_file="$XDG_RUNTIME_DIR/kestrion-shell-xcb_${DISPLAY#:}.lock"

case "$1" in
second-start-brings-first-forward | first-does-not-answer)
    enter_private_network
    start_instrument 127.0.0.1 0
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    # Qt 5's web engine keeps its profile there; Qt 6's default profile keeps none on disk. Either
    # way a start that went on would remove the folder.
    marker="$webengine_dir/still-there"
    mkdir -p "$webengine_dir" && touch "$marker"
    [ "$1" = first-does-not-answer ] && kill -STOP "$shell_pid"
    second_start second.log --host=127.0.0.1 --url="$instrument_url"
    [ "$1" = first-does-not-answer ] && kill -CONT "$shell_pid"
    [ "$second_status" = 0 ] || fail "the second start ended with $second_status, expected 0"
    answered=true
    [ "$1" = first-does-not-answer ] && answered=false
    grep -qxF "SingleInstance::secondStart pid= $shell_pid answered= $answered" second.log \
        || fail "the second start did not log the first's pid: $(cat second.log)"
    grep -qE 'main\(\) (cacheDir|webengineDir|url)=' second.log \
        && fail "the second start went on with the start-up"
    [ -e "$marker" ] || fail "the second start removed the first's web engine folder"
    if [ "$answered" = true ]; then
        log_has "SingleInstance::bringToFront window=" \
            || fail "the first was not asked to come forward"
    fi
    [ "$(visible_main_windows)" = 1 ] || fail "not exactly one main window"
    [ "$(count_requests "GET /Quorin/?client=Desktop&host=127.0.0.1&touch=On HTTP/1.1")" = 1 ] \
        || fail "the second start loaded the page"
    expect_first_usable
    quit_shell
    ;;
stale-lock)
    # A first program killed as a crash would: its lock stays behind and is taken over.
    enter_private_network
    start_instrument 127.0.0.1 0
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    kill -KILL "$shell_pid"
    wait "$shell_pid"
    [ -e "$lock_file" ] || fail "no lock was left behind at $lock_file"
    wait_until 30 bash -c "[ \$(xdotool search --onlyvisible --name '^$main_window\$' | wc -l) = 0 ]" \
        || fail "the killed program's window stayed"
    start_shell --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    log_has "SingleInstance::secondStart" && fail "the stale lock was taken for a running program"
    log_has "main() webengineDir=" || fail "the start did not go on"
    expect_first_usable
    quit_shell
    ;;
two-at-once)
    enter_private_network
    start_instrument 127.0.0.1 0
    cp "$KESTRION_SPLASH" splash.png
    "$KESTRION_SHELL" --host=127.0.0.1 --url="$instrument_url" >one.log 2>&1 &
    one=$!
    "$KESTRION_SHELL" --host=127.0.0.1 --url="$instrument_url" >two.log 2>&1 &
    two=$!
    pids+=("$one" "$two")
    wait_until 30 grep -qF "SingleInstance::secondStart" one.log two.log \
        || fail "neither start saw the other"
    # The one that runs on is "the shell" from here on, its log shell.log.
    if grep -qF "SingleInstance::secondStart" one.log; then
        shell_pid=$two second=$one
        ln -s two.log shell.log
    else
        shell_pid=$one second=$two
        ln -s one.log shell.log
    fi
    wait "$second"
    second_status=$?
    [ "$second_status" = 0 ] || fail "the second start ended with $second_status, expected 0"
    grep -qF "SingleInstance::secondStart pid= $shell_pid answered= true" one.log two.log \
        || fail "the second start did not name the first"
    wait_for_start_page
    [ "$(visible_main_windows)" = 1 ] || fail "not exactly one main window"
    expect_first_usable
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
