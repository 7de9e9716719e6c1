#!/usr/bin/env bash
# corvane-route throughput: 100,000 links from standard input against 500 rules.
set -euo pipefail
build=${1:?build folder}
route="$build/bin/corvane-route"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import json, sys, uuid, os
work = sys.argv[1]
kinds = ["domain", "exactHost", "urlPrefix"]
rules = []
for i in range(500):
    host = f"host{i}.example.com"
    kind = kinds[i % 3]
    pattern = {"domain": host, "exactHost": "www." + host, "urlPrefix": f"https://{host}/docs"}[kind]
    rules.append({"enabled": True, "id": str(uuid.uuid4()).upper(), "kind": kind,
                  "pattern": pattern, "profile": "Work"})
json.dump({"version": 1, "rules": rules, "defaultProfile": "Personal"},
          open(os.path.join(work, "settings.json"), "w"))
with open(os.path.join(work, "links.txt"), "w") as f:
    for i in range(100000):
        f.write(f"https://host{i % 600}.example.com/docs/page{i}\n")
PY

start=$(date +%s.%N)
"$route" --settings "$work/settings.json" < "$work/links.txt" > "$work/out.jsonl"
end=$(date +%s.%N)
lines=$(wc -l < "$work/out.jsonl")
python3 - "$start" "$end" "$lines" <<'PY'
import sys
start, end, lines = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
secs = end - start
print(f"corvane-route: {lines} links against 500 rules in {secs:.2f} s = {lines / secs:,.0f} links/s")
PY
