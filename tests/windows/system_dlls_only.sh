#!/usr/bin/env bash
# The Windows programs ship alone: every DLL they import must come with
# Windows itself. Checks both programs and both command-line tools of the
# 32-bit release build and of the 64-bit build, and the 64-bit build's engine
# suite, which links every compression and digest library (ombrel-cli.exe
# does too, in both trees).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll uxtheme.dll "

status=0
for tree in win32:i686 win64:x86_64; do
  dir="$root/build/${tree%%:*}"
  objdump="${tree#*:}-w64-mingw32-objdump"
  exes=("$dir/Trelvik.exe" "$dir/Ombrel.exe" "$dir/trelvik-cli.exe" "$dir/ombrel-cli.exe")
  [ "${tree%%:*}" = win32 ] || exes+=("$dir/tests/engine_tests.exe")
  for exe in "${exes[@]}"; do
    if [ ! -f "$exe" ]; then
      echo "system_dlls_only: $exe is missing; run scripts/build first" >&2
      exit 1
    fi
    dlls="$("$objdump" -p "$exe" | awk '/DLL Name:/ { print tolower($3) }')"
    [ -n "$dlls" ] || { echo "system_dlls_only: no imports read from $exe" >&2; status=1; }
    for dll in $dlls; do
      if [[ "$system_dlls" != *" $dll "* ]]; then
        echo "system_dlls_only: ${exe#"$root/"} needs $dll, which Windows does not provide" >&2
        status=1
      fi
    done
  done
done
[ "$status" -ne 0 ] || echo "system_dlls_only: every Windows program imports system DLLs only"
exit "$status"
