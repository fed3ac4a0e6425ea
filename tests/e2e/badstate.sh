#!/usr/bin/env bash
# End to end: the real program started amid broken local state (a damaged, huge or unusable
# ip.txt, a missing or damaged splash.png, a home or temporary directory that cannot be used)
# still shows the dialog where it should, and loads the instrument's page.
# Usage: badstate.sh SCENARIO
source "$(dirname "$0")/e2e-lib.sh"

dialog="Select Connection to Kestrion"
main_window="Kestrion® Application"
page_request="GET /Quorin/?client=Desktop&host=192.168.7.1&touch=On HTTP/1.1"
# Nothing, not even root, can create a directory below /proc.
impossible_dir=/proc/kestrion-missing

seconds_since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.1f", to - from }'; }

# The dialog comes up despite ip.txt, OK takes USB, and the page is requested once and loads.
# The time to the dialog is printed, since ip.txt is read before it shows.
accept_usb() {
    enter_private_network
    start_instrument 192.168.7.1 80
    local started=$EPOCHREALTIME
    start_shell
    window_named "$dialog" >/dev/null
    echo "dialog after $(seconds_since "$started") s"
    press_in_window "$dialog" Return
    expect_loaded
    echo "page loaded after $(seconds_since "$started") s"
    [ "$(count_requests "$page_request")" = 1 ] || fail "expected exactly one '$page_request'"
}

# start_at_instrument [VARIABLE=VALUE...]: the shell, with these variables set for it alone,
# started at the instrument's page with a host named, so that no dialog comes. Unlike
# start_shell this takes whatever splash.png the scenario left in place, or none.
start_at_instrument() {
    enter_private_network
    start_instrument 127.0.0.1 0
    env "$@" "$KESTRION_SHELL" --host=127.0.0.1 --url="$instrument_url" >shell.log 2>&1 &
    shell_pid=$!
    pids+=("$shell_pid")
}

expect_loaded() {
    wait_until 60 log_has "main() QWebEngineView::loadFinished ok= true" \
        || fail "the page did not load"
}

# huge_line BYTES: one line of digits without a line feed.
huge_line() { head -c "$1" /dev/zero | tr '\0' '7'; }

case "$1" in
ip-binary)
    { printf '\0\377\376\r\001192.168\0.1.1\033[2J'; head -c 4096 /dev/urandom; } >ip.txt
    accept_usb
    quit_shell
    # Whatever the field made of the bytes, the file now holds it as one line.
    [ "$(tail -c 1 ip.txt | od -An -c | tr -d ' ')" = '\n' ] \
        || fail "ip.txt was not rewritten: $(od -c ip.txt | head -n 5)"
    ;;
ip-huge-short-first-line)
    { printf '10.0.0.9\n'; huge_line 100000000; } >ip.txt
    accept_usb
    quit_shell
    [ "$(cat ip.txt)" = 10.0.0.9 ] || fail "ip.txt should hold only its first line now"
    [ "$(stat -c %s ip.txt)" = 9 ] || fail "ip.txt was not truncated"
    ;;
ip-huge-one-line)
    huge_line 100000000 >ip.txt
    accept_usb
    quit_shell
    # The field holds at most its maximum length, and that is what is remembered.
    [ "$(wc -l <ip.txt)" = 1 ] || fail "ip.txt should hold one line"
    size=$(stat -c %s ip.txt)
    [ "$size" -lt 100000000 ] || fail "ip.txt was not rewritten"
    [ "$(head -c $((size - 1)) ip.txt | tr -d 7)" = "" ] || fail "ip.txt holds other text"
    ;;
ip-directory)
    mkdir ip.txt
    accept_usb
    quit_shell
    [ -d ip.txt ] || fail "ip.txt is no longer a directory"
    [ -z "$(ls -A ip.txt)" ] || fail "something was written into the directory ip.txt"
    ;;
ip-dangling-symlink)
    ln -s missing/ip.txt ip.txt
    accept_usb
    quit_shell
    [ -L ip.txt ] || fail "ip.txt is no longer a link"
    [ ! -e missing ] || fail "something was written through the dangling link"
    ;;
splash-missing)
    start_at_instrument
    expect_loaded
    quit_shell
    ;;
splash-garbage)
    { printf '\211PNG\r\n\032\n'; head -c 65536 /dev/urandom; } >splash.png
    start_at_instrument
    expect_loaded
    quit_shell
    ;;
home-missing)
    cp "$KESTRION_SPLASH" splash.png
    start_at_instrument HOME="$impossible_dir/home"
    expect_loaded
    quit_shell
    ;;
home-is-a-file)
    printf 'not a directory\n' >home-file
    cp "$KESTRION_SPLASH" splash.png
    start_at_instrument HOME="$PWD/home-file"
    expect_loaded
    quit_shell
    [ "$(cat home-file)" = "not a directory" ] || fail "the file named as home was changed"
    ;;
tmpdir-missing)
    cp "$KESTRION_SPLASH" splash.png
    start_at_instrument TMPDIR="$impossible_dir/tmp"
    expect_loaded
    quit_shell
    ;;
*)
    fail "unknown scenario $1"
    ;;
esac
echo "PASS: $1"
