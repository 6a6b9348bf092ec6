# Sourced with WINEPREFIX, WINEARCH and the locale set: makes a fresh Wine
# prefix and keeps one server alive for it, with Wine's own system processes
# started here (a system process started by a test would inherit and hold
# open the pipe ctest reads the test's output from). Sets $wine and
# $wineserver for the architecture.
case $WINEARCH in
  win32) wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32 ;;
  *) wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 ;;
esac
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
"$wineserver" -w
"$wineserver" -p
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
