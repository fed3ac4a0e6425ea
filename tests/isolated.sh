#!/bin/sh
# Runs one test in a throw-away folder with its own HOME, TMPDIR and runtime directory,
# so that no test sees another's ip.txt, downloads or web engine profile.
dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrion-test.XXXXXX") || exit 1
mkdir -p "$dir/home" "$dir/tmp" "$dir/work" "$dir/runtime"
chmod 700 "$dir/runtime"
cd "$dir/work" || exit 1
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
HOME="$dir/home" TMPDIR="$dir/tmp" XDG_RUNTIME_DIR="$dir/runtime" "$@"
status=$?
rm -rf "$dir"
exit $status
