#!/usr/bin/env bash
# "Reuse open tabs" with the real thing: Debian's Chromium on a private X
# server with our extension loaded in a profile, the real corvane-extension-host
# started by Chromium, and this harness in Corvane's place on the relay's
# socket. It times the question Corvane asks before it starts the browser:
# for a link no tab shows (what reuse adds to every such link) and for one
# the profile has open (the switch itself). Medians of a number of questions.
set -euo pipefail
build=${1:?build folder}
build=$(cd "$build" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
host="$build/bin/corvane-extension-host"
runs=${TAB_REUSE_BENCH_RUNS:-25}
for tool in chromium Xvfb python3; do
  command -v "$tool" >/dev/null || { echo "tab_reuse: needs $tool; skipped"; exit 0; }
done
[[ -x "$host" ]] || { echo "tab_reuse: $host is missing; skipped"; exit 0; }
work=$(mktemp -d)
xvfb=""
cleanup() {
  if [[ -f "$work/chromium.pids" ]]; then
    while read -r pid; do kill -TERM -- "$pid" 2>/dev/null || true; done < "$work/chromium.pids"
    sleep 1
    while read -r pid; do kill -KILL -- "$pid" 2>/dev/null || true; done < "$work/chromium.pids"
  fi
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  [[ -n "${pages:-}" ]] && kill "$pages" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/config/chromium/NativeMessagingHosts" "$work/extension" "$work/www"
mkdir -m 700 "$work/run"
cp "$source_dir"/resources/extension/* "$work/extension/"
cat > "$work/config/chromium/Local State" <<'JSON'
{"profile":{"info_cache":{"Profile 1":{"name":"Work"}},"profiles_order":["Profile 1"]}}
JSON
cat > "$work/config/chromium/NativeMessagingHosts/io.github.corvane.tabs.json" <<JSON
{"name":"io.github.corvane.tabs","description":"bench","path":"$host","type":"stdio",
 "allowed_origins":["chrome-extension://hiceokegphiaapaahglbcbkcdngejhli/"]}
JSON
echo '<title>open</title>' > "$work/www/open.html"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"
python3 -m http.server --bind 127.0.0.1 --directory "$work/www" 0 >"$work/pages.log" 2>&1 &
pages=$!
for _ in $(seq 100); do grep -q "port" "$work/pages.log" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/pages.log" | head -n1)
page="http://127.0.0.1:$port/open.html"

# Corvane's side of the relay: waits for the host's greeting, then asks.
python3 - "$work/run/corvane-tabs.sock" "$page" "$runs" <<'PY' &
import json, socket, statistics, sys, time
path, page, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
server.bind(path)
server.listen(1)
server.settimeout(120)
try:
    connection, _ = server.accept()
except socket.timeout:
    print("tab_reuse: the extension never connected; skipped")
    sys.exit(0)
lines = connection.makefile("r")
hello = json.loads(lines.readline())
time.sleep(3)  # the page finishes loading in its tab
def ask(url, n):
    times = []
    for i in range(n):
        start = time.perf_counter()
        connection.sendall((json.dumps({"type": "find", "id": i, "url": url, "within": 200}) + "\n").encode())
        answer = json.loads(lines.readline())
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times), answer["switched"]
missing, switched_missing = ask(page.replace("open.html", "nowhere.html"), runs)
found, switched_found = ask(page, runs)
print(f"tab_reuse: extension in profile {hello['profile']!r} of Chromium, real host and extension")
print(f"tab_reuse: no tab shows the link, median of {runs}: {missing:.1f} ms (switched: {switched_missing})")
print(f"tab_reuse: a tab shows it, switched to, median of {runs}: {found:.1f} ms (switched: {switched_found})")
PY
asker=$!

env -i HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" DISPLAY="$display" \
  PATH=/usr/bin:/bin setsid chromium --no-sandbox --no-first-run --no-default-browser-check --disable-gpu \
  --disable-dev-shm-usage --password-store=basic --disable-background-networking --disable-component-update \
  --load-extension="$work/extension" --profile-directory="Profile 1" "$page" >/dev/null 2>&1 &
echo "-$!" >> "$work/chromium.pids"
wait "$asker"
