#!/usr/bin/env bash
# A link with a rule, from a cold `corvane URL` (nothing running) to the
# browser being started with it: launcher, Qt, model, routing, the bridge and
# the browser's own start, as the desktop sees it. The browser is a script
# named chromium on PATH that notes when it ran; a process of that name runs
# meanwhile, so Corvane routes at once instead of launching the browser first.
# Offscreen, and on an X server when xvfb-run is there.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
runs=${COLD_LINK_RUNS:-15}
corvane=$build/bin/corvane
if [[ ! -x "$corvane" || ! -x "$build/bin/corvane-bridge" ]]; then
  echo "cold link: skipped, $build/bin/corvane or corvane-bridge is not built"
  exit 0
fi

if [[ -z "${COLD_LINK_INNER:-}" ]]; then
  echo "-- offscreen"
  QT_QPA_PLATFORM=offscreen COLD_LINK_INNER=1 "$0" "$build"
  if command -v xvfb-run >/dev/null; then
    echo "-- X server (xvfb-run)"
    QT_QPA_PLATFORM=xcb COLD_LINK_INNER=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$build"
  fi
  exit 0
fi

work=$(mktemp -d)
app_pid=""
browser_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$browser_pid" ]] && kill "$browser_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A desktop of its own: nothing of the user's is read or written.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=X-Generic \
  PATH=$work/bin:/usr/bin:/bin
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME" "$XDG_CONFIG_HOME/corvane" "$XDG_CONFIG_HOME/chromium" "$XDG_DATA_HOME" \
  "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$work/bin" "$work/running"
chmod 700 "$XDG_RUNTIME_DIR"
cat > "$XDG_CONFIG_HOME/chromium/Local State" <<'JSON'
{"profile": {"profiles_order": ["Default", "Profile 1"],
  "info_cache": {"Default": {"name": "Personal"}, "Profile 1": {"name": "Work"}}}}
JSON
cat > "$XDG_CONFIG_HOME/corvane/settings.json" <<'JSON'
{"version": 1, "rules": [{"id": "6F9619FF-8B86-4011-B42D-00C04FC964FF", "enabled": true,
  "kind": "domain", "pattern": "example.org", "profile": "Work"}]}
JSON
printf '#!/bin/bash\necho "$EPOCHREALTIME" >> "%s/reached"\n' "$work" > "$work/bin/chromium"
chmod +x "$work/bin/chromium"
cp /bin/sleep "$work/running/chromium"
"$work/running/chromium" 3600 &
browser_pid=$!

: > "$work/times"
for i in $(seq $((runs + 2))); do
  rm -f "$work/reached" "$XDG_RUNTIME_DIR"/corvane*
  start=$EPOCHREALTIME
  "$corvane" "https://docs.example.org/page/$i" > "$work/app.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 400); do
    [[ -s "$work/reached" ]] && break
    sleep 0.01
  done
  if [[ ! -s "$work/reached" ]]; then
    echo "cold link: the browser was never started"; cat "$work/app.log"; exit 1
  fi
  reached=$(head -n1 "$work/reached")
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  # The first two warm the disk cache; they are not counted.
  (( i > 2 )) && echo "$start $reached" >> "$work/times"
done
python3 - "$work/times" <<'PY'
import statistics, sys
times = sorted((float(e) - float(s)) * 1000 for s, e in (l.split() for l in open(sys.argv[1])))
print(f"cold corvane URL with a rule to the browser started: median {statistics.median(times):.1f} ms, "
      f"best {times[0]:.1f} ms, worst {times[-1]:.1f} ms, {len(times)} runs")
PY
