#!/usr/bin/env bash
# Prints line coverage of the library per folder from the gcov counters of an instrumented
# build (make coverage). Usage: scripts/coverage.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-coverage}
summary=$build/coverage.json
# Only the library's own sources: tests, tools, benchmarks and examples are not measured.
gcovr --root . --object-directory "$build" \
  --filter '(platform|frame|props|xml|errors|files|selection|zip|floppy|thread|settings)/' \
  --json-summary "$summary" --gcov-ignore-parse-errors -j 2 >/dev/null
python3 - "$summary" <<'PY'
import json, sys
folders = {}
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")
    key = "/".join(parts[:2]) if parts[0] == "platform" else parts[0]
    total, covered = folders.get(key, (0, 0))
    folders[key] = (total + f["line_total"], covered + f["line_covered"])
print(f"{'folder':<22}{'lines':>8}{'covered':>9}{'coverage':>10}")
all_t = all_c = 0
for key in sorted(folders):
    t, c = folders[key]
    all_t += t; all_c += c
    print(f"{key:<22}{t:>8}{c:>9}{100.0 * c / max(t, 1):>9.1f}%")
print(f"{'library':<22}{all_t:>8}{all_c:>9}{100.0 * all_c / max(all_t, 1):>9.1f}%")
PY
