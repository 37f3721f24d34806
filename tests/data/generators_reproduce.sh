#!/usr/bin/env bash
# Runs every data generator into a fresh folder and checks that each output is
# byte for byte the file committed in data/.
#   generators_reproduce.sh SOURCE_DIR
set -euo pipefail

src=${1:?usage: generators_reproduce.sh SOURCE_DIR}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

export PYTHONDONTWRITEBYTECODE=1
python3 "$src/tools/make_icon.py" "$tmp/icon.bmp"
python3 "$src/tools/gen_palettes.py" "$tmp"
python3 "$src/tools/gen_cp437.py" "$tmp"
python3 "$src/tools/gen_charsets.py" "$tmp"

status=0
for f in icon.bmp palette_256.pal palette_64.pal cp437_unicode.bin \
         charset8x8.raw charset8x16.raw; do
    if [ ! -f "$tmp/$f" ]; then
        echo "FAIL: the generator did not write $f"; status=1
    elif [ ! -f "$src/data/$f" ]; then
        echo "FAIL: data/$f is missing"; status=1
    elif ! cmp "$tmp/$f" "$src/data/$f"; then
        echo "FAIL: data/$f differs from what its generator writes"; status=1
    else
        echo "ok: data/$f"
    fi
done
exit $status
