# Set-up shared by the UI test scripts (sourced by them, never run itself):
# the build tree, a private X display, a scratch folder removed at the end,
# the screenshot helper and the driver's run under wine. The script sets
# `root` (the repository) before sourcing this file.

# ui_begin NAME TREE DISPLAY_VARIABLE ARGS...
# Skips the test (exit 0) when the 64-bit Windows build tree is missing;
# otherwise runs the script again, once, on an X display of its own, shared
# by wine and the screenshot helper (DISPLAY_VARIABLE marks the second run).
ui_begin() {
  ui_name="$1"
  win64="$2"
  local flag="$3"
  shift 3
  if [ ! -d "$win64" ]; then
    echo "$ui_name: skipped, no 64-bit Windows build in $win64 (scripts/build win64)"
    exit 0
  fi
  if [ -z "${!flag:-}" ]; then
    exec env "$flag=1" xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  fi
}

# ui_build TARGET... -- FILE...
# Brings the targets up to date in a generated tree, then fails when any of
# the files is missing.
ui_build() {
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    targets+=("$1")
    shift
  done
  if [ $# -gt 0 ]; then shift; fi
  if [ -f "$win64/Makefile" ]; then
    cmake --build "$win64" --target "${targets[@]}" -- -j2 >/dev/null
  fi
  local f
  for f in "$@"; do
    if [ ! -f "$f" ]; then
      echo "$ui_name: missing $f"
      exit 1
    fi
  done
}

# Makes $shots (this test's old screenshots removed), the scratch folder
# $work with the exchange folder's path $exchange, and the clean-up on exit:
# the screenshot helper stopped, the paths in ui_remove_on_exit removed, then
# $work.
ui_scratch() {
  shots="$root/build/screenshots"
  mkdir -p "$shots"
  rm -f "$shots/$ui_name"-*.png
  # Not under /tmp: wine's folder browser walks every folder above the one it
  # pre-selects, and fails to select it now and then while other programs
  # create and remove entries there. /var/tmp stays quiet.
  work="$(mktemp -d "/var/tmp/$ui_name-ui.XXXXXX")"
  exchange="$work/exchange"
  ui_helper=""
  ui_remove_on_exit=()
  trap ui_cleanup EXIT
}

ui_cleanup() {
  if [ -n "$ui_helper" ]; then
    kill "$ui_helper" 2>/dev/null || true
    wait "$ui_helper" 2>/dev/null || true
  fi
  local path
  for path in "${ui_remove_on_exit[@]}"; do rm -f "$path"; done
  rm -rf "$work"
}

winpath() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }

# ui_start_screenshots [ppm]
# The driver asks for a picture by writing "NAME X Y WIDTH HEIGHT" to
# request.txt in $exchange; the helper started here takes it as
# $shots/NAME-of-test.png and removes the request. With "ppm" it also leaves
# a PPM copy beside the request for the driver to read pixels from.
ui_start_screenshots() {
  local ppm="${1:-}"
  mkdir -p "$exchange"
  (
    while :; do
      if [ -f "$exchange/request.txt" ]; then
        read -r name x y w h <"$exchange/request.txt" || true
        name="${name//[^A-Za-z0-9_-]/}"
        shot="$shots/$ui_name-$name.png"
        if import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" &&
          { [ -z "$ppm" ] || convert "$shot" "$exchange/$name.ppm"; }; then
          :
        else
          echo "$ui_name: screenshot $name failed" >&2
        fi
        rm -f "$exchange/request.txt"
      fi
      sleep 0.05
    done
  ) &
  ui_helper=$!
}

# ui_run_driver DRIVER ARGUMENTS...
# Runs the driver under wine (five minutes at most) and ends the script with
# its status.
ui_run_driver() {
  local status=0
  timeout 300 "$root/scripts/wine-run" "$@" \
    2> >(grep -v 'Read access denied for device' >&2) || status=$?
  echo "$ui_name: screenshots in $shots"
  exit "$status"
}
