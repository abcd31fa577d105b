#!/usr/bin/env bash
# No two source files of an engine call each other in a loop: each engine's
# library, in the native and the 64-bit Windows builds, is checked from its
# object files' symbols (tools/check_call_cycles.py).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
status=0
for tree in native win64; do
  libraries=()
  for name in builder image_edit reader container disc_hash host wizard_core explorer_core; do
    lib="$root/build/$tree/lib$name.a"
    [ -f "$lib" ] && libraries+=("$lib")
  done
  if [ "${#libraries[@]}" -lt 5 ]; then
    echo "engine_call_loops: build/$tree has only ${#libraries[@]} engine libraries; build it first"
    status=1
    continue
  fi
  echo "== build/$tree"
  python3 "$root/tools/check_call_cycles.py" "${libraries[@]}" || status=1
done
exit "$status"
