#!/usr/bin/env bash
# Fails when a test of the build folder BUILD (default build) lacks its labels: every test
# carries the folder it comes from (a folder of tests/, or fuzz) and one kind (unit, contract,
# e2e, package, corpus); a contract test may name its backend (headless, gtk, web) as well.
# Any other label fails too, so that HACKING.md's table of labels stays complete. Run after
# the build: GoogleTest cases are listed once their executable exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
ctest --test-dir "$build" --show-only=json-v1 | /usr/bin/python3 -c '
import json, os, sys
root, build = sys.argv[1], sys.argv[2]
kinds = {"unit", "contract", "e2e", "package", "corpus"}
backends = {"headless", "gtk", "web"}
def is_folder(label):
    return label == "fuzz" or os.path.isdir(os.path.join(root, "tests", label))
tests = json.load(sys.stdin).get("tests", [])
bad = 0
for test in tests:
    name = test["name"]
    if name.endswith("_NOT_BUILT"):
        # The stand-in of a GoogleTest executable that this build did not make.
        continue
    labels = []
    for prop in test.get("properties", []):
        if prop["name"] == "LABELS":
            labels = prop["value"]
    folders = [l for l in labels if is_folder(l)]
    kind = [l for l in labels if l in kinds]
    other = [l for l in labels if l not in kinds and l not in backends and not is_folder(l)]
    if not folders or len(kind) != 1 or other:
        print(f"{build}: test {name} has labels {labels or None}: needs one folder, one kind"
              + (f", unknown {other}" if other else ""))
        bad += 1
print(f"{build}: {len(tests)} tests, {bad} without their labels")
sys.exit(1 if bad or not tests else 0)
' "$root" "$build"
