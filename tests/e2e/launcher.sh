#!/usr/bin/env bash
# End to end: the real program under its launcher, which starts it again when it crashed and
# leaves it ended when it ended as it should. Usage: launcher.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

main_window="Kestrion® Application"
restarted="kestrion-shell-launcher: kestrion-shell was ended by signal KILL (9); starting it again in 1 second"

# program_pid: the program that the launcher runs now.
program_pid() { pgrep -P "$shell_pid" -x kestrion-shell; }
# expect_starts COUNT: the program was started that many times.
expect_starts() {
    [ "$(log_count "main() webengineDir=")" = "$1" ] || fail "expected $1 start(s) of the program"
}

case "$1" in
killed-comes-back)
    # Killed as the out-of-memory killer does: the window comes back by itself, and the program
    # that came back is the one shell, the one a second start hands over to.
    enter_private_network
    start_instrument 127.0.0.1 0
    start_launcher --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    killed=$(program_pid) || fail "the launcher runs no program"
    kill -KILL "$killed"
    wait_for_start_page 2
    log_has "$restarted" || fail "the launcher did not say why it started the program again"
    program=$(program_pid) || fail "the launcher runs no program"
    [ "$program" != "$killed" ] || fail "the killed program is still there"
    log_has "SingleInstance::secondStart" && fail "the killed program's lock was taken for a running one"
    second_start second.log --host=127.0.0.1 --url="$instrument_url"
    [ "$second_status" = 0 ] || fail "the second start ended with $second_status, expected 0"
    grep -qxF "SingleInstance::secondStart pid= $program answered= true" second.log \
        || fail "the second start did not hand over to the program that came back: $(cat second.log)"
    [ "$(visible_main_windows)" = 1 ] || fail "not exactly one main window"
    expect_first_usable
    # Closed as it should be, it stays closed, and the launcher ends with its status, 0.
    quit_shell
    expect_starts 2
    [ "$(log_count "kestrion-shell-launcher:")" = 1 ] || fail "unexpected lines of the launcher"
    ;;
terminated)
    # The session ends: the launcher passes TERM on and ends with the program's status, without
    # starting it again. Its other signals and a cancelled dialog are in the package's test.
    enter_private_network
    start_instrument 127.0.0.1 0
    start_launcher --host=127.0.0.1 --url="$instrument_url"
    wait_for_start_page
    program=$(program_pid) || fail "the launcher runs no program"
    kill -s TERM "$shell_pid"
    wait_for_shell
    [ "$shell_status" = 143 ] || fail "exit status $shell_status, expected that of a program ended by TERM"
    kill -0 "$program" 2>/dev/null && fail "the program runs on"
    expect_starts 1
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
log_has "kestrion-shell-launcher:" && [ "$1" != killed-comes-back ] \
    && fail "the launcher started the program again"
echo "PASS: $1"
