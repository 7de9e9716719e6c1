#!/usr/bin/env bash
# Cold start of corvane to its panel painted, and its resident memory with the
# panel shown once and hidden: offscreen, and on an X server when xvfb-run is
# there (the tray, fonts and the X connection as on a desktop).
set -euo pipefail
build=${1:?build folder}
runs=${SHELL_RUNS:-15}
probe=$build/bench/shell_startup_probe
if [[ ! -x "$probe" ]]; then
  echo "shell: skipped, $probe is not built"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A desktop of its own: nothing of the user's is read or written.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS

echo "-- offscreen"
QT_QPA_PLATFORM=offscreen "$probe" "$runs"
if command -v xvfb-run >/dev/null; then
  echo "-- X server (xvfb-run)"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$probe" "$runs"
fi
