#!/bin/sh
# Runs one test in a throw-away folder with its own HOME, TMPDIR and runtime directory,
# so that no test sees another's ip.txt, downloads or web engine profile.
dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrion-test.XXXXXX") || exit 1
mkdir -p "$dir/home" "$dir/tmp" "$dir/work" "$dir/runtime"
chmod 700 "$dir/runtime"
cd "$dir/work" || exit 1
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
# Nor may a test depend on how the machine is set up: window titles and texts need a UTF-8
# locale, the program's traffic must not go to a proxy, the dialogs are laid out with the same
# fonts everywhere, files are made with the usual umask, and none of Qt's variables changes the
# log lines or the dialogs. The drawing follows the build: QT_XCB_GL_INTEGRATION and
# QT_QUICK_BACKEND pass, since the sanitizer suite draws without OpenGL through them. Qt 5's
# network bearer polling opens sockets now and then, which a count of open descriptors would
# take for a leak.
export LC_ALL=C.UTF-8
unset LANG LANGUAGE
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY \
    ALL_PROXY NO_PROXY
unset QT_LOGGING_RULES QT_MESSAGE_PATTERN QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS \
    QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI QT_QPA_PLATFORMTHEME \
    QT_STYLE_OVERRIDE QT_IM_MODULE QTWEBENGINE_CHROMIUM_FLAGS XDG_CURRENT_DESKTOP XMODIFIERS
FONTCONFIG_FILE=$(cd "$(dirname "$0")" && pwd)/fonts.conf
export FONTCONFIG_FILE QT_BEARER_POLL_TIMEOUT=86400000
umask 022
HOME="$dir/home" TMPDIR="$dir/tmp" XDG_RUNTIME_DIR="$dir/runtime" "$@"
status=$?
rm -rf "$dir"
exit $status
