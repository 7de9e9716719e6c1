#!/usr/bin/env bash
# Wall time of a second `corvane URL` process handing its link to a running
# first one: from its start to its exit, as the desktop sees it. Uses the
# built launcher `corvane` (no Qt), and for comparison the application
# `corvane-app` handing over itself (with Qt loaded); without them, the
# platform test binary, which runs the same hand-off when started as an
# intake child.
set -euo pipefail
build=${1:?build folder}
runs=${INTAKE_RUNS:-50}

work=$(mktemp -d)
first_pid=""
cleanup() {
  if [[ -n "$first_pid" ]]; then
    kill "$first_pid" 2>/dev/null || true
    wait "$first_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A desktop of its own: nothing of the user's is read or written.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=X-Generic \
  QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

if [[ -x "$build/bin/corvane" ]]; then
  what="corvane"
  corvane() { "$build/bin/corvane" "$@"; }
elif [[ -x "$build/tests/platform_tests" ]]; then
  what="intake child of platform_tests (no corvane binary in $build)"
  corvane() {
    local links="[]"
    [[ $# -gt 0 ]] && links="[\"$1\"]"
    CORVANE_INTAKE_CHILD=1 CORVANE_INTAKE_DIR="$XDG_RUNTIME_DIR" CORVANE_INTAKE_LINKS="$links" \
      "$build/tests/platform_tests"
  }
else
  echo "intake: skipped, neither $build/bin/corvane nor $build/tests/platform_tests is built"
  exit 0
fi

corvane > "$work/first.log" 2>&1 &
first_pid=$!
for _ in $(seq 200); do
  [[ -S "$XDG_RUNTIME_DIR/corvane.sock" ]] && break
  sleep 0.05
done
[[ -S "$XDG_RUNTIME_DIR/corvane.sock" ]] || { echo "intake: the first process never listened"; exit 1; }

# Times `$runs` hand-offs of the command given, after three not counted.
measure() {
  local what=$1; shift
  : > "$work/times"
  for i in 1 2 3; do "$@" "https://example.org/warm-up/$i" > /dev/null; done
  for i in $(seq "$runs"); do
    start=$EPOCHREALTIME
    "$@" "https://example.org/$i" > /dev/null
    end=$EPOCHREALTIME
    echo "$start $end" >> "$work/times"
  done
  kill -0 "$first_pid" 2>/dev/null || { echo "intake: the first process ended"; exit 1; }
  python3 - "$work/times" "$what" <<'PY'
import statistics, sys
times = sorted((float(e) - float(s)) * 1000 for s, e in (l.split() for l in open(sys.argv[1])))
p90 = times[int(len(times) * 0.9) - 1]
print(f"intake hand-off, {sys.argv[2]}: {len(times)} runs, median {statistics.median(times):.1f} ms, "
      f"mean {statistics.mean(times):.1f} ms, min {times[0]:.1f} ms, p90 {p90:.1f} ms")
PY
}

measure "$what" corvane
if [[ -x "$build/bin/corvane-app" ]]; then
  measure "corvane-app (the application itself, Qt loaded)" "$build/bin/corvane-app"
fi
