# Shared by the peer checks of the container layer (sourced, not run; they
# set $repo first): the programs, the peers (a check that lacks one is
# skipped), the counters, a scratch folder in $work, and sample_image.
tool="$repo/build/native/tests/container_tool"
cli="$repo/build/native/trelvik-cli"
ombrel="$repo/build/native/ombrel-cli"

command -v wit >/dev/null 2>&1 || { echo "skipped: wit not installed"; exit 0; }
dolphin_tool="$(command -v dolphin-tool || true)"
[ -n "$dolphin_tool" ] || [ ! -x /usr/games/dolphin-tool ] || dolphin_tool=/usr/games/dolphin-tool
[ -n "$dolphin_tool" ] || { echo "skipped: dolphin-tool not installed"; exit 0; }
for program in "$tool" "$cli" "$ombrel"; do
  [ -x "$program" ] || { echo "FAIL: $program is missing; build it first (scripts/build native)"; exit 1; }
done

failures=0
checked=0
work="$(mktemp -d "${TMPDIR:-/tmp}/container-peers.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The sample tree with an incompressible file, so that writers also store
# blocks uncompressed, built into IMAGE by trelvik-cli.
#   sample_image IMAGE GAME_NAME
sample_image() {
  cp -a "$repo/samples/base" "$work/base"
  head -c 300000 /dev/urandom >"$work/base/noise.bin"
  "$cli" --game-id CTN --game-name "$2" --maker-id 01 --region usa \
    --apploader "$repo/samples/apploader.img" --main-program "$repo/samples/main.dol" \
    --base-dir "$work/base" --output "$1" --no-maximise --quiet || { echo "FAIL: trelvik-cli"; exit 1; }
}
