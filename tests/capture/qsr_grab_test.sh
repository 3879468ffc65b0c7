#!/usr/bin/env bash
# qsr-grab end to end: one line and one PNG per frame; a refused option
# string ends with the device's message and a non-zero status.
set -euo pipefail
grab="$1"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$grab" --options "offset=8,8;framesize=33,17;framerate=20/1;cursor=1" --frames 3 --out "$out" >"$out/lines" 2>/dev/null
diff <(sed -E 's/pts=[0-9]+/pts=P/' "$out/lines") - <<'LINES'
frame 0 pts=P bytes=2244
frame 1 pts=P bytes=2244
frame 2 pts=P bytes=2244
LINES
[ "$(sed -E 's/.*pts=([0-9]+).*/\1/' "$out/lines" | tr '\n' ' ')" = "0 50000 100000 " ]
for n in 0000 0001 0002; do
  head -c 8 "$out/frame_$n.png" | od -An -tx1 | grep -q "89 50 4e 47"
done

if "$grab" --options "framesize=640x480" --frames 1 --out "$out/bad" 2>"$out/err"; then
  echo "a malformed frame size was accepted"; exit 1
fi
grep -q "qsr-grab: '640x480' is not a valid integer value" "$out/err"
echo "qsr-grab ok"
