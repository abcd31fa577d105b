#!/usr/bin/env bash
# Ombrel's pictures, icons and copy animation, read back and compared with
# what the generator drew.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
exec python3 "$root/tests/tools/explorer_art_test.py" -v
