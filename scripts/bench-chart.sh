#!/usr/bin/env bash
# Draws the benchmark's ratios as a small SVG bar chart.
#   scripts/bench.sh | tee bench.txt; scripts/bench-chart.sh bench.txt > docs/bench.svg
set -euo pipefail
awk '
BEGIN { n = 0 }
/^algorithm +passes +kcc call/ { small = 1; next }
small && NF == 7 && $2 ~ /^[0-9]+$/ { name[n] = $1 " 4 KiB"; val[n++] = $6; next }
small && !/^[A-Za-z]+ +[0-9]/ { small = 0 }
/ratio kcc \/ shred/ { name[n] = "DoD 64 MiB / shred"; val[n++] = $5 }
/ratio kcc \/ physical limit/ { name[n] = "DoD 64 MiB / 3 x dd"; val[n++] = $6 }
END {
    if (n == 0) { print "no ratios in the input" > "/dev/stderr"; exit 1 }
    top = 1.5; for (i = 0; i < n; i++) if (val[i] > top) top = val[i]
    w = 640; left = 170; bar = 18; gap = 6; h = 40 + n * (bar + gap)
    scale = (w - left - 60) / top
    printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"12\">\n", w, h
    printf "<text x=\"%d\" y=\"16\">Time relative to the reference (shorter is better; 1.0 = as fast)</text>\n", left
    for (i = 0; i < n; i++) {
        y = 28 + i * (bar + gap)
        printf "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n", left - 6, y + 13, name[i]
        printf "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"#4a78b0\"/>\n", left, y, val[i] * scale, bar
        printf "<text x=\"%.1f\" y=\"%d\">%.2f</text>\n", left + val[i] * scale + 4, y + 13, val[i]
    }
    printf "<line x1=\"%.1f\" y1=\"24\" x2=\"%.1f\" y2=\"%d\" stroke=\"#c03030\" stroke-dasharray=\"4 3\"/>\n", left + scale, left + scale, h - 4
    print "</svg>"
}' "${1:-/dev/stdin}"
