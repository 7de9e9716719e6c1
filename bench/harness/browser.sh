#!/usr/bin/env bash
# What a link costs with a real browser already running: corvane-bridge
# `route` answers once the browser process it started has handed the link to
# the running browser and exited. Against the same helper with a browser that
# exits at once, the difference is what waiting for the browser adds per link.
# Medians of a number of routes, on a private X server, session bus and home,
# for Chromium and for Firefox when it is installed.
set -euo pipefail
build=${1:?build folder}
bridge="$build/bin/corvane-bridge"
runs=${BROWSER_BENCH_RUNS:-15}
for tool in chromium Xvfb python3; do
  command -v "$tool" >/dev/null || { echo "browser: needs $tool; skipped"; exit 0; }
done
work=$(mktemp -d)
xvfb=""
cleanup() {
  for f in "$work"/*.pids; do
    [[ -f "$f" ]] || continue
    while read -r pid; do kill -TERM -- "-$pid" 2>/dev/null || true; done < "$f"
  done
  sleep 1
  for f in "$work"/*.pids; do
    [[ -f "$f" ]] || continue
    while read -r pid; do kill -KILL -- "-$pid" 2>/dev/null || true; done < "$f"
  done
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  [[ -n "${bus_pid:-}" ]] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin" "$work/home" "$work/config/chromium" "$work/fake/bin"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"

# Running as root, Chromium needs --no-sandbox; the helper never adds it.
cat > "$work/bin/chromium" <<SH
#!/bin/sh
echo \$\$ >> '$work/chromium.pids'
exec $(command -v chromium) --no-sandbox --no-first-run --no-default-browser-check --disable-gpu \
  --disable-dev-shm-usage --password-store=basic "\$@"
SH
printf '#!/bin/sh\nexit 0\n' > "$work/fake/bin/chromium"
chmod +x "$work/bin/chromium" "$work/fake/bin/chromium"
cat > "$work/config/chromium/Local State" <<'JSON'
{"profile":{"info_cache":{"Default":{"name":"Personal"},"Profile 1":{"name":"Work"}},
 "profiles_order":["Default","Profile 1"]}}
JSON

# Firefox hands a link to its running instance over the session bus.
bus_address=""
if command -v dbus-daemon >/dev/null; then
  bus_out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  bus_address=$(sed -n 1p <<<"$bus_out")
  bus_pid=$(sed -n 2p <<<"$bus_out")
fi

# Milliseconds of one helper run with PATH $1 and request $2 (browser: $browser).
browser=chromium
helper_ms() {
  local start end
  start=$(date +%s%N)
  env -i HOME="$work/home" XDG_CONFIG_HOME="$work/config" DISPLAY="$display" PATH="$1:/usr/bin:/bin" \
    DBUS_SESSION_BUS_ADDRESS="$bus_address" MOZ_CRASHREPORTER_DISABLE=1 \
    "$bridge" --browser "$browser" "$2" >/dev/null 2>"$work/error" || {
      echo "browser: the helper failed: $(cat "$work/error")" >&2; return 1; }
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
route() { printf '{"action":"route","profile":"%s","url":"http://127.0.0.1:9/%s","reuse":"0"}' "$1" "$2"; }
median() { python3 -c 'import sys,statistics; print(round(statistics.median(float(x) for x in sys.argv[1:])))' "$@"; }

first=$(helper_ms "$work/bin" "$(route Work start)")
sleep 2 # let the browser finish starting before timing hand-overs
running=()
for i in $(seq "$runs"); do
  profile=Work; (( i % 2 )) && profile=Personal
  running+=("$(helper_ms "$work/bin" "$(route "$profile" "link$i")")")
done
instant=()
for i in $(seq "$runs"); do
  instant+=("$(helper_ms "$work/fake/bin" "$(route Work "link$i")")")
done
profiles=()
for i in $(seq "$runs"); do
  profiles+=("$(helper_ms "$work/bin" '{"action":"profiles"}')")
done
with=$(median "${running[@]}")
without=$(median "${instant[@]}")
echo "chromium: route to a running Chromium, median of $runs: ${with} ms (first link, Chromium not yet running: ${first} ms)"
echo "chromium: route with a browser that exits at once: ${without} ms; waiting for the browser adds about $((with - without)) ms per link"
echo "chromium: profiles, median of $runs: $(median "${profiles[@]}") ms"

firefox=$(command -v firefox-esr || command -v firefox || true)
if [[ -z "$firefox" || -z "$bus_address" ]]; then
  echo "firefox: needs firefox-esr and dbus-daemon; skipped"
  exit 0
fi
browser=firefox
mkdir -p "$work/ff/bin" "$work/fffake/bin"
cat > "$work/ff/bin/firefox" <<SH
#!/bin/sh
echo \$\$ >> '$work/firefox.pids'
exec $firefox "\$@"
SH
printf '#!/bin/sh\nexit 0\n' > "$work/fffake/bin/firefox"
chmod +x "$work/ff/bin/firefox" "$work/fffake/bin/firefox"
for name in Work Personal; do
  env -i HOME="$work/home" XDG_CONFIG_HOME="$work/config" DISPLAY="$display" PATH=/usr/bin:/bin \
    "$firefox" -CreateProfile "$name" >/dev/null 2>&1
done
for prefs in "$work"/home/.mozilla/firefox/*.*/ "$work"/config/mozilla/firefox/*.*/; do
  [[ -d "$prefs" ]] || continue
  printf 'user_pref("browser.aboutwelcome.enabled", false);\nuser_pref("browser.startup.homepage_override.mstone", "ignore");\n' > "$prefs/user.js"
done
first=$(helper_ms "$work/ff/bin" "$(route Work start)")
sleep 3
running=()
for i in $(seq "$runs"); do
  running+=("$(helper_ms "$work/ff/bin" "$(route Work "link$i")")")
done
instant=()
for i in $(seq "$runs"); do
  instant+=("$(helper_ms "$work/fffake/bin" "$(route Work "link$i")")")
done
profiles=()
for i in $(seq "$runs"); do
  profiles+=("$(helper_ms "$work/ff/bin" '{"action":"profiles"}')")
done
with=$(median "${running[@]}")
without=$(median "${instant[@]}")
echo "firefox: route to a running Firefox, median of $runs: ${with} ms (first link, Firefox not yet running: ${first} ms)"
echo "firefox: route with a browser that exits at once: ${without} ms; waiting for the browser adds about $((with - without)) ms per link"
echo "firefox: profiles, median of $runs: $(median "${profiles[@]}") ms"
