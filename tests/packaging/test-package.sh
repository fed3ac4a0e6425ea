#!/usr/bin/env bash
# Builds the Debian package, has lintian check it, unpacks it into a throw-away root and checks
# that the desktop entry, the icon theme, the man page, the AppStream metadata and the
# documentation find their files there, that the program's window carries the class the desktop
# entry names, and that the launcher starts the program in a folder of the user's own.
# Usage: test-package.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

build_dir=$1
source_dir=$2
# wait_until
source "$source_dir/scripts/lib/common.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/package.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() {
    echo "PASS: $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL: $1"
    failed=$((failed + 1))
}
# check NAME COMMAND...: one named check, passing when the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# Without these the test cannot tell anything; say which Debian package brings each.
missing=""
for tool in cpack:cmake dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev file:file \
    desktop-file-validate:desktop-file-utils man:man-db groff:groff-base lintian:lintian \
    appstreamcli:appstream readelf:binutils xvfb-run:xvfb xwininfo:x11-utils xprop:x11-utils; do
    command -v "${tool%%:*}" >/dev/null || missing="$missing ${tool#*:}"
done
if [ -n "$missing" ]; then
    echo "missing Debian packages:$missing"
    exit 1
fi

if ! cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1
then
    cat "$work/cpack.log"
    echo "cpack failed"
    exit 1
fi
debs=("$work"/cpack/*.deb)
ddebs=("$work"/cpack/*.ddeb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ] || [ ${#ddebs[@]} != 1 ] || [ ! -f "${ddebs[0]}" ]
then
    ls -l "$work/cpack"
    echo "expected exactly one .deb and one .ddeb"
    exit 1
fi
deb=${debs[0]}
ddeb=${ddebs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root" || exit 1
prefix=$root/usr
data=$prefix/share
doc=$data/doc/kestrion-shell

# --- Debian's own checks --------------------------------------------------------------------

# Builds with the distribution's flags must leave lintian nothing to say, not even a pedantic
# or informational remark; others (sanitizers, no optimisation) lack its hardening on purpose.
lintian_is_content() {
    local tags
    tags=$(lintian --pedantic --display-info --display-experimental "$deb" "$ddeb" 2>&1 \
        | grep -v '^running with root privileges')
    if ! grep -qx 'KESTRION_DEBIAN_BUILDFLAGS:BOOL=ON' "$build_dir/CMakeCache.txt"; then
        tags=$(grep -v '^I: [^ ]* hardening-' <<<"$tags")
    fi
    [ -z "$tags" ] || { echo "$tags"; return 1; }
}
check "lintian --pedantic finds nothing in the package and its debug symbols" lintian_is_content

debug_symbols_are_apart() {
    local build_id
    build_id=$(readelf -n "$prefix/bin/kestrion-shell" | sed -n 's/^ *Build ID: //p')
    file -b "$prefix/bin/kestrion-shell" | grep -q ', stripped' && [ -n "$build_id" ] \
        && dpkg-deb -c "$ddeb" >"$work/ddeb.txt" \
        && grep -q "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug$" "$work/ddeb.txt"
}
check "the program is stripped, its debug symbols are in the -dbgsym package" \
    debug_symbols_are_apart

apt_would_install() {
    local output
    output=$(apt-get install --simulate "$deb" 2>&1) || { echo "$output"; return 1; }
}
check "apt-get would install the package with its dependencies" apt_would_install

# --- contents -------------------------------------------------------------------------------

contents_are_exactly_these() {
    local expected actual
    expected=$(sort <<'EOF'
./usr/bin/kestrion-shell
./usr/bin/kestrion-shell-launcher
./usr/libexec/kestrion-shell/pdftocairo
./usr/share/applications/kestrion-shell.desktop
./usr/share/icons/hicolor/128x128/apps/kestrion-shell.png
./usr/share/icons/hicolor/256x256/apps/kestrion-shell.png
./usr/share/icons/hicolor/48x48/apps/kestrion-shell.png
./usr/share/icons/hicolor/scalable/apps/kestrion-shell.svg
./usr/share/kestrion-shell/splash.png
./usr/share/man/man1/kestrion-shell-launcher.1.gz
./usr/share/man/man1/kestrion-shell.1.gz
./usr/share/metainfo/org.example.kestrion_shell.metainfo.xml
./usr/share/doc/kestrion-shell/README.md
./usr/share/doc/kestrion-shell/changelog.gz
./usr/share/doc/kestrion-shell/copyright
EOF
    )
    expected=$(sort <<<"$expected"$'\n'"$(cd "$source_dir" && printf '%s\n' docs/*.png \
        | sed 's|^|./usr/share/doc/kestrion-shell/|')")
    actual=$(cd "$root" && find . ! -type d | sort)
    [ "$actual" = "$expected" ] || { diff <(echo "$expected") <(echo "$actual"); return 1; }
}
check "the package holds exactly the installed files" contents_are_exactly_these

owned_by_root_and_not_writable_by_others() {
    dpkg-deb -c "$deb" | awk '$2 != "root/root" || $1 ~ /^[^l]....w/ || $1 ~ /^[^l].......w/ {
        print; bad = 1 } END { exit bad }'
}
check "every entry is owned by root and writable by nobody else" \
    owned_by_root_and_not_writable_by_others

is_elf_executable() {
    [ -x "$1" ] && file -b "$1" | grep -q '^ELF .* executable'
}
check "the program is an ELF executable in bin/" is_elf_executable "$prefix/bin/kestrion-shell"
check "the launcher is executable in bin/" test -x "$prefix/bin/kestrion-shell-launcher"
check "the print helper is an ELF executable named pdftocairo" \
    is_elf_executable "$prefix/libexec/kestrion-shell/pdftocairo"
check "the splash image is the project's own" \
    cmp -s "$source_dir/resources/splash.png" "$data/kestrion-shell/splash.png"

# --- icon theme -----------------------------------------------------------------------------

# png_size FILE: prints WIDTHxHEIGHT from the PNG header, fails when FILE is no PNG.
png_size() {
    [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    od -An -tu1 -j16 -N8 "$1" | awk '{
        printf "%dx%d\n", (($1 * 256 + $2) * 256 + $3) * 256 + $4,
                          (($5 * 256 + $6) * 256 + $7) * 256 + $8 }'
}
for size in 48x48 128x128 256x256; do
    icon=$data/icons/hicolor/$size/apps/kestrion-shell.png
    check "the $size icon is a PNG of that size" test "$(png_size "$icon" 2>/dev/null)" = "$size"
done
check "the scalable icon is an SVG" \
    grep -q '<svg' "$data/icons/hicolor/scalable/apps/kestrion-shell.svg"

# --- desktop entry --------------------------------------------------------------------------

desktop=$data/applications/kestrion-shell.desktop

validates_silently() {
    local output
    output=$(desktop-file-validate "$desktop" 2>&1) || { echo "$output"; return 1; }
    [ -z "$output" ] || { echo "$output"; return 1; }
}
check "desktop-file-validate accepts the desktop entry without a remark" validates_silently

# desktop_key KEY: the value of KEY in the [Desktop Entry] group.
desktop_key() {
    awk -F= -v key="$1" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key {
        sub(/^[^=]*=/, ""); print; exit }' "$desktop"
}

exec_resolves_to_the_launcher() {
    local command
    command=$(desktop_key Exec | awk '{ print $1 }')
    case "$command" in
    /*) [ -x "$root$command" ] && [ "$command" = /usr/bin/kestrion-shell-launcher ] ;;
    *) [ "$command" = kestrion-shell-launcher ] && [ -x "$prefix/bin/$command" ] ;;
    esac
}
check "Exec names the launcher installed in bin/" exec_resolves_to_the_launcher

icon_resolves_in_every_size() {
    local name size
    name=$(desktop_key Icon)
    # A theme icon is named without folder or extension.
    [[ "$name" =~ ^[a-z0-9-]+$ ]] || return 1
    for size in 48x48 128x128 256x256; do
        [ -f "$data/icons/hicolor/$size/apps/$name.png" ] || return 1
    done
    [ -f "$data/icons/hicolor/scalable/apps/$name.svg" ]
}
check "Icon names a theme icon found in every installed size" icon_resolves_in_every_size
check "StartupWMClass names the program" test "$(desktop_key StartupWMClass)" = kestrion-shell

# --- man page -------------------------------------------------------------------------------

man_dir=$data/man/man1

# renders_cleanly PAGE: man renders PAGE with no warning and prints the result to $work/man.txt.
renders_cleanly() {
    if LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" \
        2>"$work/man.err" >/dev/null && [ ! -s "$work/man.err" ] \
        && LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$1" >"$work/man.txt" 2>"$work/man.err" \
        && [ ! -s "$work/man.err" ] && [ -s "$work/man.txt" ]; then
        return 0
    fi
    cat "$work/man.err"
    return 1
}
check "the man page renders without warnings" renders_cleanly "$man_dir/kestrion-shell.1.gz"

has_every_section() {
    local section missing_any=0
    for section in DOWNLOADS PRINTING 'RUNNING AS ROOT' DIAGNOSTICS ENVIRONMENT FILES; do
        grep -qx "$section" "$work/man.txt" || { echo "no section $section"; missing_any=1; }
    done
    return $missing_any
}
check "the man page has the sections a user looks for" has_every_section

# Each log line the page tells the user to look for is one the program writes.
quotes_only_real_log_lines() {
    local lines line missing_any=0
    mapfile -t lines < <(sed -n '/^DIAGNOSTICS$/,/^[A-Z]/s/^ \{7\}\([^ ]\)/\1/p' "$work/man.txt" \
        | sed 's/, /\n/g' | grep -E '^(main\(\)|acceptNavigationRequest\(\)|DownloadItem::)')
    [ ${#lines[@]} -ge 10 ] || { echo "only ${#lines[@]} log lines found"; return 1; }
    for line in "${lines[@]}"; do
        grep -rqF -- "\"$line" "$source_dir/app" "$source_dir/web" \
            || { echo "not written by the program: $line"; missing_any=1; }
    done
    return $missing_any
}
check "every log line on the man page is one the program writes" quotes_only_real_log_lines

names_installed_paths() {
    grep -q ' /usr/share/doc/kestrion-shell/README.md' "$work/man.txt" \
        && ! grep -q "/usr/local\|$build_dir" "$work/man.txt"
}
check "the man page names the paths the package installs" names_installed_paths

man_page_lists_every_readme_option() {
    local options option missing_any=0
    options=$(grep -o '^| `--[a-z]*' "$source_dir/README.md" | sed 's/^| `//')
    [ "$(wc -l <<<"$options")" = 8 ] || { echo "README options: $options"; return 1; }
    for option in $options; do
        if ! grep -q -- "^ *$option" "$work/man.txt"; then
            echo "not in the man page: $option"
            missing_any=1
        fi
    done
    return $missing_any
}
check "the man page describes every option of the README" man_page_lists_every_readme_option

launcher_page_is_the_same_page() {
    [ "$(readlink "$man_dir/kestrion-shell-launcher.1.gz")" = kestrion-shell.1.gz ] \
        && renders_cleanly "$man_dir/kestrion-shell-launcher.1.gz" \
        && grep -q 'kestrion-shell-launcher starts it' "$work/man.txt"
}
check "the launcher's man page links to the program's" launcher_page_is_the_same_page

# --- documentation and AppStream metadata ---------------------------------------------------

readme_is_whole() {
    local image missing_any=0
    cmp -s "$source_dir/README.md" "$doc/README.md" || return 1
    while read -r image; do
        [ -f "$doc/$image" ] || { echo "missing beside the README: $image"; missing_any=1; }
    done < <(grep -o '](docs/[^)]*)' "$doc/README.md" | sed 's/^](//; s/)$//')
    return $missing_any
}
check "the README is installed with every picture it shows" readme_is_whole

metainfo=$data/metainfo/org.example.kestrion_shell.metainfo.xml
validates_appstream() {
    appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.txt" 2>&1 \
        || { cat "$work/appstream.txt"; return 1; }
}
check "appstreamcli validate accepts the AppStream metadata" validates_appstream

# metainfo_values PATTERN: the texts of the elements that PATTERN matches, one a line.
metainfo_values() {
    sed -n "s|.*$1.*|\1|p" "$metainfo"
}
refers_to_installed_files() {
    local image missing_any=0
    [ "$(metainfo_values '<launchable type="desktop-id">\([^<]*\)<')" = kestrion-shell.desktop ] \
        || return 1
    for image in $(metainfo_values '<image>[^<]*/\(docs/[^<]*\)<'); do
        [ -f "$doc/$image" ] || { echo "no such screenshot: $image"; missing_any=1; }
    done
    [ -n "$(metainfo_values '<image>\([^<]*\)<')" ] && return $missing_any
}
check "the metadata launches the installed desktop entry and shows screenshots of docs/" \
    refers_to_installed_files

# One version, declared in project() and found again in the package, the man page and the
# metadata.
same_version_everywhere() {
    local version
    version=$(sed -n 's/^project([^ ]* VERSION \([^ ]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
    [ -n "$version" ] && [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] \
        && grep -q "^kestrion-shell $version " "$work/man.txt" \
        && [ "$(metainfo_values '<release version="\([^"]*\)"')" = "$version" ] \
        && zcat "$doc/changelog.gz" | head -n 1 | grep -q "^kestrion-shell ($version) "
}
check "the package, the man page, the metadata and the changelog carry the project's version" \
    same_version_everywhere

# --- the program's window -------------------------------------------------------------------

# The packaged program itself, hardened and stripped, on an X server of its own in a network
# namespace with no route out (which takes root). The window's class is what a task bar matches
# against the desktop entry's StartupWMClass.
cat >"$work/window-class.sh" <<'EOF'
ip link set lo up
"$1" --host=127.0.0.1 --url=about:blank >shell.log 2>&1 &
shell=$!
trap 'kill $shell 2>/dev/null; wait' EXIT
deadline=$((SECONDS + 60))
until [ -n "${id:-}" ]; do
    [ $SECONDS -lt $deadline ] && kill -0 $shell 2>/dev/null || exit 1
    sleep 0.1
    id=$(xwininfo -root -tree | grep -F '"Kestrion® Application"' | awk '{ print $1; exit }')
done
xprop -id "$id" WM_CLASS
EOF
window_class_matches_the_entry() {
    if ! (cd "$work" && unshare -n xvfb-run -a -n 400 -s "-screen 0 1280x800x24 -noreset" \
        bash window-class.sh "$prefix/bin/kestrion-shell" >window-class.txt 2>&1); then
        cat "$work/window-class.txt" "$work/shell.log"
        return 1
    fi
    grep -qxF "WM_CLASS(STRING) = \"$1\", \"$1\"" "$work/window-class.txt" \
        || { cat "$work/window-class.txt"; return 1; }
}
if [ "$(id -u)" = 0 ]; then
    # The web engine refuses root otherwise; the program never turns its sandbox off itself.
    export QTWEBENGINE_DISABLE_SANDBOX=1
    check "the window's class is the desktop entry's StartupWMClass" \
        window_class_matches_the_entry "$(desktop_key StartupWMClass)"
else
    echo "SKIP: the window's class: needs root for a private network namespace"
fi

# --- dependencies ---------------------------------------------------------------------------

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# depends_on PACKAGE: PACKAGE is one of the alternatives-free items of Depends. A library is
# matched by what it is, not by one release's package name: Debian 13 renamed many libraries
# for its 64-bit time_t transition (libcups2 became libcups2t64), with the same library inside.
depends_on() {
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxE "$1(t64)?"
}
# The build is made against one Qt major version, and the package needs that one only.
qt=$(sed -n 's/^KESTRION_QT_MAJOR:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
case "$qt" in
5) other_qt=6 poppler_qt=libpoppler-qt5-1 ;;
6) other_qt=5 poppler_qt=libpoppler-qt6-3 ;;
*) echo "the build names no Qt major version: '$qt'"; exit 1 ;;
esac
for package in p7zip-full poppler-utils "libqt${qt}webenginewidgets$qt" "libqt${qt}widgets$qt" \
    libc6 "libqt${qt}printsupport$qt" "$poppler_qt" libcups2; do
    check "Depends names $package" depends_on "$package"
done
check "the computed web engine dependency carries a version" \
    grep -Eq "(^|, )libqt${qt}webenginewidgets$qt(t64)? \\(>= [0-9]" <<<"$depends"
check "Depends names no library of Qt $other_qt" \
    test -z "$(tr ',' '\n' <<<"$depends" | grep -E "^ *lib(qt|poppler-qt)$other_qt")"
loads_no_other_qt() {
    local binary found=0
    for binary in "$prefix/bin/kestrion-shell" "$prefix/libexec/kestrion-shell/pdftocairo"; do
        ldd "$binary" | grep -E "lib(Qt|poppler-qt)$other_qt" && found=1
    done
    return $found
}
check "the program and the print helper load no library of Qt $other_qt" loads_no_other_qt

# --- launcher -------------------------------------------------------------------------------

# The installed program gives way to a stand-in that reports where and with what it was started.
report=$work/stand-in-report
cat >"$prefix/bin/kestrion-shell" <<'EOF'
#!/bin/sh
{ pwd -P; printf '%s\n' "$#"; for argument in "$@"; do printf '[%s]\n' "$argument"; done; } \
    >"$KESTRION_STAND_IN_REPORT"
command -v pdftocairo >"$KESTRION_STAND_IN_REPORT.pdftocairo"
printf '%s\n' "$TMPDIR" >"$KESTRION_STAND_IN_REPORT.tmpdir"
printf '%s\n' "${QT_ENABLE_HIGHDPI_SCALING-unset}" >"$KESTRION_STAND_IN_REPORT.scaling"
printf '%s %s\n' "${QT_XCB_GL_INTEGRATION-unset}" "${QT_QUICK_BACKEND-unset}" \
    >"$KESTRION_STAND_IN_REPORT.drawing"
# One line for each start: its temporary folder, whether that folder's lock is held, its
# arguments.
lock=free
flock -n "$TMPDIR/lock" true || lock=held
printf '%s %s %s\n' "$TMPDIR" "$lock" "$*" >>"$KESTRION_STAND_IN_REPORT.starts"
# KESTRION_STAND_IN_ENDS: how each start ends, one word each: an exit status, "wait" (until a
# signal comes) or the name of a signal it sends itself; 0 once the words are used up.
starts=$(wc -l <"$KESTRION_STAND_IN_REPORT.starts")
# shellcheck disable=SC2086 # one word each
set -- ${KESTRION_STAND_IN_ENDS:-}
end=0
[ "$starts" -le $# ] && shift $((starts - 1)) && end=$1
case $end in
[0-9]*) exit "$end" ;;
wait) exec sleep 600 ;;
*) kill -s "$end" $$ ;;
esac
EOF
chmod 755 "$prefix/bin/kestrion-shell"
installed_splash=$(readlink -f "$data/kestrion-shell/splash.png")

# Each case gets a fresh home; launch runs the launcher there with a minimal environment.
case_dir=""
new_case() {
    case_dir=$work/case-$1
    mkdir -p "$case_dir/home" "$case_dir/cwd"
    rm -f "$report" "$report.scaling" "$report.drawing" "$report.starts"
}
# launch [VAR=VALUE...] -- COMMAND [ARGUMENT...]: status in $status.
launch() {
    local environment=()
    while [ "$1" != -- ]; do environment+=("$1"); shift; done
    shift
    (cd "$case_dir/cwd" && env -i PATH="$prefix/bin:/usr/bin:/bin" \
        KESTRION_STAND_IN_REPORT="$report" "${environment[@]}" "$@") >"$case_dir/output" 2>&1
    status=$?
}
started_in() {
    [ -f "$report" ] && [ "$(head -n 1 "$report")" = "$(readlink -f "$1")" ]
}
links_installed_splash() {
    [ -L "$1/splash.png" ] && [ "$(readlink -f "$1/splash.png")" = "$installed_splash" ]
}

new_case fresh-home
folder=$case_dir/home/.local/share/kestrion-shell
# shellcheck disable=SC2016 # a literal $HOME must arrive unexpanded
launch HOME="$case_dir/home" -- kestrion-shell-launcher --host=10.0.0.9 'two words' '' '*' '$HOME'
check "fresh home: the folder is created and the program starts in it" started_in "$folder"
# shellcheck disable=SC2016
check "fresh home: every argument arrives unchanged" test "$(tail -n +2 "$report")" = \
    "$(printf '%s\n' 5 '[--host=10.0.0.9]' '[two words]' '[]' '[*]' '[$HOME]')"
check "fresh home: splash.png links the installed image" links_installed_splash "$folder"
check "fresh home: the folder holds nothing but splash.png" \
    test "$(ls -A "$folder")" = splash.png
check "fresh home: the launcher prints nothing" test ! -s "$case_dir/output"
check "fresh home: pdftocairo is the print helper" test \
    "$(readlink -f "$(cat "$report.pdftocairo")")" = "$prefix/libexec/kestrion-shell/pdftocairo"
# private_temp PARENT: the program got a temporary folder of its own there, for its owner only.
private_temp() {
    local folder
    folder=$(cat "$report.tmpdir")
    [ "$(dirname "$folder")" = "$1/kestrion-shell/tmp" ] && [ "$(stat -c %a "$folder")" = 700 ]
}
check "fresh home: the temporary folder is the program's own" \
    private_temp "$case_dir/home/.cache"
check "fresh home: Qt is asked to scale for the screen's pixel density" \
    test "$(cat "$report.scaling")" = 1
check "fresh home: without a display to ask, Qt chooses how to draw" \
    test "$(cat "$report.drawing")" = "unset unset"

new_case xdg-data-home
launch HOME="$case_dir/home" XDG_DATA_HOME="$case_dir/data" XDG_CACHE_HOME="$case_dir/cache" \
    -- kestrion-shell-launcher
check "absolute XDG_DATA_HOME: the folder is made there" \
    started_in "$case_dir/data/kestrion-shell"
check "absolute XDG_CACHE_HOME: the temporary folder is made there" \
    private_temp "$case_dir/cache"
check "absolute XDG_DATA_HOME: nothing is made under HOME" test -z "$(ls -A "$case_dir/home")"

new_case temporary-folders
temp_root=$case_dir/home/.cache/kestrion-shell/tmp
mkdir -p "$temp_root/ended" "$temp_root/running" "$temp_root/starting"
: >"$temp_root/ended/lock"
touch -d '2 minutes ago' "$temp_root/ended" "$temp_root/running"
# A program that still runs holds its folder's lock (here a sleep, which the subshell becomes).
(exec 9>"$temp_root/running/lock" && flock 9 && exec sleep 600) >/dev/null 2>&1 &
holder=$!
wait_until 10 bash -c "! flock -n '$temp_root/running/lock' true"
launch HOME="$case_dir/home" -- kestrion-shell-launcher
kill "$holder"
wait "$holder" 2>/dev/null
check "temporary folders: an ended program's folder is removed" test ! -e "$temp_root/ended"
check "temporary folders: a running program's folder is kept" test -d "$temp_root/running"
check "temporary folders: a folder just made is kept" test -d "$temp_root/starting"

new_case relative-xdg-data-home
launch HOME="$case_dir/home" XDG_DATA_HOME=relative -- kestrion-shell-launcher
check "relative XDG_DATA_HOME: ignored, the folder is under HOME" \
    started_in "$case_dir/home/.local/share/kestrion-shell"
check "relative XDG_DATA_HOME: nothing is made in the current directory" \
    test -z "$(ls -A "$case_dir/cwd")"

new_case remembered-address
folder=$case_dir/home/.local/share/kestrion-shell
mkdir -p "$folder"
printf '10.20.30.40\n' >"$folder/ip.txt"
launch HOME="$case_dir/home" -- kestrion-shell-launcher
check "second start: ip.txt is kept" test "$(cat "$folder/ip.txt")" = 10.20.30.40
check "second start: the program starts beside ip.txt" started_in "$folder"

new_case own-scaling
launch HOME="$case_dir/home" QT_ENABLE_HIGHDPI_SCALING=0 -- kestrion-shell-launcher
check "own QT_ENABLE_HIGHDPI_SCALING: the user's value is kept" test "$(cat "$report.scaling")" = 0

# OpenGL done in software, as a glxinfo that stands in for the real one reports it.
software_opengl() {
    mkdir -p "$case_dir/bin"
    printf '#!/bin/sh\necho "    Accelerated: no"\n' >"$case_dir/bin/glxinfo"
    chmod 755 "$case_dir/bin/glxinfo"
    launch HOME="$case_dir/home" PATH="$case_dir/bin:$prefix/bin:/usr/bin:/bin" "$@" \
        -- kestrion-shell-launcher
}
new_case software-opengl
software_opengl
check "OpenGL in software: drawn without it, the page by Qt Quick's software renderer" \
    test "$(cat "$report.drawing")" = "none software"
new_case own-quick-backend
software_opengl QT_QUICK_BACKEND=rhi
check "own QT_QUICK_BACKEND: the user's value is kept" test "$(cat "$report.drawing")" = "none rhi"

new_case own-splash
folder=$case_dir/home/.local/share/kestrion-shell
mkdir -p "$folder"
printf 'mine' >"$folder/splash.png"
launch HOME="$case_dir/home" -- kestrion-shell-launcher
keeps_own_splash() {
    [ ! -L "$folder/splash.png" ] && [ "$(cat "$folder/splash.png")" = mine ]
}
check "own splash.png: a file of the user's own is kept" keeps_own_splash

new_case own-splash-link
folder=$case_dir/home/.local/share/kestrion-shell
mkdir -p "$folder"
printf 'mine' >"$case_dir/picture.png"
ln -s "$case_dir/picture.png" "$folder/splash.png"
launch HOME="$case_dir/home" -- kestrion-shell-launcher
check "own splash.png link: a link to the user's own image is kept" \
    test "$(readlink "$folder/splash.png")" = "$case_dir/picture.png"

new_case stale-splash-link
folder=$case_dir/home/.local/share/kestrion-shell
mkdir -p "$folder"
ln -s /nonexistent/splash.png "$folder/splash.png"
launch HOME="$case_dir/home" -- kestrion-shell-launcher
check "stale splash.png link: pointed at the installed image again" \
    links_installed_splash "$folder"

new_case through-symlink
mkdir -p "$case_dir/links"
ln -s "$prefix/bin/kestrion-shell-launcher" "$case_dir/links/start-kestrion"
launch HOME="$case_dir/home" -- "$case_dir/links/start-kestrion"
check "started through a symbolic link: finds the program and the image" \
    links_installed_splash "$case_dir/home/.local/share/kestrion-shell"
check "started through a symbolic link: the program runs" test -f "$report"

# restarts NAME ENDS STARTS STATUS OUTPUT [VAR=VALUE...]: a program that ends as ENDS says (see
# the stand-in) is started STARTS times, always alike and with its temporary folder locked; the
# launcher ends with STATUS and writes OUTPUT on standard error.
restarts() {
    local name=$1 ends=$2 starts=$3 expected_status=$4 expected_output=$5
    shift 5
    new_case "$name"
    launch HOME="$case_dir/home" KESTRION_STAND_IN_ENDS="$ends" "$@" \
        -- kestrion-shell-launcher --host=10.0.0.9 'two words'
    check "$name: started $starts times" test "$(wc -l <"$report.starts")" = "$starts"
    check "$name: each time with the same arguments and its temporary folder, still locked" \
        test "$(sort -u "$report.starts")" = "$(cat "$report.tmpdir") held --host=10.0.0.9 two words"
    check "$name: the launcher's status is the program's last" test "$status" = "$expected_status"
    check "$name: the launcher says why it starts the program again" \
        test "$(cat "$case_dir/output")" = "$expected_output"
}
# said ENDING...: the launcher's lines, one for each abnormal ending.
said() { printf 'kestrion-shell-launcher: kestrion-shell %s\n' "$@"; }
again="; starting it again in 1 second"
restarts closed 0 1 0 ""
restarts connection-dialog-cancelled 1 1 1 ""
restarts killed-then-closed "KILL 0" 2 0 "$(said "was ended by signal KILL (9)$again")"
restarts failed-then-cancelled "3 1" 2 1 "$(said "ended with exit status 3$again")"
restarts five-abnormal-ends "3 KILL 134 HUP 3 0" 5 3 "$(said "ended with exit status 3$again" \
    "was ended by signal KILL (9)$again" "was ended by signal ABRT (6)$again" \
    "was ended by signal HUP (1)$again" \
    "ended with exit status 3, the 5th abnormal end within 10 minutes; not starting it again")"
# A clock that moves on 200 s at each look: never five abnormal ends within 10 minutes.
mkdir -p "$work/clock"
echo 0 >"$work/clock/now"
# shellcheck disable=SC2016 # expanded by the clock's own shell
printf '#!/bin/sh\necho $(($(cat "%s") + 200)) >"%s"\ncat "%s"\n' "$work/clock/now" \
    "$work/clock/now" "$work/clock/now" >"$work/clock/date"
chmod 755 "$work/clock/date"
restarts crashes-spread-out "3 3 3 3 3 3 0" 7 0 "$(for _ in 1 2 3 4 5 6; do
    said "ended with exit status 3$again"; done)" PATH="$work/clock:$prefix/bin:/usr/bin:/bin"

# signalled NAME SIGNAL [-]: the launcher in a process group of its own, its program running;
# SIGNAL goes to the launcher, or with "-" to the whole group. The program ends, is not started
# again, and the launcher ends with its status.
signalled() {
    local name=$1 signal=$2 group=${3:-} launcher
    new_case "$name"
    # As a terminal or a desktop starts it: a background command of a script ignores INT.
    (cd "$case_dir/cwd" && exec env -i --default-signal=INT PATH="$prefix/bin:/usr/bin:/bin" \
        HOME="$case_dir/home" KESTRION_STAND_IN_REPORT="$report" KESTRION_STAND_IN_ENDS=wait \
        setsid kestrion-shell-launcher) >"$case_dir/output" 2>&1 &
    launcher=$!
    wait_until 10 test -s "$report.starts"
    kill -s "$signal" -- "$group$launcher"
    if ! wait_until 10 bash -c "! kill -0 $launcher 2>/dev/null"; then
        kill -KILL -- "-$launcher"
        fail "$name: the launcher ended"
    fi
    wait "$launcher"
    status=$?
    check "$name: started once" test "$(wc -l <"$report.starts")" = 1
    check "$name: the launcher's status is the program's" \
        test "$status" = $((128 + $(kill -l "$signal")))
    check "$name: the launcher says nothing" test ! -s "$case_dir/output"
}
signalled session-ends-term TERM
signalled session-ends-hup HUP
signalled interrupted INT
signalled group-term TERM -
signalled group-interrupted INT -

# started_apart: the program ran, in a folder of its own in the temporary folder given (0700),
# and one line on standard error said why.
started_apart() {
    local started
    started=$(head -n 1 "$report")
    [ "$status" = 0 ] && [ "$(dirname "$started")" = "$(readlink -f "$1")" ] \
        && [ "$(stat -c %a "$started")" = 700 ] && [ "$(wc -l <"$case_dir/output")" -ge 1 ] \
        && grep -q "^kestrion-shell-launcher: cannot use .*; using $1/kestrion-shell\." \
            "$case_dir/output"
}

new_case unusable-folder
printf 'not a folder' >"$case_dir/data"
mkdir "$case_dir/tmp"
launch HOME="$case_dir/home" XDG_DATA_HOME="$case_dir/data" TMPDIR="$case_dir/tmp" \
    -- kestrion-shell-launcher
check "folder cannot be made: the program starts apart, and says why" started_apart "$case_dir/tmp"

new_case no-home
mkdir "$case_dir/tmp"
launch TMPDIR="$case_dir/tmp" -- kestrion-shell-launcher
check "no HOME and no XDG_DATA_HOME: the program starts apart, and says why" \
    started_apart "$case_dir/tmp"

# Root may write any folder: these cases run as another user (nobody), with a copy of the
# installation where that user can reach it.
user_work=$(mktemp -d /tmp/package-user.XXXXXX) || exit 1
trap 'rm -rf "$work" "$user_work"' EXIT
chmod 755 "$user_work"
cp -a "$prefix" "$user_work/usr"
# launch_as_user HOME: runs the launcher as nobody; the stand-in reports as before.
launch_as_user() {
    rm -rf "$user_work/reports" "$user_work/tmp"
    mkdir -p "$user_work/reports" "$user_work/tmp"
    chown 65534:65534 "$user_work/reports" "$user_work/tmp"
    report=$user_work/reports/report
    (cd "$1" && setpriv --reuid=65534 --regid=65534 --clear-groups env -i \
        PATH="$user_work/usr/bin:/usr/bin:/bin" HOME="$1" TMPDIR="$user_work/tmp" \
        KESTRION_STAND_IN_REPORT="$report" kestrion-shell-launcher) >"$case_dir/output" 2>&1
    status=$?
}

# One start through sudo with HOME kept leaves the folders to root.
new_case folders-left-to-root
user_home=$user_work/home-root-owned
mkdir -p "$user_home/.cache/kestrion-shell/tmp" "$user_home/.local/share/kestrion-shell"
chown 65534:65534 "$user_home" "$user_home/.cache" "$user_home/.local" "$user_home/.local/share"
launch_as_user "$user_home"
check "folders left to root: the program starts apart, and says why" \
    started_apart "$user_work/tmp"
check "folders left to root: its temporary folder is its own too" \
    test "$(dirname "$(cat "$report.tmpdir")")" = "$user_work/tmp"

# An ended program's folder that cannot be removed stays, and the program starts as usual.
new_case unremovable-entry
user_home=$user_work/home-unremovable
temp_root=$user_home/.cache/kestrion-shell/tmp
mkdir -p "$temp_root/stuck" "$user_home/.local/share"
chown -R 65534:65534 "$user_home"
: >"$temp_root/stuck/kept"
chown 0:0 "$temp_root/stuck"
touch -d '2 minutes ago' "$temp_root/stuck"
launch_as_user "$user_home"
check "unremovable entry: the program starts in its own folder" \
    started_in "$user_home/.local/share/kestrion-shell"
check "unremovable entry: the temporary folder is the program's own" \
    test "$(dirname "$(cat "$report.tmpdir")")" = "$temp_root"
check "unremovable entry: it stays, and one line says so" test -d "$temp_root/stuck" -a \
    "$(cat "$case_dir/output")" = "kestrion-shell-launcher: cannot remove $temp_root/stuck"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
