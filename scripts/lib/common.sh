# Shared by the scripts in scripts/: package installation and the build.
# shellcheck shell=bash

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Runs a command as root: directly when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages among the arguments that are not installed yet.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# glxinfo tells the launcher whether OpenGL is drawn in software.
common_build_packages=(cmake make g++ pkg-config libx11-dev libcups2-dev fonts-dejavu-core
    mesa-utils)
# The build against Qt 5.15, the default one.
build_packages=("${common_build_packages[@]}" qtbase5-dev qtwebengine5-dev libpoppler-qt5-dev)
# The build against Qt 6, in a folder of its own; it keeps QRegExp in Core5Compat.
qt6_build_packages=("${common_build_packages[@]}" qt6-base-dev qt6-webengine-dev qt6-5compat-dev
    libpoppler-qt6-dev)
qt6_build_dir="$repo_root/build-qt6"
qt6_cmake_options=(-DKESTRION_QT_MAJOR=6)

# build_tree DIR [cmake options...]: configures and builds the whole project into DIR.
build_tree() {
    local dir=$1
    shift
    cmake -S "$repo_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    step_done configure
    cmake --build "$dir" -j2
}

# Processor seconds used so far by the processes this script started that have ended: beside the
# time a step took, they tell a step that waits from one that computes, whatever else the
# machine is doing.
children_cpu_seconds() {
    local stat
    read -r -a stat <"/proc/$$/stat"
    echo $(((stat[15] + stat[16]) / $(getconf CLK_TCK)))
}

# step_done NAME: says how long the step that has just ended took (since the previous step or the
# start of the script), so that a slow run shows where its time went.
step_started=$SECONDS
step_cpu_started=$(children_cpu_seconds)
step_done() {
    local cpu
    cpu=$(children_cpu_seconds)
    echo "time: $1 took $((SECONDS - step_started)) s, $((cpu - step_cpu_started)) s of processor time"
    step_started=$SECONDS
    step_cpu_started=$cpu
}

# The web engine refuses to start as root unless its sandbox is off; only the scripts do
# this, the program itself never does.
allow_web_engine_as_root() {
    if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
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

# report_end_to_end BUILD_DIR SKIP_REPORT: which end-to-end scripts ran, and why any did not (a
# normal user runs them in a user namespace, where printing through CUPS cannot be tested).
report_end_to_end() {
    local test ran=0 skipped=0 reason
    echo "End-to-end tests:"
    while read -r test; do
        reason=$(sed -n "s/^$test: //p" "$2" | head -n 1)
        if [ -n "$reason" ]; then
            echo "  skipped $test: $reason"
            skipped=$((skipped + 1))
        else
            echo "  ran     $test"
            ran=$((ran + 1))
        fi
    done < <(ctest --test-dir "$1" -N -R '^e2e_' | sed -n 's/^ *Test *#[0-9]*: //p')
    echo "End-to-end tests: $ran ran, $skipped skipped"
}

# Ends what is still running of what the script started: jobs that have not been waited for
# yet, so no process id that may have been given to another process since.
end_jobs() {
    local pid
    for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
