#!/bin/sh
# Renders the report page of a pedigree file in headless Chromium: the page
# loads nothing from outside and logs nothing to the console, every member is
# drawn as a symbol with two bars, and a screenshot of the unfolded drawings
# is left in OUTDIR for a person to look at.
# usage: browser_test.sh TAVIRLEN INPUT OUTDIR
set -u
tool=$1
input=$2
out=$3
chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
    echo "SKIPPED: no Chromium at $chromium; the report page was not checked in a browser"
    exit 77
fi
mkdir -p "$out" || exit 1
fail() { echo "FAILED: $*"; exit 1; }

browse() {
    profile=$(mktemp -d) || exit 1
    timeout 60 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile" "$@"
    status=$?
    rm -rf "$profile"
    return $status
}

page="$out/report.html"
rm -f "$page"
"$tool" -b "$input" --report --seed 1 --quiet --out "$out/report" --force >/dev/null || fail "the page was not written"
# Every crossover the table lists is marked once (one more mark is the legend's).
ticks=$(grep -o 'class="xo"' "$page" | wc -l)
rows=$(($(wc -l <"$out/report.crossovers.tsv") - 1))
[ "$ticks" -eq $((rows + 1)) ] || fail "$rows crossovers in the table but $((ticks - 1)) marks on the page"
if grep -Eiq '<script|<link|<img|<iframe|<object|@import|url\(|https?:' "$page"; then
    fail "the page refers to something outside itself"
fi

browse --enable-logging=stderr --v=0 --dump-dom "file://$page" >"$out/dom.html" 2>"$out/console.log" \
    || fail "Chromium could not load the page"
if grep -q ':CONSOLE' "$out/console.log"; then
    grep ':CONSOLE' "$out/console.log"
    fail "the page logged to the console"
fi

# Members of the families the page draws (three or more members each).
members=$(awk 'NF == 0 { exit } $1 != family { if (n >= 3) total += n; family = $1; n = 0 } { n++ }
               END { if (n >= 3) total += n; print total + 0 }' "$input")

# A copy with the drawings unfolded; in the checked copy the browser counts
# what it laid out: symbols with a size, and bars.
sed 's/<details>/<details open>/g' "$page" >"$out/unfolded.html"
sed 's#</body>#<script>let drawn = 0;\
for (const s of document.querySelectorAll("svg .sym")) { const b = s.getBBox(); if (b.width > 0 \&\& b.height > 0) drawn++; }\
document.title = "symbols=" + drawn + " bars=" + document.querySelectorAll("svg rect.b").length;</script></body>#' \
    "$out/unfolded.html" >"$out/counted.html"
browse --dump-dom "file://$out/counted.html" >"$out/counted-dom.html" 2>/dev/null || fail "Chromium could not load the counted page"
counted=$(sed -n 's#.*<title>\(symbols=[0-9]* bars=[0-9]*\)</title>.*#\1#p' "$out/counted-dom.html")
[ "$counted" = "symbols=$members bars=$((2 * members))" ] \
    || fail "expected $members member symbols with two bars each, the browser drew: ${counted:-nothing}"

rm -f "$out/report.png"
browse --hide-scrollbars --window-size=1200,1400 --screenshot="$out/report.png" "file://$out/unfolded.html" \
    >/dev/null 2>&1
[ -s "$out/report.png" ] || fail "no screenshot was written"
echo "ok: $members members drawn; screenshot $out/report.png"
