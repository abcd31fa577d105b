#!/usr/bin/env bash
# The committed sample content must be exactly what tools/make_samples.py
# writes, so the samples can always be regenerated and nothing drifts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
exec python3 "$root/tools/make_samples.py" --check
