#!/usr/bin/env bash
# The 32-bit release programs as shipped: no debug sections (their symbols
# stay beside them in the build tree, as Program.exe.debug) and a version
# resource whose versions are the ones their about boxes show. Skips (exit 0)
# when the 32-bit build tree does not exist.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
win32="${RELEASE_BUILD:-$root/build/win32}"
if [ ! -d "$win32" ]; then
  echo "release_programs: no $win32; skipped"
  exit 0
fi
cmake --build "$win32" --target Trelvik Ombrel >/dev/null

status=0
for program in Trelvik:1.00 Ombrel:1.06; do
  name="${program%%:*}" version="${program#*:}"
  exe="$win32/$name.exe"
  if i686-w64-mingw32-objdump -h "$exe" | grep -E ' \.debug_' >/dev/null; then
    echo "release_programs: $name.exe carries debug sections"
    status=1
  fi
  if [ ! -s "$exe.debug" ]; then
    echo "release_programs: $name.exe's symbols are not kept in $name.exe.debug"
    status=1
  fi
  # The version resource's strings are UTF-16: each value follows its key.
  if ! python3 - "$exe" "$name" "$version" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
def value(key):
    k = (key + "\0").encode("utf-16-le")
    at = data.find(k)
    if at < 0:
        return None
    at += len(k)
    at += at % 4  # values start on a 32-bit boundary
    end = data.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = data.find(b"\0\0", end + 1)
    return data[at:end].decode("utf-16-le")
want = {"ProductName": sys.argv[2], "ProductVersion": sys.argv[3], "FileVersion": sys.argv[3],
        "OriginalFilename": sys.argv[2] + ".exe"}
bad = {k: value(k) for k, v in want.items() if value(k) != v}
if bad:
    print("release_programs: %s.exe version resource: %r, expected %r" % (sys.argv[2], bad, want))
    sys.exit(1)
PY
  then
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "release_programs: both programs stripped, versions 1.00 and 1.06"
exit "$status"
