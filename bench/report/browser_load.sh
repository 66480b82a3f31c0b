#!/bin/sh
# Times headless Chromium opening a report page as written (drawings folded)
# and with every drawing unfolded: browser_load.sh PAGE.html
set -u
page=$(realpath "$1")
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || { echo "no Chromium at $chromium"; exit 1; }
unfolded=$(mktemp --suffix=.html)
sed 's/<details>/<details open>/g' "$page" >"$unfolded"
for file in "$page" "$unfolded"; do
    profile=$(mktemp -d)
    start=$(date +%s.%N)
    timeout 300 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile" --dump-dom "file://$file" >/dev/null 2>&1
    end=$(date +%s.%N)
    rm -rf "$profile"
    label=folded
    [ "$file" = "$unfolded" ] && label=unfolded
    echo "$label: $(echo "$end - $start" | bc) s to load and lay out $(stat -c %s "$file") bytes"
done
rm -f "$unfolded"
