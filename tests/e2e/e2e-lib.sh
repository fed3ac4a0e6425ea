# Shared by the end-to-end tests: they drive the real binary on an X server of their own, with
# xdotool, against the real demo instrument.
# Expects KESTRION_SHELL, KESTRION_INSTRUMENT and KESTRION_SEND_CLOSE in the environment, and
# may be given KESTRION_FIRST_DISPLAY, where the search for a free X display number starts.
# shellcheck shell=bash

set -u

# The name ctest knows this test by.
e2e_test_name="e2e_$(basename "$0" .sh)_${1:-}"

# skip REASON: the test cannot run here; ctest counts it as skipped, and scripts/test, which
# names the file in KESTRION_SKIP_REPORT, says why.
skip() {
    echo "SKIP: $*"
    [ -n "${KESTRION_SKIP_REPORT:-}" ] && echo "$e2e_test_name: $*" >>"$KESTRION_SKIP_REPORT"
    exit 77
}

# Every end-to-end test runs in a network namespace of its own with no route out, so that not
# a single packet can leave this machine, and with mounts of its own, which vanish with it. Root
# (as in CI) makes them directly; a normal user gets the same inside a user namespace of its
# own where the kernel allows one, as uid 0 there with only the user's own uid mapped.
if [ -z "${KESTRION_PRIVATE_NETWORK:-}" ]; then
    if [ "$(id -u)" = 0 ]; then
        KESTRION_PRIVATE_NETWORK=1 exec unshare -n -m "$0" "$@"
    fi
    unshare -r -n -m true 2>/dev/null \
        || skip "needs root, or user namespaces that this kernel allows a normal user"
    KESTRION_PRIVATE_NETWORK=1 KESTRION_USER_NAMESPACE=1 exec unshare -r -n -m "$0" "$@"
fi

# needs_real_root WHAT: for what a user namespace cannot do.
needs_real_root() {
    [ -z "${KESTRION_USER_NAMESPACE:-}" ] \
        || skip "$* needs root: inside a user namespace only the user's own uid is mapped"
}

# The X server runs inside that namespace too and listens only on its abstract socket there,
# which every X client tries first: nothing outside the namespace can take that name or answer
# on it, and the server leaves alone the socket files in /tmp/.X11-unix that all namespaces
# share. It never resets: by default an X server resets when its last client disconnects and
# drops every connection still being set up, so the shell starting up while an xdotool search
# ended failed now and then with "could not connect to display".
if [ -z "${KESTRION_OWN_DISPLAY:-}" ]; then
    KESTRION_OWN_DISPLAY=1 exec xvfb-run -n "${KESTRION_FIRST_DISPLAY:-200}" -a \
        -s "-screen 0 1280x800x24 -nolisten unix -noreset" "$0" "$@"
fi

pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for log in shell.log instrument.log cups/log/error_log; do
        [ -f "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}

# wait_until SECONDS COMMAND...: polls the condition until it holds or the time is up.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

# poll SECONDS COMMAND...: for the benchmarks, as wait_until but often enough for a time taken
# around it to mean something; a time-out fails the run.
poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && fail "timed out: $*"
        sleep 0.01
    done
}
now() { date +%s%N; }

# Web engine tests as root need the sandbox off; the program itself never turns it off.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

# A network of our own with no route out: the instrument's USB address exists only here, and
# every other address is unreachable at once.
enter_private_network() {
    ip link set lo up || fail "cannot bring up the loopback device"
    ip addr add 192.168.7.1/32 dev lo || fail "cannot add the USB address"
}

# start_instrument ADDRESS PORT [OPTIONS...]: sets instrument_url and instrument_pid.
start_instrument() {
    "$KESTRION_INSTRUMENT" --address="$1" --port="$2" "${@:3}" >instrument.log 2>&1 &
    instrument_pid=$!
    pids+=("$instrument_pid")
    wait_until 10 grep -q '^listening on ' instrument.log || fail "the instrument did not start"
    instrument_url=$(sed -n 's/^listening on //p' instrument.log)
}

# stop_instrument: ends the instrument by its pid, as a reboot would, and waits until it has
# gone; its address and port are free again then.
stop_instrument() {
    local pid kept=()
    kill "$instrument_pid" || fail "cannot end the instrument"
    wait "$instrument_pid"
    # Not ended again at the end of the test: by then the number may be another process's.
    for pid in "${pids[@]}"; do [ "$pid" = "$instrument_pid" ] || kept+=("$pid"); done
    pids=("${kept[@]}")
}

# start_shell [ARGUMENTS...]: sets shell_pid; the log goes to shell.log.
start_shell() {
    cp "$KESTRION_SPLASH" splash.png
    "$KESTRION_SHELL" "$@" >shell.log 2>&1 &
    shell_pid=$!
    pids+=("$shell_pid")
}

# start_launcher [ARGUMENTS...]: installs the build into a prefix of its own and starts the
# program as the desktop entry does, through the launcher, which finds the print helper.
start_launcher() {
    cmake --install "$KESTRION_BUILD_DIR" --prefix "$PWD/prefix" >install.log 2>&1 \
        || fail "cannot install the build: $(cat install.log)"
    # As a desktop or a terminal starts it: a background command of a script ignores INT.
    env --default-signal=INT "$PWD/prefix/bin/kestrion-shell-launcher" "$@" >shell.log 2>&1 &
    shell_pid=$!
    pids+=("$shell_pid")
}

# second_start LOG [ARGUMENTS...]: a second program in the foreground; sets second_status.
second_start() {
    local log=$1
    shift
    "$KESTRION_SHELL" "$@" >"$log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    wait_until 30 bash -c "! kill -0 $pid 2>/dev/null" || fail "the second start did not end"
    wait "$pid"
    second_status=$?
}

visible_main_windows() { xdotool search --onlyvisible --name "^$main_window\$" 2>/dev/null | wc -l; }

# expect_first_usable: the first window takes a click, and the download it starts is taken over.
expect_first_usable() {
    click_in_window "$main_window" "${report_button[@]}"
    press_in_window "Save File" Escape
    wait_until 30 log_has "DownloadItem::downloadReadyRead empty file" \
        || fail "the first window did not take the click"
}

# wait_for_shell: waits for the shell to end (at most 30 s) and sets shell_status. Not for a
# command substitution: only this shell itself can wait for its child.
wait_for_shell() {
    wait_until 30 bash -c "! kill -0 $shell_pid 2>/dev/null" || fail "the shell did not end"
    wait "$shell_pid"
    shell_status=$?
}

# window_named TITLE: prints the id of the visible window with exactly this title. A search
# can die of an X error when some other window vanishes meanwhile, so it is simply repeated.
window_named() {
    local id= deadline=$((SECONDS + 30))
    until [ -n "$id" ]; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
        [ -n "$id" ] && break
        [ "$SECONDS" -ge "$deadline" ] && fail "no window '$1'"
        sleep 0.1
    done
    echo "$id"
}

# press_in_window TITLE KEYS...: gives the window the keyboard focus and presses the keys.
press_in_window() {
    local id
    id=$(window_named "$1") || exit 1
    shift
    xdotool windowfocus --sync "$id" || fail "cannot focus window $id"
    xdotool key --delay 50 "$@"
}

# click_in_window TITLE X Y: clicks at a point given relative to the window.
click_in_window() {
    local id
    id=$(window_named "$1") || exit 1
    xdotool mousemove --window "$id" --sync "$2" "$3" click 1
}

close_window() {
    local id
    id=$(window_named "$1") || exit 1
    "$KESTRION_SEND_CLOSE" "$id" || fail "cannot ask '$1' to close"
}

# quit_shell: closes the main window, answers the closing question with Yes and expects the
# program to end with status 0. The question comes only once the GUI thread is free again, that
# is after any tool of a download has ended.
quit_shell() {
    close_window "$main_window"
    press_in_window "Closing the Application ..." Return
    wait_for_shell
    [ "$shell_status" = 0 ] || fail "exit status $shell_status, expected 0"
}

# install_pdf_tool: puts a stand-in for pdftocairo first on PATH, which records its arguments
# in pdftocairo.args and the file it was given in printed.pdf; the real one would show a print
# dialog of its own.
install_pdf_tool() {
    mkdir bin
    cat >bin/pdftocairo <<EOF
#!/bin/sh
printf '%s\n' "\$@" >"$PWD/pdftocairo.args"
if [ -f "\$2" ]; then cp "\$2" "$PWD/printed.pdf"; fi
EOF
    chmod +x bin/pdftocairo
    export PATH="$PWD/bin:$PATH"
}

# The demo instrument's start page's buttons, as centres in the 1280 x 768 window.
report_button=(220 248)
print_button=(220 376)
results_button=(220 504)
# A link to a page of the interface, no download.
status_button=(220 632)
# "Start page" under the waiting page's indicator.
start_page_button=(640 511)

# pixel_is WINDOW X Y COLOUR: the window shows this colour (#RRGGBB) at the point.
pixel_is() {
    import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | grep -qiF "$4"
}

# wait_for_start_page [LOADS]: the demo instrument's start page (or another of its pages, all
# alike) has loaded for the LOADS-th time, 1 by default, and is on the screen. The load is
# logged before the window shows the page, and a click on a page that has not been drawn yet
# goes nowhere; so this also waits for the report button's colour beside its label.
wait_for_start_page() {
    local id
    wait_until 60 log_has_times "main() QWebEngineView::loadFinished ok= true" "${1:-1}" \
        || fail "the start page did not load"
    id=$(window_named "Kestrion® Application") || exit 1
    wait_until 30 pixel_is "$id" 50 "${report_button[1]}" "#0A6EBD" \
        || fail "the start page was not drawn"
}

# renderer_pid: the shell's render process. The web engine's zygote forks it, so it keeps the
# zygote's command line: it is told apart only as a child of the zygote that is not the
# unsandboxed one.
renderer_pid() {
    local zygote
    for zygote in $(pgrep -P "$shell_pid" -f -- '--type=zygote'); do
        tr '\0' '\n' <"/proc/$zygote/cmdline" | grep -qx -- --no-zygote-sandbox && continue
        pgrep -P "$zygote" | head -n 1
    done
}

# screenshot TITLE FILE: the window with this title as a PNG.
screenshot() { import -window "$(window_named "$1")" "$2" || fail "no screenshot of '$1'"; }
# pixel FILE X Y: "R G B" of that pixel, 0 to 255 each.
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}
brightness() { pixel "$@" | awk '{ print int(($1 + $2 + $3) / 3) }'; }
# pixel_in_window TITLE X Y: "R G B" of that point of the window as it is on the screen now.
pixel_in_window() {
    import -window "$(window_named "$1")" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null \
        | sed -n 's/^0,0: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

log_has() { grep -qF -- "$1" shell.log; }
log_count() { grep -cF -- "$1" shell.log; }
log_has_times() { [ "$(log_count "$1")" -ge "$2" ]; }
count_requests() { grep -cxF -- "$1" instrument.log; }

# start_cups: a CUPS scheduler of our own, reached only through its socket in this folder, with
# a CUPS-PDF queue as the default printer whose PDFs land in cups/out. Sets CUPS_SERVER for
# every client started from here on.
start_cups() {
    local dir=$PWD/cups
    needs_real_root "a CUPS scheduler, which switches to its own user for every job,"
    mkdir -p "$dir"/{conf,spool,cache,state,log,out,tmp}
    # The filters run as an unprivileged user, which needs its way into our folders.
    chmod o+x "$PWD" "$PWD/.." "$dir" && chmod 1777 "$dir/tmp" || fail "cannot open up $dir"
    cat >"$dir/conf/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
WebInterface No
LogLevel debug
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cat >"$dir/conf/cups-files.conf" <<EOF
ServerRoot $dir/conf
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
SystemGroup root
EOF
    # CUPS-PDF reads only /etc/cups/cups-pdf.conf; among our own mounts, that is this one.
    cat >"$dir/cups-pdf.conf" <<EOF
Out $dir/out
AnonDirName $dir/out
Log $dir/log
Grp root
EOF
    mount --bind "$dir/cups-pdf.conf" /etc/cups/cups-pdf.conf || fail "cannot configure CUPS-PDF"
    /usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
        >"$dir/log/cupsd.out" 2>&1 &
    pids+=($!)
    export CUPS_SERVER=$dir/cups.sock
    # lpstat -r ends with 0 either way.
    wait_until 30 bash -c 'lpstat -r 2>/dev/null | grep -q "is running"' \
        || fail "the CUPS scheduler did not start"
    lpadmin -p Kestrion-PDF -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E \
        >>"$dir/log/lpadmin.log" 2>&1 && lpadmin -d Kestrion-PDF >>"$dir/log/lpadmin.log" 2>&1 \
        || fail "cannot add the CUPS-PDF printer: $(cat "$dir/log/lpadmin.log")"
}
